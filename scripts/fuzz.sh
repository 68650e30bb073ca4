#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (the "fuzz" preset, ASan + UBSan)
# and runs each one in turn for SECONDS (default 60), or for RUNS executions
# when the first argument is --runs RUNS, from its seed corpus in
# fuzz/corpus/<target>/ and its regressions in fuzz/regressions/<target>/.
# New corpus entries stay in build/fuzz/corpus/; an input that crashes, leaks,
# hangs or runs out of memory is left in build/fuzz/artifacts/<target>/ and
# belongs, once mended, in fuzz/regressions/<target>/.
# Usage: scripts/fuzz.sh [SECONDS | --runs RUNS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = --runs ]; then
  budget=(-runs="$2"); what="$2 executions"; shift 2
else
  budget=(-max_total_time="${1:-60}"); what="${1:-60} s"; shift || true
fi
all_targets=(fuzz_tga_file fuzz_bil_to_tga fuzz_waypoint_file fuzz_response_text fuzz_http_headers
             fuzz_url fuzz_geocode_answer fuzz_member_name fuzz_gif_decoder fuzz_gpx_waypoints fuzz_hgt_tile
             fuzz_unpack_archive fuzz_wms_answer fuzz_wms_capabilities fuzz_census_geocoder_answer
             fuzz_dem_geotiff fuzz_quads_file fuzz_region_record fuzz_imagery_query)
[ $# -gt 0 ] && targets=("$@") || targets=("${all_targets[@]}")

# Largest input per target: enough for every structure the reader knows,
# small enough to keep executions fast.
declare -A max_len=([fuzz_tga_file]=4096 [fuzz_bil_to_tga]=4096 [fuzz_gif_decoder]=8192
                    [fuzz_member_name]=512 [fuzz_url]=1024 [fuzz_unpack_archive]=8192
                    [fuzz_imagery_query]=1024)

bash scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "${TERRAFETCH_JOBS:-$(nproc)}" --target "${targets[@]}"

status=0
summary=()
for target in "${targets[@]}"; do
  work=build/fuzz/corpus/$target
  artifacts=build/fuzz/artifacts/$target
  mkdir -p "$work" "$artifacts"
  inputs=("$work" "fuzz/corpus/$target")
  [ -d "fuzz/regressions/$target" ] && inputs+=("fuzz/regressions/$target")
  log=build/fuzz/$target.log
  echo "=== $target: $what ==="
  started=$SECONDS
  if ! "build/fuzz/fuzz/$target" "${inputs[@]}" "${budget[@]}" \
      -max_len="${max_len[$target]:-16384}" -rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=10 \
      -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$artifacts/" >"$log" 2>&1; then
    status=1
    echo "FAILED: see $log and $artifacts/"
    grep -m 5 -E "ERROR|SUMMARY|check failed" "$log" || true
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  summary+=("$(printf '%-28s %12s executions in %5d s' "$target" "${runs:-?}" $((SECONDS - started)))")
done
echo "=== executions per target ==="
printf '%s\n' "${summary[@]}"
exit $status
