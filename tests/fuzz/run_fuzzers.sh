#!/usr/bin/env bash
# Runs each libFuzzer harness of a TARSEL_FUZZ build for a bounded time on its
# seed corpus and kept findings, a few at a time. Exits non-zero when any run
# ends in a crash, a sanitizer report, a time-out or an out-of-memory stop.
#
#   run_fuzzers.sh <build-dir> <seconds-per-harness> [harness ...]
#
# New inputs go to a scratch corpus, never into the source tree; a failing
# input is left in <build-dir>/fuzz-artifacts/<harness>/ and its log printed.
# Once fixed, copy it into regressions/<harness>/: the replay tests of the
# normal and sanitizer builds run every file there.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:?build directory}"
seconds="${2:?seconds per harness}"
shift 2
harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
  harnesses=(nal_walk frame_file decode channel)
fi
parallel="${FUZZ_PARALLEL:-2}"

run_one() {
  local name="$1"
  local program="$build/tests/fuzz/fuzz_$name"
  local artifacts="$build/fuzz-artifacts/$name"
  local scratch="$build/fuzz-scratch/$name"
  local log="$build/fuzz-logs/$name.log"
  mkdir -p "$artifacts" "$scratch" "$(dirname "$log")"
  if [ ! -x "$program" ]; then
    echo "fuzz: $name: $program is missing" > "$log"
    return 1
  fi
  local inputs=("$here/corpus/$name")
  [ -d "$here/regressions/$name" ] && inputs+=("$here/regressions/$name")
  # libFuzzer stops itself after max_total_time; the outer limit only
  # catches a hang libFuzzer's own watchdog misses.
  timeout --kill-after=10 $((seconds + 120)) "$program" \
    -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -malloc_limit_mb=2048 \
    -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "$scratch" "${inputs[@]}" > "$log" 2>&1
}

status=0
pids=()
names=()
finish_one() {
  local index="$1"
  local name="${names[$index]}"
  local log="$build/fuzz-logs/$name.log"
  if wait "${pids[$index]}"; then
    echo "fuzz: $name passed: $(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}') runs," \
      "$(grep -E '^#[0-9]+.*(DONE|cov:)' "$log" | tail -1 | grep -oE 'cov: [0-9]+ ft: [0-9]+')"
  else
    echo "fuzz: $name FAILED; last lines of $log:"
    tail -n 60 "$log"
    status=1
  fi
}

for name in "${harnesses[@]}"; do
  run_one "$name" &
  pids+=($!)
  names+=("$name")
  if [ $(( ${#pids[@]} % parallel )) -eq 0 ]; then
    for index in $(seq $(( ${#pids[@]} - parallel )) $(( ${#pids[@]} - 1 ))); do
      finish_one "$index"
    done
  fi
done
remainder=$(( ${#pids[@]} % parallel ))
if [ "$remainder" -ne 0 ]; then
  for index in $(seq $(( ${#pids[@]} - remainder )) $(( ${#pids[@]} - 1 ))); do
    finish_one "$index"
  done
fi
exit "$status"
