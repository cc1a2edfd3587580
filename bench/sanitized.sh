#!/usr/bin/env bash
# The whole tree through the sanitizer build (AddressSanitizer and UBSan,
# halting at the first report): --make-ctags -j 2, --call-tags -j 2, a text
# search and the forward call tree of start_kernel. Too long for `make test`.
# Each step must end with status 0 and no sanitizer report on stderr. The
# run works in a hard-linked copy of the tree in a scratch directory (files
# are only read), else in the tree itself.
#   usage: bench/sanitized.sh TREE [path/to/sanitized/zephyr-elk]
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
tree=$(cd "${1:?usage: bench/sanitized.sh TREE [BINARY]}" && pwd)
bin=${2:-$here/build-asan/zephyr-elk}
if [ ! -x "$bin" ]; then make -C "$here" build-asan >/dev/null || exit 1; fi
bin=$(realpath "$bin")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home ASAN_OPTIONS=halt_on_error=1:detect_leaks=0 \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
mkdir -p "$HOME"
if cp -al "$tree" "$work/tree" 2>/dev/null; then
    rm -f "$work/tree/tags" "$work/tree/call_tags"
    cd "$work/tree"
else
    cd "$tree"
fi
failed=0
# step LABEL CMD...: runs CMD, shows its time and verdict
step() {
    local label=$1; shift
    local start end status
    start=$(date +%s)
    "$@" >"$work/out" 2>"$work/err"
    status=$?
    end=$(date +%s)
    if [ $status -ne 0 ] || grep -q -E 'ERROR: AddressSanitizer|runtime error|ERROR: LeakSanitizer' "$work/err"; then
        printf '%-34s %5d s  FAILED (status %d)\n' "$label" $((end - start)) $status
        head -40 "$work/err"
        failed=1
    else
        printf '%-34s %5d s  clean (%d output lines)\n' "$label" $((end - start)) "$(wc -l <"$work/out")"
    fi
}
step "--make-ctags -j 2" "$bin" --make-ctags -j 2
printf '%-34s %d lines\n' "  tags" "$(wc -l <tags)"
step "--call-tags -j 2" "$bin" --call-tags -j 2
printf '%-34s %d lines\n' "  call_tags" "$(wc -l <call_tags)"
step "--grep spin_lock_irqsave -j 2" "$bin" --grep spin_lock_irqsave -j 2
step "start_kernel (forward tree)" "$bin" start_kernel
exit $failed
