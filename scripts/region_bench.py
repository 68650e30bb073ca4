#!/usr/bin/env python3
"""Times a region of 16 quads of 0.25 degrees against the same 16 quads run
as single jobs one after another, and --jobs 2 against --jobs 1, with the
bundled services started once as their own program (no status-page waits,
so the work is what is timed). Also samples the peak resident memory of the
whole --jobs 2 run (the region process and its quads' jobs together, as
proportional set size) against a single job's. Writes a benchmark result file that bench_summary.py reads.

Usage: region_bench.py TERRAFETCH_BATCH TERRAFETCH_SERVICES OUTPUT_JSON [RUNS]
"""
import json
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

REGION = ["--region", "-99,39,-98,40", "--size", "0.25"]
QUADS = [(-99 + 0.25 * column, 40 - 0.25 * row) for row in range(4) for column in range(4)]


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def start_services(program):
    port = free_port()
    server = subprocess.Popen([program, "--port", str(port), "--wait", "0"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(500):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return server, "127.0.0.1:%d" % port
        except OSError:
            time.sleep(0.02)
    server.kill()
    sys.exit("terrafetch-services did not start")


def tree_pss_mb(root):
    """The proportional resident memory of `root` and every process below it,
    in MB: pages shared between them (the program and its libraries) count
    once in all, not once per process as plain RSS would count them."""
    parents = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as stat:
                    parents[int(entry)] = int(stat.read().rsplit(")", 1)[1].split()[1])
            except (OSError, IndexError, ValueError):
                pass
    tree, grown = {root}, True
    while grown:
        below = {pid for pid, parent in parents.items() if parent in tree} - tree
        grown = bool(below)
        tree |= below
    kilobytes = 0
    for pid in tree:
        try:
            with open("/proc/%d/smaps_rollup" % pid) as rollup:
                for line in rollup:
                    if line.startswith("Pss:"):
                        kilobytes += int(line.split()[1])
        except (OSError, IndexError, ValueError):
            pass
    return kilobytes / 1024.0


def run(program, arguments, environment, sample=False):
    """Wall time of one run in a fresh folder, and its sampled peak memory
    (proportional set size of all its processes, MB)."""
    with tempfile.TemporaryDirectory(prefix="terrafetch-region-") as folder:
        start = time.perf_counter()
        child = subprocess.Popen([program] + arguments, cwd=folder, env=environment,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        peak = [0.0]

        def watch():
            while child.poll() is None:
                peak[0] = max(peak[0], tree_pss_mb(child.pid))
                time.sleep(0.005)

        watcher = threading.Thread(target=watch) if sample else None
        if watcher:
            watcher.start()
        _, status, _ = os.wait4(child.pid, 0)
        seconds = time.perf_counter() - start
        if watcher:
            watcher.join()
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        sys.exit("terrafetch-batch %s failed with exit code %d" % (" ".join(arguments), code))
    return seconds, peak[0]


def main():
    program, services, output = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), sys.argv[3]
    runs = int(sys.argv[4]) if len(sys.argv) > 4 else 3
    server, host = start_services(services)
    environment = dict(os.environ, TERRAFETCH_EXTRACT_HOST=host, TERRAFETCH_MAP_HOST=host,
                       TERRAFETCH_GEOCODE_HOST=host)
    environment.pop("tfcScanner", None)
    try:
        singles, region1, region2, single_peaks, region2_peaks = [], [], [], [], []
        for west, north in QUADS[:4]:
            single_peaks.append(run(program, ["--west", str(west), "--north", str(north), "--size", "0.25"],
                                    environment, sample=True)[1])
        for _ in range(runs):
            total = 0.0
            for west, north in QUADS:
                total += run(program, ["--west", str(west), "--north", str(north), "--size", "0.25"],
                             environment)[0]
            singles.append(total)
            region1.append(run(program, REGION + ["--jobs", "1"], environment)[0])
            seconds, peak = run(program, REGION + ["--jobs", "2"], environment, sample=True)
            region2.append(seconds)
            region2_peaks.append(peak)
    finally:
        server.kill()
        server.wait()

    def entry(name, seconds, **extra):
        return dict({"name": name, "run_type": "iteration", "real_time": seconds, "time_unit": "s"}, **extra)

    median = statistics.median
    result = {"benchmarks": [
        entry("SixteenSingleJobs", median(singles), runs_s=singles),
        entry("RegionJobs1", median(region1), runs_s=region1),
        entry("RegionJobs1Anchor", median(region1)),
        entry("RegionJobs2", median(region2), runs_s=region2),
        entry("RegionJobs2PeakRss", 0, peak_rss_MB=max(region2_peaks), anchor_peak_rss_MB=max(single_peaks)),
    ]}
    with open(output, "w") as file:
        json.dump(result, file)
    print("16 single jobs %.2f s, region --jobs 1 %.2f s, --jobs 2 %.2f s (medians of %d); "
          "peak memory (PSS): a single job %.1f MB, region --jobs 2 %.1f MB"
          % (median(singles), median(region1), median(region2), runs, max(single_peaks), max(region2_peaks)))


if __name__ == "__main__":
    main()
