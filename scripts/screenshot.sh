#!/usr/bin/env bash
# Starts the terraFetch window under Xvfb, geocodes an address, runs a job
# with Proceed on the bundled services (or the hosts named by the
# TERRAFETCH_*_HOST variables), saves a picture of the finished window,
# then opens the result view and saves a picture of it too.
#   scripts/screenshot.sh [picture.png] [address] [result-view.png] [texture]
# The pictures default to docs/screenshot.png and result-view.png beside
# the first; the job's files go to a
# temporary folder that is removed afterwards. Uses the build folder
# $TERRAFETCH_BUILD_DIR (default build/dev) and builds the dev preset's
# terrafetch-screenshot first when it is missing there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
picture=$(realpath -m "${1:-$root/docs/screenshot.png}")
address=${2:-Salina, KS}
view_picture=$(realpath -m "${3:-$(dirname "$picture")/result-view.png}")
texture=${4:-map}
tool="${TERRAFETCH_BUILD_DIR:-$root/build/dev}/ui/terrafetch-screenshot"

if [ ! -x "$tool" ]; then
  (cd "$root" && cmake --preset dev >/dev/null && cmake --build --preset dev --target terrafetch-screenshot)
fi
command -v xvfb-run >/dev/null || { echo "screenshot.sh: xvfb-run is missing (apt-get install xvfb xauth)" >&2; exit 1; }

folder=$(mktemp -d "${TMPDIR:-/tmp}/terrafetch-screenshot.XXXXXX")
trap 'rm -rf "$folder"' EXIT
mkdir -p "$(dirname "$picture")"
cd "$folder"
xvfb-run -a -s "-screen 0 1280x1024x24" "$tool" "$picture" "$address" "$view_picture" "$texture"
