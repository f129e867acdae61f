#!/usr/bin/env bash
# Remakes the committed seed corpora of fuzz/corpus/ from pictures drawn here and a tiny ELF.
# Needs ImageMagick's convert, gcc and python3; the output is committed, so this runs rarely.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Solid or gradient pictures in the encodings the decoder meets: baseline and progressive JPEG,
# grey and subsampled JPEG, and PNG of every colour type, 16-bit and interlaced.
convert -size 16x16 gradient:'#102030-#c0d0e0' -sampling-factor 1x1 -quality 80 -strip "$work/rgb.jpg"
convert -size 16x16 gradient:'#102030-#c0d0e0' -sampling-factor 2x2 -quality 80 -interlace JPEG -strip "$work/progressive.jpg"
convert -size 16x16 gradient: -colorspace Gray -quality 80 -strip "$work/grey.jpg"
convert -size 16x16 gradient:'#ff000080-#0000ffff' -define png:color-type=6 -depth 8 -strip "$work/rgba.png"
convert -size 16x16 gradient:'#ff0000-#0000ff' -define png:color-type=2 -depth 8 -strip "$work/rgb.png"
convert -size 16x16 gradient: -define png:color-type=0 -depth 8 -strip "$work/grey.png"
convert -size 16x16 gradient:'#ff0000-#0000ff' -colors 8 -define png:color-type=3 -depth 8 -strip "$work/palette.png"
convert -size 16x16 gradient:'#ff000080-#0000ffff' -depth 16 -define png:color-type=6 -strip "$work/rgba16.png"
convert -size 16x16 gradient:'#ff000080-#0000ffff' -interlace PNG -define png:color-type=6 -depth 8 -strip "$work/interlaced.png"
# What the packer accepts: 512 by 512, a baseline 3-component JPEG and an 8-bit RGBA PNG.
convert -size 512x512 xc:'#336699' -sampling-factor 1x1 -quality 75 -strip "$work/first.jpg"
convert -size 512x512 xc:'#cc884480' -define png:color-type=6 -strip -depth 8 "$work/second.png"

# The smallest executable with the 20-byte asset directory section the packer looks for.
cat >"$work/tiny.c" <<'C'
__attribute__((section(".zoravarova.assets"), used))
const volatile unsigned char directory[20] = {0};
void _start(void) { for (;;) {} }
C
gcc -Os -nostdlib -static -s -Wl,-n -Wl,--build-id=none -Wl,--no-warn-rwx-segments -o "$work/tiny.elf" "$work/tiny.c"

python3 - "$work" "$here/corpus" <<'PY'
import pathlib, struct, sys, zlib
work, corpus = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
read = lambda name: (work / name).read_bytes()
word = lambda value: struct.pack('<I', value)

def png_of_zeros(width, height, count):
    """An 8-bit RGBA PNG whose image data inflates to `count` zero bytes."""
    chunk = lambda kind, data: (struct.pack('>I', len(data)) + kind + data +
                                struct.pack('>I', zlib.crc32(kind + data)))
    header = struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) +
            chunk(b'IDAT', zlib.compress(bytes(count), 9)) + chunk(b'IEND', b''))

def put(target, name, data):
    folder = corpus / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)

# The reader: five directory words, then the file. Pairs inside, across and past the end, and
# an offset the signed seek cannot take.
body = bytes(range(256)) * 2
for name, (s2, o2, s1, o1) in {
    'inside': (40, 300, 100, 10),
    'across-end': (64, 500, 16, 0),
    'past-end': (8, 4096, 0, 0),
    'seek-limit': (12, 0x80000000, 12, 0x7FFFFFFF),
    'empty-file': (4, 0, 4, 0),
}.items():
    put('embedded_reader', name, word(s2) + word(o2) + word(s1) + word(o1) + word(4) +
        (b'' if name == 'empty-file' else body))

# The decode path: the first image's length, the first image, the second.
for first, second in [('rgb.jpg', 'rgba.png'), ('progressive.jpg', 'rgb.png'),
                      ('grey.jpg', 'grey.png'), ('rgb.jpg', 'palette.png'),
                      ('rgb.jpg', 'rgba16.png'), ('rgb.jpg', 'interlaced.png')]:
    a, b = read(first), read(second)
    put('image_decode', first.split('.')[0] + '-' + second.split('.')[0], word(len(a)) + a + b)

# The guard against PNG data that inflates past its picture: 16 by 16 RGBA needs 16 rows of a
# filter byte and 64 bytes; one PNG inflates to exactly that, one to a byte more.
need = 16 * (1 + 16 * 4)
for name, count in [('rgb-png-at-its-need', need), ('rgb-png-past-its-need', need + 1)]:
    a = read('rgb.jpg')
    put('image_decode', name, word(len(a)) + a + png_of_zeros(16, 16, count))

# The packer: the viewer's and the first image's lengths, then the three files; once as
# linked and once already packed, which packing again must replace.
elf, jpg, png = read('tiny.elf'), read('first.jpg'), read('second.png')
put('pack_checks', 'linked', word(len(elf)) + word(len(jpg)) + elf + jpg + png)
section = elf.find(b'\0' * 20)
packed = bytearray(elf + jpg + png)
packed[section:section + 20] = (word(len(png)) + word(len(elf) + len(jpg)) + word(len(jpg)) +
                                word(len(elf)) + word(4))
put('pack_checks', 'packed', word(len(packed)) + word(len(jpg)) + bytes(packed) + jpg + png)
# A WebAssembly module of one function and its name, once as built and once already packed.
leb = lambda n: bytes([n])  # every size below is under 128
section = lambda kind, payload: bytes([kind]) + leb(len(payload)) + payload
custom = lambda name, payload: section(0, leb(len(name)) + name + payload)
module = (b'\0asm\1\0\0\0' + section(1, b'\x01\x60\x00\x00') + section(3, b'\x01\x00') +
          section(10, b'\x01\x02\x00\x0b') + custom(b'name', b'\x01\x04\x01\x00\x01f'))
put('pack_checks', 'wasm', word(len(module)) + word(len(jpg)) + module + jpg + png)
assets = custom(b'zoravarova.assets', bytes(20))
put('pack_checks', 'wasm-packed', word(len(module + assets)) + word(len(jpg)) + module + assets +
    jpg + png)
# A PE32+ image of three 0x200-byte sections after a 0x400-byte header area, whose last 20
# bytes the directory takes.
pe = bytearray(0x400 + 3 * 0x200)
pe[0:2] = b'MZ'
pe[0x3C:0x40] = word(0x100)
pe[0x100:0x104] = b'PE\0\0'
pe[0x104:0x106] = struct.pack('<H', 0x8664)
pe[0x106:0x108] = struct.pack('<H', 3)
pe[0x114:0x116] = struct.pack('<H', 240)
pe[0x118:0x11A] = struct.pack('<H', 0x20B)
pe[0x118 + 60:0x118 + 64] = word(0x400)
pe[0x118 + 108:0x118 + 112] = word(16)
for i in range(3):
    header = 0x118 + 240 + i * 40
    pe[header:header + 5] = b'.sect'
    pe[header + 16:header + 20] = word(0x200)
    pe[header + 20:header + 24] = word(0x400 + i * 0x200)
put('pack_checks', 'pe', word(len(pe)) + word(len(jpg)) + bytes(pe) + jpg + png)
put('pack_checks', 'small-images', word(len(elf)) + word(len(read('rgb.jpg'))) + elf +
    read('rgb.jpg') + read('rgba.png'))
PY
ls -l "$here"/corpus/*
