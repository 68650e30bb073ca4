#!/usr/bin/env bash
# Builds the release-with-debug-info preset, runs every benchmark program,
# measures the headless job's peak memory and ends with one table of each
# benchmark's ratio to its anchor from this run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)"
results=build/dev/bench-results
rm -rf "$results"
mkdir -p "$results"
for program in build/dev/bench/bench_*; do
  [ -x "$program" ] || continue
  name=$(basename "$program")
  echo "=== $name ==="
  "$program" --benchmark_out="$results/$name.json" --benchmark_out_format=json "$@"
done
echo "=== terrafetch-batch peak memory ==="
python3 scripts/batch_peak_rss.py build/dev/batch/terrafetch-batch "$results/batch_peak_rss.json"
echo "=== live jobs against loopback stand-ins ==="
python3 scripts/live_job_bench.py build/dev/batch/terrafetch-batch "$results/live_job.json"
echo "=== a region of 16 quads against single jobs ==="
python3 scripts/region_bench.py build/dev/batch/terrafetch-batch build/dev/services/terrafetch-services \
  "$results/region.json"
echo "=== cached imagery jobs against the street-map job ==="
python3 scripts/imagery_bench.py build/dev/batch/terrafetch-batch "$results/imagery.json"
python3 scripts/bench_summary.py "$results"
