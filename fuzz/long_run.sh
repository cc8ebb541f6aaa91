#!/bin/sh
# The long fuzz run: every target (or those named) for RUNS executions
# (10 million unless given) from the committed corpus and the simulator's
# seeds, one target after another; then what the run grew is merged into
# fuzz/corpus/TARGET, minimised (libFuzzer's -merge keeps the smallest
# inputs that reach every feature), ready to be committed.
#
# Usage: fuzz/long_run.sh FUZZ_BUILD_DIR [RUNS] [TARGET...]
#   FUZZ_BUILD_DIR  a tree configured with -DMOTIONSTAR_BUILD_FUZZ=ON and its
#                   `fuzzers` target built
#   TARGET          data_packet command_reply options status_block socket
#
# The targets bind loopback ports: run it in a network namespace of its own,
# e.g. `unshare -n sh -c 'ip link set lo up && fuzz/long_run.sh build-fuzz'`.
# Runs work in FUZZ_BUILD_DIR/long, or in FUZZ_WORK when set (two runs of
# different targets at once, one per core, each with its own).
# Exit status 1 when a target reported a finding (the input is kept in
# FUZZ_BUILD_DIR/long/artifacts/).
set -eu
if [ $# -lt 1 ] || [ "$1" = "--help" ]; then
  sed -n '2,/^set -eu/p' "$0" | sed '$d; s/^# \{0,1\}//'
  exit $([ $# -lt 1 ] && echo 2 || echo 0)
fi
build=$1
runs=${2:-10000000}
[ $# -ge 2 ] && shift 2 || shift 1
targets=${*:-data_packet command_reply options status_block socket}
repo=$(cd "$(dirname "$0")/.." && pwd)
work=${FUZZ_WORK:-$build/long}

rm -rf "$work"
mkdir -p "$work/artifacts"
"$build/bin/fuzz_make_seeds" "$work/seeds"
failed=0
for target in $targets; do
  program=$build/bin/fuzz_$target
  corpus=$repo/fuzz/corpus/$target
  mkdir -p "$work/$target" "$work/seeds/$target" "$corpus"
  started=$(date +%s)
  if "$program" -runs="$runs" -max_len=4096 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/$target-" "$work/$target" "$corpus" "$work/seeds/$target" \
    >"$work/$target.log" 2>&1; then
    finding=none
  else
    finding="see $work/$target.log"
    failed=1
  fi
  seconds=$(($(date +%s) - started))
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$target.log")
  coverage=$(grep -E '^#[0-9]+' "$work/$target.log" | tail -1 | sed -n 's/.* cov: \([0-9]*\) ft: \([0-9]*\).*/\1 edges, \2 features/p')
  # The minimised corpus replaces the committed one.
  mkdir -p "$work/$target.merged"
  "$program" -merge=1 -max_len=4096 -timeout=10 "$work/$target.merged" "$corpus" "$work/$target" \
    >"$work/$target.merge.log" 2>&1
  rm -rf "$corpus"
  mv "$work/$target.merged" "$corpus"
  echo "fuzz_$target: ${executions:-?} executions in $seconds s" \
    "($(( ${executions:-0} / (seconds > 0 ? seconds : 1) ))/s), ${coverage:-coverage unknown}," \
    "corpus $(ls "$corpus" | wc -l) inputs ($(cat "$corpus"/* | wc -c) bytes), findings: $finding"
done
exit $failed
