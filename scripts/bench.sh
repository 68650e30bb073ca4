#!/usr/bin/env bash
# Builds the release-with-debug-info preset and runs every benchmark program.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)"
for program in build/dev/bench/bench_*; do
  [ -x "$program" ] || continue
  echo "=== $(basename "$program") ==="
  "$program" "$@"
done
