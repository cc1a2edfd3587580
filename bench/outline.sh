#!/usr/bin/env bash
# Times the function outline (--file, one process, the file list on standard
# input) against the bare condenser (--the-tt --simulate -L list) over every
# .c file of a tree, and prints the ratio. The outline condenses each file
# too, so the ratio is the cost of splitting, classifying and printing.
#   bench/outline.sh TREE [RUNS]     (BIN overrides build/zephyr-elk)
set -eu
tree=${1:?usage: bench/outline.sh TREE [RUNS]}
runs=${2:-3}
here=$(cd "$(dirname "$0")/.." && pwd)
bin=${BIN:-$here/build/zephyr-elk}
[ -x "$bin" ] || { echo "no program at $bin (build it first)" >&2; exit 1; }
bin=$(cd "$(dirname "$bin")" && pwd)/$(basename "$bin")
list=$(mktemp)
trap 'rm -f "$list"' EXIT
cd "$tree"
find . -name '*.c' -type f > "$list"
files=$(wc -l < "$list")
bytes=$(tr '\n' '\0' < "$list" | du -cb --files0-from=- | tail -1 | cut -f1)

# Best of the runs, in seconds; the first pass also warms the page cache.
best() {
  local best="" t0 t1 t
  "$@" > /dev/null 2>&1 || true
  for _ in $(seq "$runs"); do
    t0=$(date +%s.%N)
    "$@" > /dev/null 2>&1 || true
    t1=$(date +%s.%N)
    t=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
    if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
  done
  printf '%.3f' "$best"
}
outline() { "$bin" --file < "$list"; }
condense() { "$bin" --the-tt --simulate -L "$list"; }

t_outline=$(best outline)
t_condense=$(best condense)
printf 'files: %s (%s bytes)\n' "$files" "$bytes"
printf -- '--file:                %ss\n' "$t_outline"
printf -- '--the-tt --simulate:   %ss\n' "$t_condense"
awk -v a="$t_outline" -v b="$t_condense" 'BEGIN { printf "ratio:                 %.2f\n", a / b }'
