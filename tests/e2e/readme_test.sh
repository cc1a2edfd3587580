#!/usr/bin/env bash
# The README shows real output: every "$ command" line of its code blocks is
# run, in order, in one copy of examples/tree, and what it prints must be the
# lines that follow it up to the next command or the end of the block.
# Commands that start an editor are not run.
set -u
bindir=$(cd "$1" && pwd)
src=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/bin" "$tmp/home" "$tmp/work"
for name in zephyr-elk tags the_tt zk_indent structs; do ln -s "$bindir/zephyr-elk" "$tmp/bin/$name"; done
cp -a "$src/examples/tree/." "$tmp/work/"
export PATH=$tmp/bin:$PATH HOME=$tmp/home
cd "$tmp/work"

fail=0 ran=0
command= expected=
# Runs the pending command and compares; the output gets a final line feed
# when it has none, as the README cannot show its absence.
settle() {
    [ -n "$command" ] || return 0
    local out
    out=$(bash -c "$command" 2>&1 </dev/null; echo x)
    out=${out%x}
    [[ -z $out || $out == *$'\n' ]] || out+=$'\n'
    if [ "$out" != "$expected" ]; then
        echo "--- README: \$ $command"
        diff <(printf '%s' "$expected") <(printf '%s' "$out") | head -20
        fail=1
    fi
    ran=$((ran + 1))
    command= expected=
}
in_block=0
while IFS= read -r line; do
    if [[ $line == '```'* ]]; then
        settle
        in_block=$((1 - in_block))
        continue
    fi
    ((in_block)) || continue
    if [[ $line == '$ '* ]]; then
        settle
        command=${line#'$ '}
        [[ $command == vim* || $command == *--gvim* || $command == *--emacs* || $command == *--nano* ]] && command=
    elif [ -n "$command" ]; then
        expected+=$line$'\n'
    fi
done < "$src/README.md"
settle
[ $ran -gt 0 ] || { echo "no command found in the README"; fail=1; }
exit $fail
