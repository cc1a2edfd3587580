#!/usr/bin/env bash
# Times `zephyr-elk --make-ctags` (one job) against `ctags -R` from
# universal-ctags on the system's own libraries, one language at a time:
# Python (/usr/lib/python3.11), Perl (/usr/share/perl/5.36), and when
# installed Go (golang-src) and Java (openjdk-17-source). Each library's
# sources of that language are copied once into a scratch tree, both tools
# run in it, and the best of three runs (wall clock, and user + system time)
# is shown with the ratios.
#   usage: bench/scripts.sh [path/to/zephyr-elk]
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
bin=$(realpath "${1:-$here/build/zephyr-elk}")
scratch=${ZK_BENCH_DIR:-/tmp/zk_bench_scripts}
runs=${ZK_BENCH_RUNS:-3}
[ -x "$bin" ] || { echo "no program at $bin (build it first)"; exit 1; }
command -v ctags >/dev/null || { echo "universal-ctags is not installed"; exit 1; }
mkdir -p "$scratch"

# copy_tree NAME SOURCE-DIR PATTERN...: the matching files, directories kept.
copy_tree() {
    local name=$1 from=$2; shift 2
    local to="$scratch/$name"
    [ -d "$to" ] && return 0
    [ -d "$from" ] || return 1
    local find_args=() first=1
    for p in "$@"; do
        [ $first = 1 ] || find_args+=(-o)
        find_args+=(-name "$p"); first=0
    done
    mkdir -p "$to"
    (cd "$from" && find -L . -type f \( "${find_args[@]}" \) -print0 | xargs -0 cp --parents -L -t "$to")
}

java_tree() {
    local to="$scratch/java" zip
    [ -d "$to" ] && return 0
    zip=$(ls /usr/lib/jvm/openjdk-17/lib/src.zip /usr/lib/jvm/java-17-openjdk-*/lib/src.zip 2>/dev/null | head -1)
    [ -n "$zip" ] && command -v unzip >/dev/null || return 1
    mkdir -p "$to" && unzip -q "$zip" '*.java' -d "$to"
}

# best_of CMD...: "wall cpu", the least wall-clock and the least user+system
# milliseconds of $runs runs (children included). The machine is shared, so
# the CPU time is the steadier figure.
best_of() {
    local best_wall="" best_cpu="" t wall cpu
    for ((i = 0; i < runs; i++)); do
        t=$( { TIMEFORMAT='%R %U %S'; time "$@" >/dev/null 2>&1; } 2>&1 | tail -1)
        read -r wall cpu <<<"$(awk '{ printf "%d %d", $1 * 1000, ($2 + $3) * 1000 }' <<<"$t")"
        if [ -z "$best_wall" ] || [ "$wall" -lt "$best_wall" ]; then best_wall=$wall; fi
        if [ -z "$best_cpu" ] || [ "$cpu" -lt "$best_cpu" ]; then best_cpu=$cpu; fi
    done
    echo "$best_wall $best_cpu"
}

printf '%-7s %6s %8s %8s | %8s %8s %6s | %8s %8s %6s\n' language files zk_tags uc_tags \
    zk_wall uc_wall ratio zk_cpu uc_cpu ratio
bench_one() { # name ctags-language
    local name=$1 lang=$2 dir="$scratch/$1"
    local files zk uc zk_tags uc_tags
    files=$(find "$dir" -type f ! -name tags | wc -l)
    zk=$(cd "$dir" && best_of "$bin" --make-ctags)
    zk_tags=$(grep -vc '^!' "$dir/tags")
    uc=$(cd "$dir" && best_of ctags -R --languages="$lang" -f "$scratch/$name.uctags" .)
    uc_tags=$(grep -vc '^!' "$scratch/$name.uctags")
    awk -v n="$name" -v f="$files" -v zt="$zk_tags" -v ut="$uc_tags" -v z="$zk" -v u="$uc" 'BEGIN {
        split(z, zz, " "); split(u, uu, " ")
        printf "%-7s %6d %8d %8d | %8d %8d %5.1fx | %8d %8d %5.1fx\n", n, f, zt, ut,
            zz[1], uu[1], (zz[1] > 0 ? uu[1] / zz[1] : 0), zz[2], uu[2], (zz[2] > 0 ? uu[2] / zz[2] : 0) }'
}

copy_tree python /usr/lib/python3.11 '*.py' && bench_one python Python
copy_tree perl /usr/share/perl/5.36 '*.pl' '*.pm' '*.ph' && bench_one perl Perl
go_src=$(ls -d /usr/share/go-*/src 2>/dev/null | tail -1)
if [ -n "$go_src" ] && copy_tree go "$go_src" '*.go'; then bench_one go Go; else echo "go: golang-src not installed"; fi
if java_tree; then bench_one java Java; else echo "java: openjdk-17-source not installed"; fi
