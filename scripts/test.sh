#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: in the
# normal build and under AddressSanitizer + UndefinedBehaviorSanitizer. The
# normal build is also packaged, and the unpacked package runs a job.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=${TERRAFETCH_JOBS:-$(nproc)}
for preset in dev asan; do
  echo "=== $preset build ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
  if [ "$preset" = dev ]; then
    bash scripts/check-package.sh build/dev
  fi
done
