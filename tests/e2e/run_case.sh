#!/usr/bin/env bash
# Runs one end-to-end case folder against the built program:
#   args     one argument per line (no file: no arguments)
#   name     invocation name beside the binary (default zephyr-elk)
#   stdin    standard input (default /dev/null)
#   fixture  names of shared folders under tests/e2e/fixtures, one a line,
#            copied into the fresh working directory first (or into the
#            subdirectory named after the folder on its line)
#   tree/    copied into the working directory after the fixtures
#   setup    shell lines run in the working directory before the program
#   stdout, stderr, status   expected; a missing stdout/stderr means empty,
#            a missing status means 0
#   files/   files the working directory must hold afterwards, byte for byte
# The run gets its own HOME inside the temporary directory.
set -u
bindir=$1 case=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/work" "$tmp/home"
fixtures=$(cd "$(dirname "$0")/fixtures" 2>/dev/null && pwd)
if [ -f "$case/fixture" ]; then
    while read -r fixture into; do
        [ -n "$fixture" ] || continue
        mkdir -p "$tmp/work/${into:-.}"
        cp -a "$fixtures/$fixture/." "$tmp/work/${into:-.}/"
    done < "$case/fixture"
fi
[ -d "$case/tree" ] && cp -a "$case/tree/." "$tmp/work/"
name=zephyr-elk
[ -f "$case/name" ] && name=$(cat "$case/name")
args=()
[ -f "$case/args" ] && mapfile -t args < "$case/args"
input=/dev/null
[ -f "$case/stdin" ] && input="$case/stdin"
cd "$tmp/work"
if [ -f "$case/setup" ]; then HOME="$tmp/home" BIN="$bindir/zephyr-elk" bash "$case/setup" || { echo "setup failed"; exit 1; }; fi
HOME="$tmp/home" timeout 60 "$bindir/$name" "${args[@]}" < "$input" > "$tmp/out" 2> "$tmp/err"
status=$?
fail=0
expect() { # expected-file actual-file label
  local want=$1
  [ -f "$want" ] || want=/dev/null
  if ! cmp -s "$want" "$2"; then
    echo "--- $3 differs (expected vs actual):"; diff <(cat -A "$want") <(cat -A "$2") | head -40
    fail=1
  fi
}
expect "$case/stdout" "$tmp/out" stdout
expect "$case/stderr" "$tmp/err" stderr
want_status=0
[ -f "$case/status" ] && want_status=$(cat "$case/status")
if [ "$status" != "$want_status" ]; then echo "--- status $status, expected $want_status"; fail=1; fi
if [ -d "$case/files" ]; then
  while IFS= read -r -d '' f; do
    rel=${f#"$case/files/"}
    if [ ! -f "$tmp/work/$rel" ]; then echo "--- missing file $rel"; fail=1
    else expect "$f" "$tmp/work/$rel" "file $rel"; fi
  done < <(find "$case/files" -type f -print0)
fi
exit $fail
