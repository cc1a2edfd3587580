#!/usr/bin/env bash
# A call tree over more source files than the process may hold open at once:
# every function's file is still read.
# Usage: nav_tree_many_files_test.sh BINDIR
set -u
bin=$1/zephyr-elk
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/work" "$tmp/home"
cd "$tmp/work"
export HOME="$tmp/home"
n=300
{
    printf 'int main(void)\n{\n'
    for ((i = 0; i < n; ++i)); do printf '\tf%03d();\n' $i; done
    printf '}\n'
} > main.c
for ((i = 0; i < n; ++i)); do printf 'int f%03d(void)\n{\n\tleaf%03d();\n}\n' $i $i > "f$i.c"; done
{
    for ((i = 0; i < n; ++i)); do printf 'f%03d\tf%d.c\t1\t; f\n' $i $i; done
    printf 'main\tmain.c\t1\t; f\n'
} | LC_ALL=C sort > tags
out=$(ulimit -n 64 && "$bin" main)
fail=0
[ "$(grep -c $'^\t\t// 2 // leaf' <<< "$out")" = $n ] || { echo "FAIL: not every callee was expanded"; fail=1; }
[ "$(tail -1 <<< "$out")" = $'\t\t// 2 // leaf299' ] || { echo "FAIL: last line"; fail=1; }
exit $fail
