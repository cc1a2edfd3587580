#!/usr/bin/env bash
# Tags of the scripting languages: the same tags file whatever the number of
# jobs, every line whole (no line feed or carriage return inside a line),
# and a generated Python file of several megabytes tagged to its last def.
set -u
bin=$1/zephyr-elk
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/home" "$tmp/tree"
cp -a "$here/cases/scripts_tags_every_language/tree/." "$tmp/tree/"
cd "$tmp/tree"
printf 'package crlf\r\n\r\ntype Point struct {\r\n}\r\nfunc (p Point) Norm() int {\r\n}\r\n' > crlf.go
printf 'sub crlf\r\n{\r\n}\r\n' > crlf.pl
printf 'class Crlf:\r\n    def norm(self):\r\n' > crlf.py
awk 'BEGIN { for (i = 0; i < 75000; i++) printf "def f%d(a, b):\n    \"\"\"Doc: %d\n    \"\"\"\n    return {\x27k\x27: a}  # x\n\n", i, i }' > big.py
fail=0
HOME="$tmp/home" "$bin" --make-ctags || { echo "-j 1 failed"; fail=1; }
cp tags "$tmp/tags.1"
for j in 2 3 12; do
    HOME="$tmp/home" "$bin" --make-ctags -j $j
    cmp -s tags "$tmp/tags.1" || { echo "-j $j differs"; fail=1; }
done
grep -q $'\r' tags && { echo "a carriage return in the tags file"; fail=1; }
bad=$(grep -v '^!_TAG_' tags | grep -cv $'^[^\t]\+\t[^\t]\+\t[0-9]\+\t; [fcpmtsnd]$')
[ "$bad" = 0 ] || { echo "$bad malformed tag lines"; fail=1; }
for want in $'Point\t./crlf.go\t3\t; t' $'Norm\t./crlf.go\t5\t; f' $'crlf\t./crlf.pl\t2\t; f' \
            $'Crlf\t./crlf.py\t1\t; c' $'norm\t./crlf.py\t2\t; f' $'f0\t./big.py\t1\t; f' \
            $'f74999\t./big.py\t374996\t; f'; do
    grep -qxF "$want" tags || { echo "missing: $want"; fail=1; }
done
[ "$(grep -c $'\t./big.py\t' tags)" = 75000 ] || { echo "big.py: $(grep -c $'\t./big.py\t' tags) tags, not 75000"; fail=1; }
exit $fail
