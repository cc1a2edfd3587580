#!/usr/bin/env bash
# --dot draws the forward and the reverse call tree as a digraph that dot(1)
# accepts: the edges of the text tree, each once, pointing from caller to
# callee; the root a bold box; names without a definition in ./tags dashed.
# Usage: dot_test.sh BINDIR
set -u
bin=$1/zephyr-elk
src=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export HOME=$tmp/home
mkdir -p "$HOME"
cp -r "$src/examples/tree" "$tmp/work"
# A name that calls itself and one that calls back: the text tree repeats
# the edges of spin, the digraph must not.
printf 'int spin(int n)\n{\n\tspin(n);\n\treturn back(n);\n}\nint back(int n)\n{\n\treturn spin(n) + n;\n}\n' \
    > "$tmp/work/loop.c"
cd "$tmp/work"
fail=0
"$bin" -c && "$bin" --call-tags || { echo "FAIL: could not make tags and call_tags"; exit 1; }

# The edges of a text tree as "caller -> callee" lines, sorted and unique.
tree_edges() {  # REVERSE(0|1) < tree
    awk -v reverse="$1" '{
        n = split($0, f, " // "); level = f[1]; gsub(/[^0-9]/, "", level); name = f[2]
        path[level] = name
        if (level > 0) print (reverse ? name " -> " path[level - 1] : path[level - 1] " -> " name)
    }' | LC_ALL=C sort -u
}

# From dot's SVG: "edge caller -> callee" and "node name shape style" lines.
svg_graph() {
    awk '
        /class="node"/ { kind = "node"; shape = "ellipse"; style = "solid"; width = 1 }
        /class="edge"/ { kind = "edge" }
        kind != "" && /<title>/ { t = $0; sub(/.*<title>/, "", t); sub(/<\/title>.*/, "", t); id = t }
        kind == "node" && /<polygon/ { shape = "box" }
        kind == "node" && /stroke-dasharray/ { style = "dashed" }
        kind == "node" && /stroke-width="2"/ { width = 2 }
        kind == "node" && /<text/ { t = $0; sub(/<\/text>.*/, "", t); sub(/.*>/, "", t); label[id] = t;
                                    node[id] = shape " " style (width == 2 ? " bold" : "") }
        kind == "edge" && /<\/g>/ { gsub(/&#45;&gt;/, " ", id); edges[++ne] = id }
        /<\/g>/ { kind = "" }
        END {
            for (id in node) print "node " label[id] " " node[id]
            for (k = 1; k <= ne; ++k) { split(edges[k], e, " "); print "edge " label[e[1]] " -> " label[e[2]] }
        }' | LC_ALL=C sort
}

have_dot=1
command -v dot >/dev/null || { echo "dot (graphviz) not installed: the digraphs are not rendered"; have_dot=0; }

# Each case: root, options, the nodes dot must draw (name shape style).
check() {  # NAME ROOT NODES OPTIONS...
    local what=$1 root=$2 nodes=$3
    shift 3
    local reverse=0
    [ "${1:-}" = -u ] && reverse=1
    "$bin" "$@" "$root" > "$tmp/text" || { echo "FAIL: $what: text tree failed"; fail=1; }
    "$bin" --dot "$@" "$root" > "$tmp/dot" 2> "$tmp/err" || { echo "FAIL: $what: --dot failed"; fail=1; }
    [ -s "$tmp/err" ] && { echo "FAIL: $what: --dot wrote to stderr:"; cat "$tmp/err"; fail=1; }
    grep -q '^digraph .* {$' "$tmp/dot" && [ "$(tail -n 1 "$tmp/dot")" = "}" ] ||
        { echo "FAIL: $what: not a digraph:"; cat "$tmp/dot"; fail=1; }
    # Every edge once in the digraph's text.
    dups=$(grep -- ' -> ' "$tmp/dot" | sort | uniq -d)
    [ -z "$dups" ] || { echo "FAIL: $what: repeated edges: $dups"; fail=1; }
    [ $have_dot = 1 ] || return
    dot -Tsvg "$tmp/dot" > "$tmp/svg" 2> "$tmp/dot_err" || { echo "FAIL: $what: dot rejected:"; cat "$tmp/dot" "$tmp/dot_err"; fail=1; return; }
    [ -s "$tmp/dot_err" ] && { echo "FAIL: $what: dot warned:"; cat "$tmp/dot_err"; fail=1; }
    svg_graph < "$tmp/svg" > "$tmp/got"
    { tree_edges $reverse < "$tmp/text" | sed 's/^/edge /'; printf '%s\n' "$nodes" | sed 's/^/node /'; } |
        LC_ALL=C sort > "$tmp/want"
    cmp -s "$tmp/want" "$tmp/got" || { echo "FAIL: $what:"; diff "$tmp/want" "$tmp/got"; fail=1; }
}

check "forward tree of main" main "main box solid bold
printf ellipse dashed
area_sum ellipse solid
shape_area ellipse solid
clamp ellipse solid
MAX ellipse solid"
check "reverse tree of MAX" MAX "MAX box solid bold
clamp ellipse solid
area_sum ellipse solid
main ellipse solid" -u
check "forward tree of a loop" spin "spin box solid bold
back ellipse solid"
check "reverse tree of a loop" spin "spin box solid bold
back ellipse solid" -u
check "an undefined root" no_such_name "no_such_name box dashed bold" -u

# The text tree of spin does list its edges more than once.
[ "$("$bin" spin | grep -c '// spin$')" -gt 2 ] || echo "note: the loop fixture no longer repeats edges"

# Messages stay off the digraph: a missing definition, a missing call_tags.
"$bin" --dot no_such_name > "$tmp/dot" 2> "$tmp/err"
grep -q 'Tag "no_such_name" not found' "$tmp/err" || { echo "FAIL: no message for a missing name"; fail=1; }
grep -q 'not found' "$tmp/dot" && { echo "FAIL: the message went into the digraph"; fail=1; }
rm call_tags
"$bin" --dot -u main > "$tmp/dot" 2> "$tmp/err"
status=$?
[ $status = 1 ] || { echo "FAIL: status $status without call_tags"; fail=1; }
grep -q 'File "call_tags" not found' "$tmp/err" || { echo "FAIL: no message without call_tags"; fail=1; }
grep -q 'call_tags' "$tmp/dot" && { echo "FAIL: the message went to standard output"; fail=1; }
exit $fail
