// PNGs for tests: chunks with their CRCs, and zlib streams of zeros of any length.
#include "tests/made_png.h"

#include <zlib.h>

#include <stdexcept>

namespace {

void putBigEndian(Bytes& out, std::uint32_t word) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    out.push_back(static_cast<std::uint8_t>(word >> shift));
  }
}

constexpr std::size_t kMiB = std::size_t{1} << 20;

// Deflates `count` zeros into `out`, ending with `flush`.
void deflateZeros(z_stream& stream, std::size_t count, int flush, Bytes& out) {
  static const Bytes zeros(kMiB, 0);
  Bytef buffer[64 * 1024];
  stream.next_in = const_cast<Bytef*>(zeros.data());
  stream.avail_in = static_cast<uInt>(count);
  do {
    stream.next_out = buffer;
    stream.avail_out = sizeof buffer;
    if (deflate(&stream, flush) == Z_STREAM_ERROR) {
      throw std::runtime_error("deflate failed");
    }
    out.insert(out.end(), buffer, buffer + (sizeof buffer - stream.avail_out));
  } while (stream.avail_out == 0);
}

}  // namespace

Bytes pngChunk(const std::string& type, const Bytes& data) {
  Bytes chunk;
  putBigEndian(chunk, static_cast<std::uint32_t>(data.size()));
  chunk.insert(chunk.end(), type.begin(), type.end());
  chunk.insert(chunk.end(), data.begin(), data.end());
  const uLong crc =
      crc32(crc32(0, nullptr, 0), chunk.data() + 4, static_cast<uInt>(chunk.size() - 4));
  putBigEndian(chunk, static_cast<std::uint32_t>(crc));
  return chunk;
}

Bytes pngHeaderData(std::uint32_t width, std::uint32_t height, int bitDepth, int colourType,
                    bool interlaced) {
  Bytes data;
  putBigEndian(data, width);
  putBigEndian(data, height);
  data.insert(data.end(),
              {static_cast<std::uint8_t>(bitDepth), static_cast<std::uint8_t>(colourType), 0, 0,
               static_cast<std::uint8_t>(interlaced ? 1 : 0)});
  return data;
}

Bytes zlibZeros(std::uint64_t count) {
  z_stream stream{};
  if (deflateInit(&stream, Z_BEST_COMPRESSION) != Z_OK) {
    throw std::runtime_error("deflateInit failed");
  }
  Bytes out;
  const std::size_t first = count < kMiB ? static_cast<std::size_t>(count) : kMiB;
  deflateZeros(stream, first, Z_SYNC_FLUSH, out);
  std::uint64_t left = count - first;
  if (left >= kMiB) {
    // A window of zeros behind it: a flushed MiB of zeros reads the same wherever it goes.
    Bytes unit;
    deflateZeros(stream, kMiB, Z_SYNC_FLUSH, unit);
    for (; left >= kMiB; left -= kMiB) {
      out.insert(out.end(), unit.begin(), unit.end());
    }
  }
  deflateZeros(stream, static_cast<std::size_t>(left), Z_FINISH, out);
  deflateEnd(&stream);

  // The checksum deflate wrote covers only what it saw: put in the one of all `count` zeros.
  const Bytes zeros(kMiB, 0);
  const uLong ofMiB = adler32(adler32(0, nullptr, 0), zeros.data(), static_cast<uInt>(kMiB));
  uLong adler = adler32(0, nullptr, 0);
  for (std::uint64_t whole = count / kMiB; whole > 0; --whole) {
    adler = adler32_combine(adler, ofMiB, kMiB);
  }
  adler = adler32(adler, zeros.data(), static_cast<uInt>(count % kMiB));
  out.resize(out.size() - 4);
  putBigEndian(out, static_cast<std::uint32_t>(adler));
  return out;
}

Bytes rawDeflate(const Bytes& zlibStream) {
  return Bytes(zlibStream.begin() + 2, zlibStream.end() - 4);
}

Bytes makePng(const Bytes& headerData, const Bytes& imageData, int idatChunks,
              const Bytes& before) {
  Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  const Bytes header = pngChunk("IHDR", headerData);
  png.insert(png.end(), header.begin(), header.end());
  png.insert(png.end(), before.begin(), before.end());
  const std::size_t size = imageData.size();
  const auto pieces = static_cast<std::size_t>(idatChunks);
  for (std::size_t i = 0; i < pieces; ++i) {
    const auto begin = imageData.begin() + static_cast<std::ptrdiff_t>(size * i / pieces);
    const auto end = imageData.begin() + static_cast<std::ptrdiff_t>(size * (i + 1) / pieces);
    const Bytes chunk = pngChunk("IDAT", Bytes(begin, end));
    png.insert(png.end(), chunk.begin(), chunk.end());
  }
  const Bytes end = pngChunk("IEND", {});
  png.insert(png.end(), end.begin(), end.end());
  return png;
}
