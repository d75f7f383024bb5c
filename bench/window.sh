#!/usr/bin/env bash
# Times the window: its batch of 200 small photos to PNG from the click to
# the last file, against a one-at-a-time loop of pixmorph-convert and
# ImageMagick's mogrify; its single-file command on a 24 MP photo into twelve
# outputs against the same conversions one at a time; and how fast the real
# program's window answers while 24 MP files convert, probed from another X
# client (bench/window.py).
#   bench/window.sh [BUILD_DIR] [RUNS] [PARTS]   (PARTS: batch,webp,single,answers)
# The peers and probes are benchmark-only tools, installed here when missing.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
. "$here/lib.sh"
build="${1:-$here/../build-bench}"
runs="${2:-3}"
parts="${3:-batch,single,answers}"

need=()
[ -x /usr/bin/convert ] || need+=(imagemagick)
[ -e /usr/lib/python3/dist-packages/skimage/data/astronaut.png ] || need+=(python3-skimage)
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xdotool >/dev/null || need+=(xdotool)
command -v cwebp >/dev/null || need+=(webp)
/usr/bin/python3 -c 'import Xlib' 2>/dev/null || need+=(python3-xlib)
install_missing "${need[@]}"

cmake -S "$here/.." -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPICTORIA_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target pictoria pictoria-window-batch pictoria-window-single pixmorph-batch pixmorph-convert -j 2 >/dev/null

exec /usr/bin/python3 "$here/window.py" "$build/bin/pictoria" "$build/bin/pictoria-window-batch" \
  "$build/bin/pictoria-window-single" "$build/bin/pixmorph-batch" "$build/bin/pixmorph-convert" "$runs" "$parts"
