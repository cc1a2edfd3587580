#!/usr/bin/env bash
# Statements of any length and braces of any depth must not break the
# listings or the indenter: 10,000 nested braces, megabyte-long lines,
# unbalanced braces and an unclosed literal, each checked for its exit
# status and for the exact size or shape of what it prints.
set -u
bin=$1/zephyr-elk
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp" || exit 1
export HOME=$tmp
fail=0
check() { # label expected actual
  if [ "$2" != "$3" ]; then echo "--- $1: expected $2, got $3"; fail=1; fi
}
repeat() { # text count
  local out=$1 n=$2 result=""
  while [ "$n" -gt 0 ]; do
    if [ $((n & 1)) = 1 ]; then result+=$out; fi
    out+=$out
    n=$((n >> 1))
  done
  printf '%s' "$result"
}

n=10000

# Nested braces through the indenter: every level two blanks deeper.
{ printf 'void f() '; repeat '{' $n; printf 'x;'; repeat '}' $n; printf '\n'; } > deep.c
"$bin" --indent < deep.c > deep.out
check "indent deep status" 0 $?
# Head line, n-1 opening lines at depths 1..n-1, the statement at depth n,
# and n closing lines at depths n-1..0 (the last without a line feed).
want=$(( 12 + (n - 1) * 2 + (n - 1) * n + 2 * n + 3 + 2 * n - 1 + (n - 1) * n ))
check "indent deep bytes" "$want" "$(wc -c < deep.out)"
check "indent deep innermost" "$(( 2 * n ))x;" "$(grep -E '^ +x;$' deep.out | awk '{ print length($0) - 2 "x;" }')"

# The same braces through the outline: nothing inside a body is listed.
"$bin" --file deep.c > deep.outline
check "outline deep status" 0 $?
check "outline deep" "$(printf '/*** deep.c ***/\nvoid f () ;\n')" "$(cat deep.outline)"

# Nested structures: each level one tab deeper, closed by its declarator.
{ printf 'struct s { '; repeat 'struct { ' $n; printf 'int x; '; repeat '} a; ' $n; printf '};\n'; } > nest.h
"$bin" --structs nest.h > nest.out
check "structs nested status" 0 $?
check "structs nested lines" $(( 1 + n + 1 + 2 * n + 2 )) "$(wc -l < nest.out)"
check "structs nested innermost" "$(( n + 1 ))" "$(grep -E $'^\t+int x;$' nest.out | awk '{ print length($0) - 6 }')"

# A function head of about a megabyte on one line.
{ printf 'int f('; repeat 'int a, ' 150000; printf 'int z) { return 0; }\n'; } > long.c
"$bin" --file long.c > long.out
check "outline long status" 0 $?
check "outline long bytes" $(( 17 + 7 + 150000 * 7 + 7 + 2 + 1 )) "$(wc -c < long.out)"
"$bin" --indent < long.c > long.indent
check "indent long status" 0 $?
check "indent long lines" 2 "$(wc -l < long.indent)"

# A structure of a megabyte on one line, and one as a single statement.
{ printf 'struct big { '; repeat 'int a; ' 150000; printf '};\n'; } > big.h
"$bin" --structs big.h > big.out
check "structs long status" 0 $?
check "structs long lines" $(( 150000 + 3 )) "$(wc -l < big.out)"
{ printf 'typedef struct { int '; repeat 'a, ' 350000; printf 'z; } t;\n'; } > wide.h
"$bin" --structs wide.h > wide.out
check "structs wide status" 0 $?
check "structs wide bytes" $(( 17 + 1 + 4 + 350000 * 3 + 3 + 6 )) "$(wc -c < wide.out)"

# More closing braces than opening ones, and an unclosed literal.
{ repeat '} ' $n; printf 'x; "unclosed ; { '; repeat 'y ' 200000; printf '\n'; } > bad.c
"$bin" --indent < bad.c > /dev/null
check "indent unbalanced status" 0 $?
"$bin" --file bad.c > /dev/null
check "outline unbalanced status" 0 $?
"$bin" --structs bad.c > /dev/null
check "structs unbalanced status" 0 $?

exit $fail
