#!/usr/bin/env bash
# Times pixmorph-convert on the newer formats (WebP, AVIF, HEIC, TIFF) against
# ImageMagick, GraphicsMagick, libvips and each format's own Debian tool.
#   bench/formats.sh [BUILD_DIR] [RUNS] [ROWS]   (ROWS: e.g. png>webp,jpg>webp; all when left out)
# The peers are benchmark-only tools, installed here when missing.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
. "$here/lib.sh"
build="${1:-$here/../../build-engine}"
runs="${2:-5}"

need=()
[ -x /usr/bin/convert ] || need+=(imagemagick)
command -v gm >/dev/null || need+=(graphicsmagick)
command -v vips >/dev/null || need+=(libvips-tools)
command -v cwebp >/dev/null || need+=(webp)
command -v heif-enc >/dev/null || need+=(libheif-examples)
command -v avifenc >/dev/null || need+=(libavif-bin)
command -v tiffcp >/dev/null || need+=(libtiff-tools)
[ -e /usr/lib/python3/dist-packages/skimage/data/astronaut.png ] || need+=(python3-skimage)
install_missing "${need[@]}"

build_engine "$build" pixmorph-convert
exec python3 "$here/formats.py" "$build/bin/pixmorph-convert" "$runs" ${3:+"$3"}
