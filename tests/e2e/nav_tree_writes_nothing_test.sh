#!/usr/bin/env bash
# The navigation modes write nothing into the working directory: a file named
# like a scratch block is left alone, and runs side by side in one directory
# give each the output of a run alone.
# Usage: nav_tree_writes_nothing_test.sh BINDIR
set -u
bin=$1/zephyr-elk
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0
mkdir -p "$tmp/work" "$tmp/home"
cd "$tmp/work"
export HOME="$tmp/home"
{
    printf 'int main(void)\n{\n\tfoo();\n\tbar();\n}\n'
    printf 'int foo(void)\n{\n\tbar();\n\tbaz();\n}\n'
    printf 'int bar(void)\n{\n\tbaz();\n}\n'
    printf 'int baz(void)\n{\n\treturn 0;\n}\n'
} > t.c
printf 'bar\tt.c\t11\t; f\nbaz\tt.c\t15\t; f\nfoo\tt.c\t6\t; f\nmain\tt.c\t1\t; f\n' > tags
printf 'bar\tt.c\t4\t;\tby\tmain\nbaz\tt.c\t13\t;\tby\tbar\nfoo\tt.c\t3\t;\tby\tmain\n' > call_tags
echo planted > zephyr_elk.tmp
before=$(ls -la --time-style=+ .)

want_main=$(printf '// 0 // main\n\t// 1 // foo\n\t\t// 2 // bar\n\t\t\t// 3 // baz\n\t\t// 2 // baz\n\t// 1 // bar\n')
want_bar=$(printf '// 0 // bar\n\t// 1 // baz\n')
for i in 1 2 3 4 5 6; do
    "$bin" main > "$tmp/main.$i" &
    "$bin" bar > "$tmp/bar.$i" &
done
wait
for i in 1 2 3 4 5 6; do
    [ "$(cat "$tmp/main.$i")" = "$want_main" ] || { echo "FAIL: tree of main, run $i"; fail=1; }
    [ "$(cat "$tmp/bar.$i")" = "$want_bar" ] || { echo "FAIL: tree of bar, run $i"; fail=1; }
done
"$bin" --verbose main > /dev/null
"$bin" --tags main foo > /dev/null
"$bin" -u baz > /dev/null
[ "$(ls -la --time-style=+ .)" = "$before" ] || { echo "FAIL: the working directory changed"; fail=1; }
[ "$(cat zephyr_elk.tmp)" = planted ] || { echo "FAIL: zephyr_elk.tmp was touched"; fail=1; }
exit $fail
