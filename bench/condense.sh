#!/usr/bin/env bash
# Condensing throughput over the .c files of a tree, beside cat of the same
# files in the same run.  Usage: bench/condense.sh TREE
set -eu
. "$(dirname "$0")/common.sh"
tree=${1:?usage: bench/condense.sh TREE}
list=$(mktemp)
trap 'rm -f "$list"' EXIT
(cd "$tree" && find . -name '*.c' -type f) > "$list"
bytes=$(cd "$tree" && tr '\n' '\0' < "$list" | xargs -0 cat | wc -c)
cd "$tree"
measure "cat" xargs -a "$list" cat; cat_s=$SECS
measure "--the-tt --simulate" "$ZK" --the-tt --simulate -L "$list"; tt_s=$SECS
mb=$(awk -v b="$bytes" 'BEGIN { printf "%.1f", b / 1048576 }')
echo "files: $(wc -l < "$list"), $mb MiB"
echo "condenser: $(awk -v b="$bytes" -v s="$tt_s" 'BEGIN { printf "%.0f", b / 1048576 / s }') MiB/s;" \
     "time ratio to cat: $(ratio "$tt_s" "$cat_s")"
