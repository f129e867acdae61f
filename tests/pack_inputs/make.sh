#!/usr/bin/env bash
# Remakes the committed pictures that the packer's bad-input test feeds it: each is 512 by 512
# and wrong in exactly one way. Needs ImageMagick's convert; the output is committed.
set -euo pipefail
cd "$(dirname "$0")"
convert -size 512x512 gradient:'#202020-#e0e0e0' -colorspace Gray -quality 75 -strip grey.jpg
convert -size 512x512 gradient:'#102030-#c0d0e0' -sampling-factor 1x1 -quality 75 \
  -interlace JPEG -strip progressive.jpg
convert -size 512x512 gradient:'#ff000080-#0000ffff' -depth 16 -define png:color-type=6 -strip rgba16.png
