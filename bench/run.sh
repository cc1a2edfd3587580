#!/usr/bin/env bash
# Runs every benchmark over one tree (default: an unpacked kernel source).
# Usage: bench/run.sh [TREE]
set -u
dir=$(dirname "$0")
tree=${1:-${TREE:-/work/kernel/linux-source-6.1}}
[ -d "$tree" ] || { echo "no tree at $tree: apt-get install linux-source-6.1 and unpack it" >&2; exit 1; }
for b in condense outline tags grep navigate; do
    [ -x "$dir/$b.sh" ] || continue
    echo "== $b"
    bash "$dir/$b.sh" "$tree"
done
[ -x "$dir/scripts.sh" ] && { echo "== scripts"; bash "$dir/scripts.sh"; }
exit 0
