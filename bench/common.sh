# Shared by the benchmarks: the binary, a timer with peak memory, a ratio.
ZK=${ZK:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/zephyr-elk}
TIMEFMT='%e %M'
# measure LABEL CMD...: runs CMD, prints seconds and peak KiB, sets SECS and KIB
measure() {
    local label=$1; shift
    local out tf
    tf=$(mktemp)
    /usr/bin/time -o "$tf" -f "$TIMEFMT" "$@" >/dev/null 2>/dev/null || true
    out=$(tail -1 "$tf"); rm -f "$tf"
    SECS=${out% *}; KIB=${out#* }
    printf '%-44s %8.2f s %9d KiB\n' "$label" "$SECS" "$KIB"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
