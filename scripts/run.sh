#!/usr/bin/env bash
# Installs what is missing, builds, and runs a job on the bundled services:
# in the window when a display is available, otherwise headless with
# terrafetch-batch for the default quad (99°W to 98°W, 39°N to 40°N) in a
# fresh folder, listing the files it wrote. Arguments are passed on to
# terrafetch-batch (see `build/dev/batch/terrafetch-batch --help`).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)"

window="$root/build/dev/ui/terrafetch"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$window" ] && [ $# -eq 0 ]; then
  exec "$window"
fi

folder=$(mktemp -d "${TMPDIR:-/tmp}/terrafetch-job.XXXXXX")
echo "Job folder: $folder"
cd "$folder"
status=0
"$root/build/dev/batch/terrafetch-batch" "$@" || status=$?
echo
echo "Files written in $folder:"
ls -l "$folder"
exit $status
