#!/usr/bin/env bash
# Builds Pictoria and starts it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/build.sh"
exec "$root/build/bin/pictoria" "$@"
