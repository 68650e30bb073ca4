#!/usr/bin/env python3
"""Runs the headless job on the default quad with hole filling a few times,
each in a fresh folder, and writes the largest peak resident memory it saw
as a benchmark result file that bench_summary.py reads.

Usage: batch_peak_rss.py TERRAFETCH_BATCH OUTPUT_JSON [RUNS]
"""
import json
import os
import subprocess
import sys
import tempfile

ARGUMENTS = ["--west", "-99", "--north", "40", "--substitute-z0"]


def peak_rss_mb(program):
    """Peak RSS of one run, in MB: wait4 reports that child's own usage, so
    one run's peak does not hide the next one's."""
    with tempfile.TemporaryDirectory(prefix="terrafetch-rss-") as folder:
        child = subprocess.Popen([program] + ARGUMENTS, cwd=folder,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(child.pid, 0)
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        sys.exit("terrafetch-batch failed with exit code %d" % code)
    return usage.ru_maxrss / 1024.0


def main():
    program, output = os.path.abspath(sys.argv[1]), sys.argv[2]
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    peaks = [peak_rss_mb(program) for _ in range(runs)]
    result = {"benchmarks": [{
        "name": "BatchDefaultJobPeakRss/runs:%d" % runs,
        "run_type": "iteration",
        "real_time": 0, "time_unit": "s",
        "peak_rss_MB": max(peaks),
        "peak_rss_runs_MB": peaks,
    }]}
    with open(output, "w") as file:
        json.dump(result, file)
    print("terrafetch-batch %s: peak RSS %s MB" % (" ".join(ARGUMENTS), ", ".join("%.1f" % p for p in peaks)))


if __name__ == "__main__":
    main()
