#!/usr/bin/env python3
"""Prints one table of every benchmark's ratio to its anchor, from the JSON
files one run of scripts/bench.sh wrote (one file per benchmark program).

Usage: bench_summary.py FOLDER
"""
import json
import pathlib
import sys

# The headless default job with hole filling should fit in this much memory.
BATCH_RSS_BUDGET_MB = 100.0
# A live job with an empty cache, services in the same process.
LIVE_COLD_RSS_BUDGET_MB = 150.0

# benchmark -> (anchor, what is compared, goal or None). A ratio below 1
# means faster (or smaller) than the anchor.
ANCHORS = {
    "BM_WholeDefaultJob": ("BM_GdalEquivalentConversions", "whole job's wall time (services in) / GDAL's", 0.25),
    "BM_WholeDefaultJob own work": ("BM_ResultFilesFloor", "own_work_s / writing the four result files", 6.0),
    "BM_SecondJobSameQuad": ("BM_WholeDefaultJob", "second job on the same quad / the first", None),
    "BM_TenJobsInOneProcess": (None, "peak RSS after the 10th job / after the 2nd", 1.1),
    "BatchDefaultJobPeakRss": (None, "terrafetch-batch's peak RSS / %g MB" % BATCH_RSS_BUDGET_MB, 1.0),
    "BM_BilToTga": ("BM_BilToTga_IoFloor", "time / the I/O floor", None),
    "BM_RelaxNoData": ("BM_RelaxNoData_PlainScanBaseline", "time / the plain relaxation", None),
    "BM_ElevationToColor": ("BM_ElevationToColorFloor", "time / the I/O floor", None),
    "BM_StretchTga": ("BM_StretchTgaFloor", "time / the I/O floor", None),
    "BM_CombineTga": ("BM_CombineTgaFloor", "time / the I/O floor", None),
    "BM_GifOurDecoder": ("BM_GifGiflib", "time / giflib", None),
    "BM_CHTTPRequestToFile": ("BM_CurlToolToFile", "time / the curl tool", None),
    "BM_PlainLibcurlToFile": ("BM_CurlToolToFile", "time / the curl tool", None),
    "BM_ResultViewPictures": ("BM_ReadHeightMapOnly", "time / reading the height map", None),
    "LiveJobColdPeakRss": (None, "cold live job's peak RSS / %g MB" % LIVE_COLD_RSS_BUDGET_MB, 1.0),
    "LiveJobCached": ("BundledJobBesideLive", "cached live job / bundled job, as processes", 1.1),
    "LiveJobCachedPeakRss": (None, "cached live job's peak RSS / the bundled job's", 1.1),
    "BM_JobLiveCached": ("BM_JobBundledWithTile", "cached live job / bundled job, same tile", 1.1),
    # Downloading within 0.8x of curl's speed is a time of at most 1/0.8 of curl's.
    "BM_TileDownloadUpstreamClient": ("BM_TileDownloadCurlTool", "tile download time / the curl tool", 1.25),
    "BM_TileCacheFill": ("BM_TileDownloadCurlTool", "download, inflate, check, write / the curl tool", None),
    "RegionJobs1": ("SixteenSingleJobs", "region of 16 quads, --jobs 1 / the 16 as single jobs", 1.05),
    "RegionJobs2": ("RegionJobs1Anchor", "region of 16 quads, --jobs 2 / --jobs 1", 0.7),
    "CachedImageryJob": ("CachedMapJob", "cached imagery job / the cached street-map job (live)", None),
    "CachedImageryJobPeakRss": (None, "cached imagery job's peak RSS / the street-map job's", None),
    "RegionJobs2PeakRss": (None, "region --jobs 2's peak memory (PSS, all processes) / a single job's", 2.0),
}

SECONDS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


def base_name(name):
    return name.split("/")[0]


def load(folder):
    runs = {}
    for path in sorted(pathlib.Path(folder).glob("*.json")):
        try:
            data = json.loads(path.read_text())
        except (OSError, ValueError):
            continue
        for run in data.get("benchmarks", []):
            if run.get("run_type", "iteration") != "iteration" or run.get("error_occurred"):
                continue
            run["_seconds"] = run["real_time"] * SECONDS.get(run.get("time_unit", "ns"), 1e-9)
            runs[run["name"]] = run
    return runs


