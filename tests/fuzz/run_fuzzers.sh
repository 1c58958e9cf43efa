#!/usr/bin/env bash
# run_fuzzers.sh <build-dir> <seconds-per-harness> [harness ...]: runs each
# libFuzzer harness of a TARSEL_FUZZ build on its seeds and kept findings,
# FUZZ_PARALLEL (default 2) at a time; non-zero when any run fails. A failing
# input stays in <build-dir>/fuzz-artifacts/<harness>/; once fixed, copy it into
# regressions/<harness>/, which the replay tests of the other builds run.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:?build directory}"
seconds="${2:?seconds per harness}"
shift 2
harnesses=("$@")
[ ${#harnesses[@]} -eq 0 ] && harnesses=(nal_walk frame_file decode channel)
parallel="${FUZZ_PARALLEL:-2}"
mkdir -p "$build/fuzz-logs"

# Runs one harness and prints one line about it, or its log's tail when it failed.
run_one() {
  local name="$1" log="$build/fuzz-logs/$1.log"
  local inputs=("$here/corpus/$name")
  [ -d "$here/regressions/$name" ] && inputs+=("$here/regressions/$name")
  mkdir -p "$build/fuzz-artifacts/$name" "$build/fuzz-scratch/$name"
  # libFuzzer stops itself after max_total_time; the outer limit only
  # catches a hang libFuzzer's own watchdog misses.
  if timeout --kill-after=10 $((seconds + 120)) "$build/tests/fuzz/fuzz_$name" \
      -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -malloc_limit_mb=2048 \
      -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$name/" \
      "$build/fuzz-scratch/$name" "${inputs[@]}" > "$log" 2>&1; then
    echo "fuzz: $name passed: $(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}') runs," \
      "$(grep -E '^#[0-9]+.*(DONE|cov:)' "$log" | tail -1 | grep -oE 'cov: [0-9]+ ft: [0-9]+')"
  else
    echo "fuzz: $name FAILED; last lines of $log:"
    tail -n 60 "$log"
    return 1
  fi
}

# A batch at a time; each one's report is printed whole, in order.
status=0
for ((first = 0; first < ${#harnesses[@]}; first += parallel)); do
  batch=("${harnesses[@]:first:parallel}")
  pids=()
  for name in "${batch[@]}"; do
    run_one "$name" > "$build/fuzz-logs/$name.summary" 2>&1 &
    pids+=($!)
  done
  for index in "${!batch[@]}"; do
    wait "${pids[$index]}" || status=1
    cat "$build/fuzz-logs/${batch[$index]}.summary"
  done
done
exit "$status"
