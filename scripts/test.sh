#!/usr/bin/env bash
# Builds Pictoria and runs every test.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/build.sh"
ctest --test-dir "$root/build" --output-on-failure -j"$(nproc)" --timeout 600
