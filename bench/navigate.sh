#!/usr/bin/env bash
# Navigation over a tree: the lookup (--tags), the forward call tree of
# start_kernel at the default depth and the reverse tree of kfree at depth 2,
# each a whole process, beside readtags on the same "tags" and cscope's
# database queries (-L2 called-by, -L3 callers). Median of several runs.
# The tree is left untouched: the tags files and the cscope database are
# made in a scratch directory that links to the tree's top-level entries.
# Usage: bench/navigate.sh TREE [RUNS]
set -eu
. "$(dirname "$0")/common.sh"
tree=$(cd "${1:?usage: bench/navigate.sh TREE [RUNS]}" && pwd)
runs=${2:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home
mkdir -p "$HOME"
for entry in "$tree"/* "$tree"/.[!.]*; do
    case ${entry##*/} in tags | call_tags | cscope.*) continue ;; esac
    [ -e "$entry" ] && ln -s "$entry" "$work/"
done
cd "$work"
(cd "$tree" && find . -type f \( -name '*.[ch]' -o -name '*.cpp' -o -name '*.hpp' -o -name '*.cxx' \)) > files

# median_ms CMD...: sets WALL_MS to the median wall time of $runs runs after
# one warm-up run, and CPU_MS to the median user+system time (10 ms grain)
median_ms() {
    local walls=() cpus=() start end tf
    tf=$(mktemp)
    "$@" > /dev/null 2>&1 || true
    for ((i = 0; i < runs; ++i)); do
        start=$(date +%s%N)
        /usr/bin/time -o "$tf" -f '%U %S' "$@" > /dev/null 2>&1 || true
        end=$(date +%s%N)
        walls+=($(( (end - start) / 1000 )))
        cpus+=($(awk '{ printf "%d", ($1 + $2) * 1000 }' "$tf"))
    done
    rm -f "$tf"
    WALL_MS=$(printf '%s\n' "${walls[@]}" | sort -n | awk '{ t[NR] = $1 } END { printf "%.1f", t[int((NR + 1) / 2)] / 1000 }')
    CPU_MS=$(printf '%s\n' "${cpus[@]}" | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }')
}
row() { # label CMD...
    median_ms "${@:2}"
    printf '%-42s %8s ms wall %6s ms cpu\n' "$1" "$WALL_MS" "$CPU_MS"
}

echo "building the tags files and the cscope database (not timed)"
"$ZK" --make-ctags -j 2 -L files
"$ZK" --call-tags -j 2 -L files
cscope -b -q -k -i files
sync  # the fresh tags files are not written back during the timings
echo "tags: $(wc -l < tags) lines, call_tags: $(wc -l < call_tags) lines"
[ "$(wc -l < call_tags)" -gt 6 ] || echo "warning: call_tags holds no call"

echo "lookup of start_kernel"
row "zephyr-elk --tags start_kernel" "$ZK" --tags start_kernel
row "readtags -t tags start_kernel" readtags -t tags start_kernel
echo "forward tree of start_kernel"
row "zephyr-elk start_kernel (depth 6)" "$ZK" start_kernel
row "cscope -d -L2 start_kernel (one level)" cscope -d -L2 start_kernel
echo "reverse tree of kfree"
row "zephyr-elk --depth 2 -u kfree" "$ZK" --depth 2 -u kfree
row "cscope -d -L3 kfree (one level)" cscope -d -L3 kfree
echo "output sizes: tree $("$ZK" start_kernel | wc -l) lines, reverse tree $("$ZK" --depth 2 -u kfree | wc -l) lines"
