#!/usr/bin/env bash
# Times pixmorph-convert against ImageMagick, GraphicsMagick and libvips on
# the nine cross-format conversions at about 0.14, 0.5 and 12 megapixels,
# made from a real photograph, plus a 24 MP baseline JPG -> PNG for peak
# memory, and a batch of 200 small photos to PNG converted by the engine in
# one process (bench/batch.cpp) against ImageMagick's mogrify.
#   bench/run.sh [BUILD_DIR] [RUNS] [BASELINE_PIXMORPH_CONVERT]
# BENCH_PEERS= (empty, with a baseline) compares the two builds alone, without the
# batch.
# The peers are benchmark-only tools, installed here when missing.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
. "$here/lib.sh"
build="${1:-$here/../../build-engine}"
runs="${2:-3}"

need=()
[ -x /usr/bin/convert ] || need+=(imagemagick)
command -v gm >/dev/null || need+=(graphicsmagick)
command -v vips >/dev/null || need+=(libvips-tools)
[ -e /usr/lib/python3/dist-packages/skimage/data/astronaut.png ] || need+=(python3-skimage)
install_missing "${need[@]}"

build_engine "$build" pixmorph-convert pixmorph
c++ -O2 -std=c++20 "$here/batch.cpp" -I"$here/../src/engine/include" "$build/src/engine/libpixmorph.a" \
  -lpng -ljpeg -lz -lgif -pthread -o "$build/bin/pixmorph-batch"

exec python3 "$here/bench.py" "$build/bin/pixmorph-convert" "$build/bin/pixmorph-batch" "$runs" ${3:+"$3"}
