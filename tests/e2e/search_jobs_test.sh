#!/usr/bin/env bash
# Searches spread over several worker processes that share one pipe: the
# same lines as with one job, and every line whole.
set -u
bin=$1/zephyr-elk
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export HOME=$tmp/home
mkdir -p "$HOME" "$tmp/tree"
cd "$tmp/tree"
# Lines of up to 3000 bytes, so that whole lines fill the pipe unevenly.
awk 'BEGIN { for (f = 1; f <= 24; ++f) for (l = 1; l <= 300; ++l)
    printf "int v%d = hit(%d); /* %*s */\n", l, f, (f * 131 + l * 17) % 3000, "" > ("f" f ".c") }'
fail=0
for mode in --grep --cgrep; do
    "$bin" $mode 'hit' f*.c | sort > "$tmp/one"
    [ "$(wc -l < "$tmp/one")" -eq 7200 ] || { echo "$mode -j 1: $(wc -l < "$tmp/one") lines"; fail=1; }
    for jobs in 2 5; do
        "$bin" $mode 'hit' -j $jobs f*.c | cat | sort > "$tmp/many"
        if ! cmp -s "$tmp/one" "$tmp/many"; then
            echo "$mode -j $jobs differs from -j 1:"; diff "$tmp/one" "$tmp/many" | head -5 | cut -c1-120
            fail=1
        fi
    done
done
exit $fail
