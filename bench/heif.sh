#!/usr/bin/env bash
# HEIF reading: pixmorph-convert (libheif in its helper process) against
# libheif's own heif-convert (libheif-examples), on the files given.
# Each pair runs N times, taking turns; prints the median wall and CPU
# (user + system) seconds of each. PNG and JPG targets, and a cheap one of
# each (our BMP, its Y4M) for the decoding alone.
#   bench/heif.sh [-n RUNS] FILE.heic...
set -euo pipefail
runs=5
if [ "${1:-}" = "-n" ]; then runs="$2"; shift 2; fi
root="$(cd "$(dirname "$0")/.." && pwd)"
ours="${PIXMORPH_CONVERT:-$root/build-engine/bin/pixmorph-convert}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
# Prints "wall cpu" of one run of the command.
timed() {
  /usr/bin/time -f "%e %U %S" -o "$work/t" "$@" >/dev/null 2>&1
  awk '{printf "%s %.2f\n", $1, $2 + $3}' "$work/t"
}

printf "%-12s %-6s %9s %9s %9s %9s\n" file target "ours s" "ours cpu" "heif s" "heif cpu"
for file in "$@"; do
  for pair in "png png" "jpg jpg" "bmp y4m"; do
    set -- $pair
    : >"$work/ours"; : >"$work/theirs"
    for _ in $(seq "$runs"); do
      timed "$ours" "$file" "$work/o.$1" 90 >>"$work/ours"
      timed heif-convert -q 90 "$file" "$work/h.$2" >>"$work/theirs"
    done
    printf "%-12s %-6s %9s %9s %9s %9s\n" "$(basename "$file")" "$1/$2" \
      "$(cut -d' ' -f1 "$work/ours" | median)" "$(cut -d' ' -f2 "$work/ours" | median)" \
      "$(cut -d' ' -f1 "$work/theirs" | median)" "$(cut -d' ' -f2 "$work/theirs" | median)"
  done
done
