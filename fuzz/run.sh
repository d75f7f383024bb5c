#!/usr/bin/env bash
# Builds one libFuzzer binary per reader with clang and runs each for a fixed
# time, seeded from the shared corpus. Inputs that crash, leak or hang are
# kept under fuzz/regressions/<reader>/, where the engine tests replay them.
#   fuzz/run.sh [SECONDS_PER_TARGET]   (default 60)
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
corpus="$root/../shared/corpus"
seconds="${1:-60}"
work="${PIXMORPH_FUZZ_WORK:-$root/../build-engine-fuzz}"
mkdir -p "$work"

sources=("$root"/src/engine/src/*.cpp)
flags=(-std=c++20 -O1 -g "-DPIXMORPH_MAX_PIXELS=(1ull<<22)" -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -I"$root/src/engine/include" -I"$root/src/engine/src")
libs=(-lpng -ljpeg -lgif -lz -pthread)

# Objects of the engine are built once and shared by the targets.
objs=()
for s in "${sources[@]}"; do
  o="$work/$(basename "${s%.cpp}").o"
  if [ ! -f "$o" ] || [ "$s" -nt "$o" ]; then
    clang++ "${flags[@]/-fsanitize=fuzzer,/-fsanitize=fuzzer-no-link,}" -c "$s" -o "$o"
  fi
  objs+=("$o")
done

declare -A seeds=([bmp]="bmpsuite" [png]="pngsuite" [gif]="gif" [jpeg]="jpeg")
declare -A exts=([bmp]="bmp" [png]="png" [gif]="gif" [jpeg]="jpg")
for target in bmp png gif jpeg; do
  bin="$work/fuzz_$target"
  clang++ "${flags[@]}" "$here/fuzz_$target.cpp" "${objs[@]}" "${libs[@]}" -o "$bin"
  live="$work/corpus-$target"
  mkdir -p "$live" "$here/regressions/$target"
  # Seeds are copied into the build folder only, never into the project.
  if [ -d "$corpus/${seeds[$target]}" ]; then
    find "$corpus/${seeds[$target]}" -type f -iname "*.${exts[$target]}" -size -200k -exec cp -n {} "$live/" \;
  fi
  echo "== $target for ${seconds}s"
  "$bin" "$live" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=262144 \
    -artifact_prefix="$here/regressions/$target/" -print_final_stats=1 2>"$work/$target.log" || true
  tail -n 12 "$work/$target.log" | grep -E "stat::|ERROR|SUMMARY" || true
done
echo "kept cases:"; find "$here/regressions" -type f | sed "s|$root/||"
