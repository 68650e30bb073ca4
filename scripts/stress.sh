#!/usr/bin/env bash
# Runs the threaded test suites (http, job, geocode, ui, services) again and
# again, each time in a new random order, while every CPU is kept busy by a
# spinning loop, so that thread interleavings a quiet machine never shows
# come up. Stops starting runs once DURATION seconds have passed; a run that
# hangs is ended after RUN_LIMIT seconds and counts as a failure.
#
# Usage: bash scripts/stress.sh [DURATION] [PRESET]
#   DURATION  seconds to keep starting runs (default 300)
#   PRESET    build to use: tsan (default) or dev, asan
# Logs of failed runs go to build/PRESET/stress/. Not part of the CI run.
set -euo pipefail
cd "$(dirname "$0")/.."

duration=${1:-300}
preset=${2:-tsan}
run_limit=${RUN_LIMIT:-300}
build=build/$preset
suites=(http geocode job services ui)

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "${TERRAFETCH_JOBS:-$(nproc)}" >/dev/null

export QT_QPA_PLATFORM=offscreen
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

logs=$build/stress
mkdir -p "$logs"

spinners=()
stop_spinners() {
  for pid in "${spinners[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap stop_spinners EXIT
for _ in $(seq "$(nproc)"); do
  ( while :; do :; done ) &
  spinners+=($!)
done

runs=0
failures=0
start=$SECONDS
while (( SECONDS - start < duration )); do
  for suite in $(printf '%s\n' "${suites[@]}" | shuf); do
    (( SECONDS - start < duration )) || break
    program=$build/tests/$suite/${suite}_tests
    seed=$(( RANDOM % 99999 + 1 ))
    log=$logs/$suite-$seed.log
    runs=$((runs + 1))
    began=$SECONDS
    if timeout -k 10 "$run_limit" "$program" --gtest_shuffle --gtest_random_seed="$seed" >"$log" 2>&1; then
      echo "run $runs: $suite (seed $seed) passed in $((SECONDS - began)) s"
      rm -f "$log"
    else
      status=$?
      failures=$((failures + 1))
      [ "$status" -eq 124 ] && what="hung, ended after $run_limit s" || what="failed with status $status"
      echo "run $runs: $suite (seed $seed) $what; log: $log"
    fi
  done
done
echo "stress ($preset, $((SECONDS - start)) s, CPUs kept busy): $runs runs, $failures failed"
[ "$failures" -eq 0 ]
