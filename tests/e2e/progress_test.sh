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
# One run on a terminal: the counter shows and is erased at the end.
on_terminal() {
    script -qec "$bin -c -j $1" "$tmp/typescript" >/dev/null 2>&1 &&
        grep -aq '/250 files' "$tmp/typescript" &&
        grep -aq $'\r\033\\[K' "$tmp/typescript"
}
for j in 1 2; do
    # A loaded machine may lose the tail of a pseudo-terminal's output once.
    on_terminal $j || on_terminal $j || { echo "-j $j on a terminal:"; cat -v "$tmp/typescript"; fail=1; }
    [ "$(grep -c $'\t; f$' tags)" = 250 ] || { echo "-j $j: tags incomplete"; fail=1; }
done
"$bin" -c -j 2 2>"$tmp/err" >"$tmp/out"
[ -s "$tmp/err" ] || [ -s "$tmp/out" ] && { echo "output without a terminal"; fail=1; }
exit $fail
