#!/usr/bin/env bash
# Builds the engine and its tests with AddressSanitizer and UBSan in a
# separate build folder and runs them. Any report fails the run.
#   tests/engine/run-sanitized.sh [BUILD_DIR]
set -euo pipefail

src="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$src/../build-engine-sanitize}"
jobs="${PIXMORPH_JOBS:-2}"

cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPICTORIA_BUILD_GUI=OFF -DPICTORIA_SANITIZE=ON >/dev/null
cmake --build "$build" --target engine_tests pixmorph-convert -j "$jobs"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$src/tests/engine/lsan-suppressions.txt"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
"$build/bin/engine_tests" --gtest_brief=1
