#!/usr/bin/env bash
# A long run shows a counter of files on a terminal's standard error, erased
# at the end, and nothing when standard error is not a terminal.
set -u
bin=$1/zephyr-elk
command -v script >/dev/null || { echo "script not installed: skipped"; exit 0; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export HOME=$tmp/home
mkdir -p "$HOME" "$tmp/tree"
cd "$tmp/tree"
for i in $(seq 1 250); do printf 'int f%d(void) { return 0; }\n' $i > "f$i.c"; done
fail=0
for j in 1 2; do
    script -qec "$bin -c -j $j" "$tmp/typescript" >/dev/null 2>&1 || { echo "-j $j failed on a terminal"; fail=1; }
    grep -aq '/250 files' "$tmp/typescript" || { echo "-j $j: no counter"; fail=1; }
    grep -aq $'\r\033\\[K' "$tmp/typescript" || { echo "-j $j: counter not erased"; fail=1; }
    [ "$(grep -c $'\t; f$' tags)" = 250 ] || { echo "-j $j: tags incomplete"; fail=1; }
done
"$bin" -c -j 2 2>"$tmp/err" >"$tmp/out"
[ -s "$tmp/err" ] || [ -s "$tmp/out" ] && { echo "output without a terminal"; fail=1; }
exit $fail
