#!/usr/bin/env bash
# Builds one libFuzzer binary per reader with clang and runs each for a fixed
# time, seeded from the shared corpus. Memory above 256 MB and runs longer
# than 5 s count as findings, so a header that makes a reader allocate or
# work by what it claims is caught. The runs go on past findings; inputs
# that crash, leak, hang or run out of memory are kept under
# fuzz/regressions/<reader>/, where the engine tests replay them.
#   fuzz/run.sh [SECONDS_PER_TARGET [TARGET...]]   (default 60; bmp png gif jpeg webp tiff heif avif)
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
corpus="$root/../shared/corpus"
seconds="${1:-60}"
shift || true
targets=("${@:-bmp png gif jpeg webp tiff heif avif}")
work="${PIXMORPH_FUZZ_WORK:-$root/build-fuzz}"
mkdir -p "$work"

sources=("$root"/src/engine/src/*.cpp)
flags=(-std=c++20 -O1 -g "-DPIXMORPH_MAX_PIXELS=(1ull<<22)" -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -I"$root/src/engine/include" -I"$root/src/engine/src" -I"$root/src/engine/heif"
       -DPIXMORPH_HEIF_INSTALLED_RELATIVE='"."' -DPIXMORPH_HEIF_BUILT='""')
libs=(-lpng -ljpeg -lgif -ltiff -ldeflate -lz -llcms2 -lavif $(pkg-config --libs libwebp libwebpdemux libwebpmux) -pthread)

# Objects of the engine are built once and shared by the targets.
objs=()
for s in "${sources[@]}"; do
  o="$work/$(basename "${s%.cpp}").o"
  if [ ! -f "$o" ] || [ "$s" -nt "$o" ]; then
    clang++ "${flags[@]/-fsanitize=fuzzer,/-fsanitize=fuzzer-no-link,}" -c "$s" -o "$o"
  fi
  objs+=("$o")
done

# A small quarantine keeps AddressSanitizer's own hold on freed memory from
# counting against the memory limit.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=10}"

declare -A seeds=([bmp]="bmpsuite" [png]="pngsuite" [gif]="gif" [jpeg]="jpeg" [webp]="webp" [tiff]="tiff" [heif]="heif" [avif]="avif")
declare -A exts=([bmp]="bmp" [png]="png" [gif]="gif" [jpeg]="jpg" [webp]="webp" [tiff]="tif*" [heif]="hei?" [avif]="avif*")
# HEIF is fuzzed in the helper's own decoding, which the engine does not link.
declare -A extra=([heif]="$root/src/engine/heif/HeifDecode.cpp $(pkg-config --libs libheif)")
for target in ${targets[*]}; do
  bin="$work/fuzz_$target"
  # shellcheck disable=SC2086  # the extra sources and libraries split at spaces
  clang++ "${flags[@]}" "$here/fuzz_$target.cpp" ${extra[$target]:-} "${objs[@]}" "${libs[@]}" -o "$bin"
  live="$work/corpus-$target"
  mkdir -p "$live" "$here/regressions/$target"
  # Seeds are copied into the build folder only, never into the project.
  if [ -d "$corpus/${seeds[$target]}" ]; then
    find "$corpus/${seeds[$target]}" -type f -iname "*.${exts[$target]}" -size -200k -exec cp -n {} "$live/" \;
  fi
  echo "== $target for ${seconds}s"
  "$bin" "$live" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=256 -max_len=262144 \
    -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
    -artifact_prefix="$here/regressions/$target/" 2>"$work/$target.log" || true
  # The last progress line counts runs and oom/timeout/crash findings.
  grep -E "^#[0-9]+: " "$work/$target.log" | tail -n 1 || true
done
echo "kept cases:"; find "$here/regressions" -type f | sed "s|$root/||"
