#!/usr/bin/env bash
# The manual page is clean for the formatters, renders as a person reads it,
# holds every option of the program's usage, and is installed.
set -u
bindir=$1
page=$(cd "$(dirname "$0")/../.." && pwd)/docs/zephyr-elk.1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export HOME=$tmp/home
mkdir -p "$HOME"
fail=0

linted=0
if command -v mandoc >/dev/null; then
    mandoc -Tlint -Wstyle "$page" > "$tmp/lint" 2>&1
    [ -s "$tmp/lint" ] && { echo "mandoc -Tlint:"; cat "$tmp/lint"; fail=1; }
    linted=1
fi
if command -v groff >/dev/null; then
    groff -ww -z -man "$page" > "$tmp/lint" 2>&1
    [ -s "$tmp/lint" ] && { echo "groff -ww:"; cat "$tmp/lint"; fail=1; }
    linted=1
fi
[ $linted = 1 ] || echo "neither mandoc nor groff installed: lint skipped"

# Rendered text: by man when present, else by whichever formatter there is.
if command -v man >/dev/null; then
    MANWIDTH=80 man -l "$page" 2>"$tmp/err" | col -b > "$tmp/page"
elif command -v mandoc >/dev/null; then
    mandoc -Tascii "$page" 2>"$tmp/err" | col -b > "$tmp/page"
elif command -v groff >/dev/null; then
    groff -man -Tascii -P-c "$page" 2>"$tmp/err" | col -b > "$tmp/page"
else
    echo "no formatter installed: rendering skipped"
    exit $fail
fi
[ -s "$tmp/err" ] && { echo "rendering complained:"; cat "$tmp/err"; fail=1; }
for heading in NAME SYNOPSIS DESCRIPTION MODES OPTIONS "INVOCATION NAMES" FILES \
               ENVIRONMENT "EXIT STATUS" EXAMPLES CAVEATS; do
    grep -qx "$heading" "$tmp/page" || { echo "no section $heading"; fail=1; }
done
# Escapes that did not render show up as backslashes or stray requests.
grep -nE '\\f|\\-|\\\(|^\.[A-Za-z]' "$tmp/page" && { echo "unrendered roff above"; fail=1; }
for text in '~/.zephyr_elk/.zephyr_elk/zephyr_elk_immune' '!_TAG_PROGRAM_VERSION\t2.0' \
            'name\tfile\tline;"\tkind' 'callee\tfile\tline\t;\tby\tcaller'; do
    grep -qF -- "$text" "$tmp/page" || { echo "rendered page lacks: $text"; fail=1; }
done

# Every option the usage shows is an entry of the page (at the start of a line).
"$bindir/zephyr-elk" --help | grep -oE '^[[:space:]]+-{1,2}[A-Za-z-]+' | tr -d ' \t' > "$tmp/usage"
[ -s "$tmp/usage" ] || { echo "no options read from the usage"; fail=1; }
while read -r option; do
    grep -qE -- "^ +(-[-A-Za-z, ]+, )?$option(,| |$)" "$tmp/page" || { echo "usage option $option has no entry"; fail=1; }
done < "$tmp/usage"

# make install puts the page where man finds it.
if cmake --install "$bindir" --prefix "$tmp/prefix" > "$tmp/install" 2>&1; then
    cmp -s "$page" "$tmp/prefix/share/man/man1/zephyr-elk.1" || { echo "page not installed"; fail=1; }
else
    echo "install failed:"; cat "$tmp/install"; fail=1
fi
exit $fail