def ratio(name, run, runs):
    anchor, _, _ = ANCHORS.get(base_name(name), (None, None, None))
    if base_name(name) == "BM_TenJobsInOneProcess":
        return run.get("growth_10_to_2"), "-"
    if base_name(name) == "BatchDefaultJobPeakRss":
        return run.get("peak_rss_MB", 0) / BATCH_RSS_BUDGET_MB, "-"
    if base_name(name) == "LiveJobColdPeakRss":
        return run.get("peak_rss_MB", 0) / LIVE_COLD_RSS_BUDGET_MB, "-"
    if base_name(name) == "LiveJobCachedPeakRss":
        return run.get("peak_rss_MB", 0) / run.get("anchor_peak_rss_MB", 1), "BundledJobBesideLive"
    if base_name(name) == "RegionJobs2PeakRss":
        return run.get("peak_rss_MB", 0) / run.get("anchor_peak_rss_MB", 1), "a single job"
    if base_name(name) == "CachedImageryJobPeakRss":
        return run.get("peak_rss_MB", 0) / run.get("anchor_peak_rss_MB", 1), "CachedMapJob"
    matches = [r for n, r in runs.items() if base_name(n) == anchor]
    if not anchor or not matches:
        return None, anchor or "-"
    value = run.get("own_work_s", 0) if name.endswith(" own work") else run["_seconds"]
    return value / matches[0]["_seconds"], anchor


def with_own_work_rows(runs):
    """The whole job's own work is a row of its own, next to its wall time."""
    rows = {}
    for name, run in runs.items():
        rows[name] = run
        if base_name(name) == "BM_WholeDefaultJob" and "own_work_s" in run:
            rows[base_name(name) + " own work"] = run
    return rows


def main():
    runs = load(sys.argv[1] if len(sys.argv) > 1 else ".")
    # The first job is the anchor of the second and has rows of its own.
    anchors = {a for a, _, _ in ANCHORS.values() if a} - {"BM_WholeDefaultJob"}
    rows = []
    for name, run in with_own_work_rows(runs).items():
        if base_name(name) in anchors:
            continue
        value, anchor = ratio(name, run, runs)
        _, what, goal = ANCHORS.get(base_name(name), (None, "no anchor", None))
        shown = "-" if value is None else "%.3f" % value
        verdict = "" if goal is None or value is None else ("met" if value <= goal else "NOT met")
        goal_text = "" if goal is None else "<= %g" % goal
        rows.append((name, shown, anchor, what, goal_text, verdict))
    header = ("benchmark", "ratio", "anchor", "compared", "goal", "")
    widths = [max(len(str(r[i])) for r in rows + [header]) for i in range(len(header))]
    print("\n=== Summary: ratios to the anchors, this run ===")
    for row in [header] + rows:
        print("  ".join(str(cell).ljust(width) for cell, width in zip(row, widths)).rstrip())
    for name, run in runs.items():
        if base_name(name) == "BM_TenJobsInOneProcess":
            print("ten jobs: peak RSS %.1f MB after the 2nd, %.1f MB after the 10th"
                  % (run.get("peak_rss_after_2_MB", 0), run.get("peak_rss_after_10_MB", 0)))
        if base_name(name) == "BatchDefaultJobPeakRss":
            print("terrafetch-batch --west -99 --north 40 --substitute-z0: peak RSS %s MB"
                  % ", ".join("%.1f" % mb for mb in run.get("peak_rss_runs_MB", [])))
        if base_name(name) in ("LiveJobColdPeakRss", "LiveJobCached", "BundledJobBesideLive"):
            print("%s: %.2f s, peak RSS %.1f MB" % (name, run["_seconds"], run.get("peak_rss_MB", 0)))
        if base_name(name) in ("SixteenSingleJobs", "RegionJobs1", "RegionJobs2"):
            print("%s: %.2f s (runs %s)" % (name, run["_seconds"], ", ".join("%.2f" % s for s in run.get("runs_s", []))))
        if base_name(name) in ("CachedMapJob", "CachedImageryJob"):
            print("%s: %.2f s, peak RSS %.1f MB" % (name, run["_seconds"], run.get("peak_rss_MB", 0)))
        if base_name(name) == "RegionJobs2PeakRss":
            print("region --jobs 2: peak memory (PSS) %.1f MB; a single job %.1f MB"
                  % (run.get("peak_rss_MB", 0), run.get("anchor_peak_rss_MB", 0)))
        if base_name(name) == "BM_WholeDefaultJob":
            print("whole default job: %.3f s, own work %.3f s, peak RSS %.1f MB"
                  % (run["_seconds"], run.get("own_work_s", 0), run.get("peak_rss_MB", 0)))
        if base_name(name) in ("BM_GdalEquivalentConversions", "BM_ResultFilesFloor", "BM_SecondJobSameQuad"):
            print("%s: %.3f s" % (name, run["_seconds"]))


if __name__ == "__main__":
    main()
