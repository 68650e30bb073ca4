#!/usr/bin/env python3
"""Times the headless job with an imagery texture, cached, against the
street-map job, at 1200 and 4800 texture rows, in live mode against the
loopback stand-ins of live_job_bench.py plus an imagery WMS stand-in, and
measures each job's peak resident memory. Every job runs once to fill the
cache before the run that is timed. Writes a benchmark result file that
bench_summary.py reads.

Usage: imagery_bench.py TERRAFETCH_BATCH OUTPUT_JSON
       imagery_bench.py --serve   (the stand-ins alone; prints the port)
"""
import json
import os
import shutil
import sys
import tempfile
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import live_job_bench  # noqa: E402

IMAGERY_CAPABILITIES = (
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<WMS_Capabilities version=\"1.3.0\" xmlns=\"http://www.opengis.net/wms\">"
    "<Service><Name>WMS</Name><Title>Imagery stand-in</Title><MaxWidth>4096</MaxWidth>"
    "<MaxHeight>4096</MaxHeight></Service><Capability><Request><GetMap>"
    "<Format>image/png</Format></GetMap></Request>"
    "<Layer><Title>Imagery</Title><CRS>EPSG:4326</CRS><Layer><Name>0</Name><Title>Orthoimagery</Title>"
    "</Layer></Layer></Capability></WMS_Capabilities>").encode()


def imagery_png(width, height):
    """Fields in stripes of greens and browns, as cheap to make as the map's PNG."""
    import struct
    import zlib
    colours = [b"\x4a\x6b\x2f", b"\x8a\x7a\x4a", b"\x3c\x5a\x28", b"\x9c\x8c\x5c"]
    row = b"".join(colours[(x // 37) % 4] for x in range(width))
    other = row[111:] + row[:111]
    raw = b"".join(b"\x00" + (row if (y // 53) % 2 == 0 else other) for y in range(height))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xffffffff)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 1)) + chunk(b"IEND", b""))


class Handler(live_job_bench.Handler):
    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if not url.path.startswith("/imagery/"):
            return super().do_GET()
        query = {k.upper(): v for k, v in urllib.parse.parse_qsl(url.query)}
        if query.get("REQUEST") == "GetCapabilities":
            return self.reply(IMAGERY_CAPABILITIES, "text/xml")
        return self.reply(imagery_png(int(query["WIDTH"]), int(query["HEIGHT"])), "image/png")


class StandIns(live_job_bench.StandIns):
    def __init__(self):
        super().__init__()
        self.RequestHandlerClass = Handler


def main():
    if sys.argv[1:] == ["--serve"]:
        return live_job_bench.serve(StandIns)
    program, output = os.path.abspath(sys.argv[1]), sys.argv[2]
    server, base = live_job_bench.start_stand_ins(__file__)
    cache = tempfile.mkdtemp(prefix="terrafetch-imagery-cache-")
    _, live = live_job_bench.environments(base, cache)
    live["TERRAFETCH_IMAGERY_URL"] = base + "/imagery/WmsServer"
    jobs = {"map": [], "imagery1200": ["--texture", "imagery"],
            "imagery4800": ["--texture", "imagery", "--texture-height", "4800"]}
    measured = {}
    try:
        for name, arguments in jobs.items():
            live_job_bench.run(program, live, arguments)  # fills the cache
            measured[name] = live_job_bench.run(program, live, arguments)
    finally:
        server.stdin.close()
        server.wait()
        shutil.rmtree(cache, ignore_errors=True)
    anchor = measured["map"]

    def entry(name, measure):
        return dict(name=name, run_type="iteration", real_time=measure[0], time_unit="s", peak_rss_MB=measure[1],
                    anchor_peak_rss_MB=anchor[1])
    result = {"benchmarks": [entry("CachedMapJob", anchor)]}
    for rows in (1200, 4800):
        measure = measured["imagery%d" % rows]
        result["benchmarks"] += [entry("CachedImageryJob/rows:%d" % rows, measure),
                                 entry("CachedImageryJobPeakRss/rows:%d" % rows, measure)]
    with open(output, "w") as file:
        json.dump(result, file)
    for name, (seconds, peak) in measured.items():
        print("cached %-12s %.2f s (%.2f x the map job), peak RSS %.1f MB (%.2f x)"
              % (name + ":", seconds, seconds / anchor[0], peak, peak / anchor[1]))


if __name__ == "__main__":
    main()
