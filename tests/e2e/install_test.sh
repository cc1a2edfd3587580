#!/usr/bin/env bash
# make install puts the program and every invocation-name link under the
# prefix, and each link selects its mode.
set -u
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cmake --install "$build" --prefix "$tmp/p" >/dev/null || { echo "install failed"; exit 1; }
fail=0
for link in tags the_tt zk_indent structs elk_cxx elk_perl elk_python elk_ruby; do
    [ "$(readlink "$tmp/p/bin/$link")" = zephyr-elk ] || { echo "link $link missing"; fail=1; }
done
out=$(printf 'int  x;\n' | HOME=$tmp "$tmp/p/bin/the_tt")
[ "$out" = "int x; " ] || { echo "the_tt gave [$out]"; fail=1; }
exit $fail
