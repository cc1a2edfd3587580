# Shared by the benchmarks: the binary, a timer with peak memory, a ratio.
ZK=${ZK:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/zephyr-elk}
TIMEFMT='%e %M'
# measure LABEL CMD...: runs CMD $RUNS times (default 1), prints the least
# seconds and the peak KiB of that run, sets SECS and KIB. A run on this
# kind of machine is slower after another program took much memory, so the
# best of two or three is the steadier figure.
measure() {
    local label=$1; shift
    local out tf run secs kib
    SECS=""; KIB=""
    tf=$(mktemp)
    for ((run = 0; run < ${RUNS:-1}; run++)); do
        # The last run's dirty pages are written out first, not during this one.
        sync
        /usr/bin/time -o "$tf" -f "$TIMEFMT" "$@" >/dev/null 2>/dev/null || true
        out=$(tail -1 "$tf")
        secs=${out% *}; kib=${out#* }
        if [ -z "$SECS" ] || awk -v a="$secs" -v b="$SECS" 'BEGIN { exit !(a < b) }'; then
            SECS=$secs; KIB=$kib
        fi
    done
    rm -f "$tf"
    printf '%-44s %8.2f s %9d KiB\n' "$label" "$SECS" "$KIB"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
