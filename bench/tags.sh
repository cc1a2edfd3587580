#!/usr/bin/env bash
# Tags generation over a tree: zephyr-elk at -j 1 and -j 2 against
# universal-ctags (C and C++ only, one job), with peak memory; each the best
# of $RUNS runs (default 2).
# Usage: bench/tags.sh TREE
set -eu
. "$(dirname "$0")/common.sh"
tree=$(cd "${1:?usage: bench/tags.sh TREE}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$tree"
export HOME=$work
RUNS=${RUNS:-2}
measure "universal-ctags -R --languages=C,C++" ctags -R --languages=C,C++ -f "$work/uctags" .; u=$SECS
measure "zephyr-elk --make-ctags -j 1" "$ZK" --make-ctags -j 1; j1=$SECS; m1=$KIB
size=$(stat -c %s tags)
measure "zephyr-elk --make-ctags -j 2" "$ZK" --make-ctags -j 2; j2=$SECS
echo "tags: $(wc -l < tags) lines, $((size / 1024)) KiB"
echo "universal-ctags / -j 1: $(ratio "$u" "$j1")x   -j 1 / -j 2: $(ratio "$j1" "$j2")x   peak memory / tags size: $(ratio "$m1" $((size / 1024)))"
rm -f tags
