#!/usr/bin/env bash
# Shows the program at work on the example tree.
set -u
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
cd "$(dirname "$0")/tree"
run() { echo; echo "\$ zephyr-elk $*"; "$bin" "$@"; }
run -V
run --the-tt main.c
echo
