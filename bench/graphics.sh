#!/usr/bin/env bash
# Sizes of PNG and BMP outputs on graphics (the program's own windows at 1x
# and 2x, a chart and text drawn with QPainter, a two-colour pattern, an icon,
# a posterised gradient; BMP in) against ImageMagick's convert.
#   bench/graphics.sh [BUILD_DIR] [RUNS]
# ImageMagick is a benchmark-only tool, installed here when missing.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
. "$here/lib.sh"
build="${1:-$here/../build-bench}"
runs="${2:-5}"

[ -x /usr/bin/convert ] || install_missing imagemagick

cmake -S "$here/.." -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPICTORIA_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target pictoria-bench-graphics pixmorph-convert -j 2 >/dev/null

cd "$here"
exec python3 "$here/graphics.py" "$build/bin/pixmorph-convert" "$build/bin/pictoria-bench-graphics" "$runs"
