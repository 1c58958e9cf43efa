#!/usr/bin/env bash
# run_fuzzers.sh <build-dir> <seconds-per-harness> [harness ...]: runs each libFuzzer harness of a
# TARSEL_FUZZ build on its seeds and kept findings, FUZZ_PARALLEL (default 2) at a time; non-zero when any
# run fails. A failing input stays in <build-dir>/fuzz-artifacts/<harness>/; once fixed, copy it into
# regressions/<harness>/, which the replay tests of the other builds run.
set -uo pipefail
export here="$(cd "$(dirname "$0")" && pwd)" build="${1:?build directory}" seconds="${2:?seconds per harness}"
shift 2
[ $# -eq 0 ] && set -- nal_walk frame_file stream_reader decode channel
mkdir -p "$build/fuzz-logs"

# One line about a harness's run, or its log's tail; the outer time limit only catches a hang.
run_one() {
  local name="$1" log="$build/fuzz-logs/$1.log" inputs=("$here/corpus/$1")
  [ -d "$here/regressions/$name" ] && inputs+=("$here/regressions/$name")
  mkdir -p "$build/fuzz-artifacts/$name" "$build/fuzz-scratch/$name"
  if timeout --kill-after=10 $((seconds + 120)) "$build/tests/fuzz/fuzz_$name" \
      -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -malloc_limit_mb=2048 \
      -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$name/" \
      "$build/fuzz-scratch/$name" "${inputs[@]}" > "$log" 2>&1; then
    echo "fuzz: $name passed: $(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}') runs"
  else
    echo "fuzz: $name FAILED; last lines of $log:"
    tail -n 60 "$log"
    return 1
  fi
}
export -f run_one

printf '%s\n' "$@" | xargs -P "${FUZZ_PARALLEL:-2}" -I{} bash -c 'run_one {} > "$build/fuzz-logs/{}.summary"'
status=$?
for name in "$@"; do cat "$build/fuzz-logs/$name.summary"; done
exit $status
