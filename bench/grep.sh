#!/usr/bin/env bash
# Text search over a tree: zephyr-elk --grep at -j 1 and -j 2 against GNU
# grep and ripgrep (one thread) in the same run, with the lines each found;
# then --cgrep at -j 1 and -j 2. Each time is the best of RUNS (default 3;
# one for --cgrep), after a warm-up pass, with the CPU seconds (user +
# system) beside it: on a busy machine the CPU seconds compare better.
#   bench/grep.sh TREE [RUNS]     (ZK overrides build/zephyr-elk)
set -eu
. "$(dirname "$0")/common.sh"
tree=$(cd "${1:?usage: bench/grep.sh TREE [RUNS]}" && pwd)
runs=${2:-3}
pattern='kmalloc('
cgrep_expr='kmalloc,GFP_KERNEL'
ZK=$(cd "$(dirname "$ZK")" && pwd)/$(basename "$ZK")
command -v rg >/dev/null || { echo "ripgrep is missing (apt-get install ripgrep)" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export HOME=$tmp  # the program's scratch files stay in here
cd "$tree"
find . -type f > "$tmp/all"
# The extensions that discovery picks, for the peers' like-for-like runs.
exts="c cxx cpp h hpp pl pm ph py rb php go java lua"
grep_incl=() rg_glob=()
for e in $exts; do grep_incl+=(--include="*.$e"); rg_glob+=(-g "*.$e"); done

# run LABEL CMD...: best elapsed of the runs, CPU of that run, output lines
# and distinct file:line places (zephyr-elk prints a line once per match).
run() {
    local label=$1; shift
    local best="" cpu="" tf
    tf=$(mktemp)
    "$@" > "$tmp/out" 2>/dev/null || true
    for _ in $(seq "$runs"); do
        /usr/bin/time -o "$tf" -f '%e %U %S' "$@" > /dev/null 2>/dev/null || true
        read -r e u s < <(tail -1 "$tf")
        if [ -z "$best" ] || awk -v t="$e" -v b="$best" 'BEGIN { exit !(t < b) }'; then
            best=$e; cpu=$(awk -v u="$u" -v s="$s" 'BEGIN { printf "%.2f", u + s }')
        fi
    done
    rm -f "$tf"
    local lines places
    lines=$(wc -l < "$tmp/out")
    places=$(sed 's|^\./||' "$tmp/out" | cut -d: -f1,2 | sort -u | wc -l)
    printf '%-46s %7.2f s  cpu %6.2f s  %7d lines %7d places\n' "$label" "$best" "$cpu" "$lines" "$places"
    SECS=$best
}

echo "tree: $tree ($(wc -l < "$tmp/all") files), pattern '$pattern', best of $runs"
echo "-- every file of the tree"
run "zephyr-elk --grep -j 1 -L all" "$ZK" --grep "$pattern" -j 1 -L "$tmp/all"; zk1=$SECS
run "zephyr-elk --grep -j 2 -L all" "$ZK" --grep "$pattern" -j 2 -L "$tmp/all"
run "grep -rnF" grep -rnF "$pattern" .; gnu=$SECS
run "rg -uu -F -n -j1" rg -uu -F -n -j1 "$pattern"; rg1=$SECS
echo "   -j 1 time ratio: to grep $(ratio "$zk1" "$gnu"), to rg $(ratio "$zk1" "$rg1")"
echo "-- source files (discovered by extension)"
run "zephyr-elk --grep -j 1" "$ZK" --grep "$pattern" -j 1; zk1=$SECS
run "zephyr-elk --grep -j 2" "$ZK" --grep "$pattern" -j 2
run "grep -rnF --include (same extensions)" grep -rnF "${grep_incl[@]}" "$pattern" .; gnu=$SECS
run "rg -uu -F -n -j1 -g (same extensions)" rg -uu -F -n -j1 "${rg_glob[@]}" "$pattern"; rg1=$SECS
echo "   -j 1 time ratio: to grep $(ratio "$zk1" "$gnu"), to rg $(ratio "$zk1" "$rg1")"
runs=1  # the code search condenses every file: one timed run is enough
echo "-- code search '$cgrep_expr' (C/C++ files, condensed)"
run "zephyr-elk --cgrep -j 1" "$ZK" --cgrep "$cgrep_expr" -j 1
run "zephyr-elk --cgrep -j 2" "$ZK" --cgrep "$cgrep_expr" -j 2
