#!/usr/bin/env bash
# Shows the program at work on the example tree, in a scratch copy so that
# the repository stays clean.
set -u
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -a "$(dirname "$0")/tree/." "$work/"
cd "$work"
export HOME=$work/.home
mkdir -p "$HOME"
run() { echo; echo "\$ zephyr-elk $*"; "$bin" "$@"; }
run -V
run --the-tt main.c
echo
run --make-ctags
echo "\$ cat tags"; cat tags
run --file main.c shapes.c
run --structs shapes.h
run --call-tags
run main
run -u shape_area
run --tags clamp
run --cgrep 'total,+='
run --grep area_sum
run --replace 'clamp(,limit_to(' main.c
grep -n 'limit_to' main.c
echo; echo "\$ zk_indent < shapes.c"; "$(dirname "$bin")/zk_indent" < shapes.c
