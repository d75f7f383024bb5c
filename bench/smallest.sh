#!/usr/bin/env bash
# The automatic quality ("--target 90") against quality 80 and 90 over a
# batch of small photos, for JPG, WebP and AVIF: bytes, lowest score, time.
#   bench/smallest.sh [BUILD_DIR] [FILES] [TARGET]   (default 200 files, target 90)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../../build-engine}"
need=()
[ -x /usr/bin/convert ] || need+=(imagemagick)
[ -e /usr/lib/python3/dist-packages/skimage/data/astronaut.png ] || need+=(python3-skimage)
if [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq && apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
if [ ! -x "$build/bin/pixmorph-convert" ]; then
  cmake -S "$here/.." -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPICTORIA_BUILD_GUI=OFF >/dev/null
fi
cmake --build "$build" --target pixmorph-convert -j 2 >/dev/null
exec python3 "$here/smallest.py" "$build/bin/pixmorph-convert" "${2:-200}" "${3:-90}"
