#!/usr/bin/env bash
# The automatic quality ("--target 90") against quality 80 and 90 over a
# batch of small photos, for JPG, WebP and AVIF: bytes, lowest score, time.
#   bench/smallest.sh [BUILD_DIR] [FILES] [TARGET]   (default 200 files, target 90)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/lib.sh"
build="${1:-$here/../../build-engine}"
need=()
[ -x /usr/bin/convert ] || need+=(imagemagick)
[ -e /usr/lib/python3/dist-packages/skimage/data/astronaut.png ] || need+=(python3-skimage)
install_missing "${need[@]}"
build_engine "$build" pixmorph-convert
exec python3 "$here/smallest.py" "$build/bin/pixmorph-convert" "${2:-200}" "${3:-90}"
