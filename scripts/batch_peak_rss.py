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
    """Peak RSS of one run, in MB; each run is measured in a child of its own
    so that one run's peak does not hide the next one's."""
    with tempfile.TemporaryDirectory(prefix="terrafetch-rss-") as folder:
        script = ("import resource, subprocess, sys\n"
                  "code = subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode\n"
                  "print(code, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n")
        answer = subprocess.run([sys.executable, "-c", script, program] + ARGUMENTS, cwd=folder,
                                capture_output=True, text=True, check=True).stdout.split()
    if answer[0] != "0":
        sys.exit("terrafetch-batch failed with exit code " + answer[0])
    return int(answer[1]) / 1024.0


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
