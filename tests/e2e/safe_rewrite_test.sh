#!/usr/bin/env bash
# Files are rewritten safely: on a full file system neither the tags file
# nor a replaced file is lost or cut short, and no temporary file stays; a
# TMPDIR holding shell syntax runs nothing when an editor is started.
set -u
bin=$1/zephyr-elk
tmp=$(mktemp -d)
full=$tmp/full
cleanup() { umount "$full" 2>/dev/null; rm -rf "$tmp"; }
trap cleanup EXIT
export HOME=$tmp/home
mkdir -p "$HOME" "$full"
fail=0

# A TMPDIR whose name the shell would run.
hostile="$tmp/t \$(touch pwned)"
mkdir -p "$hostile" "$tmp/bin" "$tmp/work"
printf '#!/bin/sh\necho "$1" > "%s/editor_arg"\n' "$tmp" > "$tmp/bin/nano"
chmod +x "$tmp/bin/nano"
cd "$tmp/work"
printf 'int f(void)\n{\n\treturn 0;\n}\n' > a.c
"$bin" -c a.c
PATH="$tmp/bin:$PATH" TMPDIR=$hostile "$bin" --nano --tags f >/dev/null 2>&1
[ -e pwned ] || [ -e "$tmp/pwned" ] && { echo "TMPDIR ran a command"; fail=1; }
arg=$(cat "$tmp/editor_arg" 2>/dev/null)
[ "${arg#"$hostile/"}" != "$arg" ] || { echo "editor got [$arg]"; fail=1; }

# A full file system needs a small tmpfs, which only a privileged run can mount.
if ! mount -t tmpfs -o size=256k tmpfs "$full" 2>/dev/null; then
    echo "cannot mount a small tmpfs here: full-disk cases skipped"
    exit $fail
fi
# The sources stand outside; their tags do not fit.
mkdir -p "$tmp/src"
for i in $(seq 1 40); do
    for k in $(seq 1 100); do printf '#define NAME_%d_%d_%s 1\n' $i $k padding_padding_padding; done > "$tmp/src/h$i.h"
    echo "$tmp/src/h$i.h"
done > "$tmp/list"
cd "$full"
printf 'old tags\n' > tags
for jobs in 1 2; do
    err=$("$bin" -c -j $jobs -L "$tmp/list" 2>&1) && { echo "tags on a full disk reported success (-j $jobs)"; fail=1; }
    [[ $err == *"No space left on device"* ]] || { echo "no reason given (-j $jobs): $err"; fail=1; }
    [ "$(cat tags)" = "old tags" ] || { echo "previous tags lost (-j $jobs)"; fail=1; }
    ls -A | grep -q '^tags\.' && { echo "temporary tags file left (-j $jobs): $(ls -A | grep '^tags\.')"; fail=1; }
done
# A replace that cannot write its new content leaves the file whole.
head -c 100000 /dev/zero | tr '\0' 'a' | fold -w 99 > big.txt
cp big.txt "$tmp/big.orig"
head -c 200000 /dev/zero > filler 2>/dev/null
"$bin" --replace a,bb big.txt 2>/dev/null
cmp -s big.txt "$tmp/big.orig" || { echo "replace on a full disk changed the file"; fail=1; }
[ "$(ls -A | grep -c -v -e '^big.txt$' -e '^filler$' -e '^tags$')" = 0 ] || { echo "left behind: $(ls -A)"; fail=1; }
cd /
exit $fail
