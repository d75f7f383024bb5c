#!/usr/bin/env bash
# Builds Pictoria (scripts/build.sh) and makes the Debian package
# build/pictoria_1.00_amd64.deb from the same build tree.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/build.sh"
cmake --build "$root/build" --target package
