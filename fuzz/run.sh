#!/usr/bin/env bash
# Fuzzes each named target for the given seconds, one after another (one
# process at a time), starting from its saved corpus under fuzz/corpus.
# New inputs collect in the build directory; those that reach new code are
# merged into the saved corpus afterwards. A finding is kept as
# fuzz/findings/<target>-crash-* and fails the run; every run's seconds (as
# run, which is less than asked when it stops early) and execution count are
# appended to fuzz/executions.log. FUZZ_TIMEOUT (default 10) is the seconds
# one input may take; raise it when the fuzzer shares a busy machine.
#   usage: run.sh build-dir seconds target...
set -u
build=$(cd "$1" && pwd) seconds=$2
shift 2
src=$(cd "$(dirname "$0")" && pwd)
max_len=${FUZZ_MAX_LEN:-4096}
timeout=${FUZZ_TIMEOUT:-10}
mkdir -p "$src/findings"
failed=0
for target in "$@"; do
  saved=$src/corpus/$target
  scratch=$build/corpus/$target
  work=$build/work/$target
  mkdir -p "$saved" "$scratch" "$work"
  rm -f "$work"/fuzz-*.log
  echo "== $target: $seconds s"
  started=$(date +%s)
  (cd "$work" && "$build/fuzz_$target" -jobs=1 -workers=1 -max_total_time="$seconds" \
     -max_len="$max_len" -timeout="$timeout" -print_final_stats=1 \
     -artifact_prefix="$src/findings/$target-" "$scratch" "$saved" >/dev/null 2>&1)
  status=$?
  ran=$(( $(date +%s) - started ))
  log=$work/fuzz-0.log
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" 2>/dev/null | tail -1 | grep -o '[0-9]*$')
  [ -n "$execs" ] || execs=$(grep -o '^#[0-9]*' "$log" 2>/dev/null | tail -1 | tr -d '#')
  result=clean
  if [ $status -ne 0 ] || grep -q -E 'ERROR: (libFuzzer|AddressSanitizer)|runtime error|deadly signal' "$log"; then
    result=FINDING failed=1
    grep -E -A30 'ERROR|runtime error' "$log" | head -60
  fi
  echo "$(date -u +%Y-%m-%d) $target seconds=$ran executions=${execs:-0} $result" | tee -a "$src/executions.log"
  # Only inputs that add coverage go into the saved corpus.
  (cd "$work" && "$build/fuzz_$target" -merge=1 -max_len="$max_len" -timeout="$timeout" \
     "$saved" "$scratch" >/dev/null 2>&1)
done
exit $failed
