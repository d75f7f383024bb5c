#!/usr/bin/env bash
# The score's cost: ten JPG candidates (qualities 10..100) of one 12 MP
# picture compared with it, on one core (one thread, taskset) and on two,
# each with its peak memory (/usr/bin/time -v).
#   bench/score.sh [BUILD_DIR] [SOURCE]
# SOURCE (any picture the engine reads) is stretched to 4243x2829; by
# default the reference pairs' rocket photo.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build-engine}"
source="${2:-$here/../../shared/metric/orig/rocket-427x640.png}"

cmake -S "$here/.." -B "$build" -G Ninja -DPICTORIA_BUILD_GUI=OFF -DPICTORIA_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target pixmorph-score-bench -j 2 >/dev/null
bench="$build/bin/pixmorph-score-bench"
# The candidates are made once and kept between runs.
"$bench" "$source" 1 10 >/dev/null

for run in "1 taskset -c 0" "2"; do
  read -r threads pin <<<"$run"
  echo "== $threads thread(s)${pin:+, one core}"
  /usr/bin/time -v ${pin:-} "$bench" "$source" "$threads" 10 2>"$build/score-time.txt" | tail -1
  grep -E "Maximum resident|Elapsed" "$build/score-time.txt"
done
