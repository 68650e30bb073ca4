#!/usr/bin/env python3
"""Times the headless job in live mode against loopback stand-ins of the
public sources and measures its peak resident memory: once with an empty
cache (cold), once again with the cache it filled (cached), beside the
bundled job on the same quad. Writes a benchmark result file that
bench_summary.py reads.

The stand-ins answer in the sources' formats: a tile bucket serving one
gzipped 3601 x 3601 height file, and two WMS services that read their
capabilities with numeric layer names (as the public ones do) and draw a
few roads into every GetMap as a PNG.

The stand-ins run in a process of their own: a child forked from a parent
that holds their big answers would count that parent's pages in its peak.

Usage: live_job_bench.py TERRAFETCH_BATCH OUTPUT_JSON
       live_job_bench.py --serve   (the stand-ins alone; prints the port)
"""
import gzip
import http.server
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import urllib.request
import zlib

ARGUMENTS = ["--west", "-99", "--north", "40"]

# Titles the street map asks for, with the scale limits the public services
# list, each under a number as its name; the two services number them
# differently.
TITLES = {"States": 559081145.864044, "Counties": 11339285.714286,
          "Incorporated Places": 1322916.666667, "Census Designated Places": 1322916.666667,
          "Federal American Indian Reservations": 20788690.476190,
          "Incorporated Places Labels": 307105.654762, "Primary Roads": 1322916.666667,
          "Secondary Roads": 614211.309524, "Local Roads": 85044.642857, "Railroads": 39687.5,
          "Linear Hydrography": 307105.654762, "Areal Hydrography": 37797619.047619,
          "National Park Service Areas": 5669642.857143, "Military Installations": 2362351.190476}


def height_tile():
    """A smooth synthetic height file of 3601 x 3601 big-endian posts."""
    rows = []
    for y in range(3601):
        base = 400 + (y * 7) % 300
        rows.append(struct.pack(">3601h", *((base + (x * 3) % 200) for x in range(3601))))
    return b"".join(rows)


def capabilities(offset):
    layers = "".join(
        "<Layer queryable=\"1\"><Name>%d</Name><Title>%s</Title>"
        "<MaxScaleDenominator>%f</MaxScaleDenominator></Layer>" % (offset + i, title, scale)
        for i, (title, scale) in enumerate(TITLES.items()))
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
            "<WMS_Capabilities version=\"1.3.0\" xmlns=\"http://www.opengis.net/wms\">"
            "<Service><Name>WMS</Name><Title>Stand-in</Title><MaxWidth>4096</MaxWidth>"
            "<MaxHeight>4096</MaxHeight></Service><Capability><Request><GetMap>"
            "<Format>image/png</Format><Format>image/gif</Format></GetMap></Request>"
            "<Layer><Title>Stand-in</Title><CRS>EPSG:4326</CRS>%s</Layer></Capability>"
            "</WMS_Capabilities>" % layers).encode()


def png(width, height):
    """White with a dark line every 97 rows and columns."""
    white = b"\x00" + b"\xff" * (width * 3)
    line = b"\x00" + b"\x40\x40\x40" * width
    column = bytearray(white)
    for x in range(0, width, 97):
        column[1 + x * 3:4 + x * 3] = b"\x40\x40\x40"
    column = bytes(column)
    raw = b"".join(line if y % 97 == 0 else column for y in range(height))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xffffffff)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 1)) + chunk(b"IEND", b""))


class StandIns(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self):
        super().__init__(("127.0.0.1", 0), Handler)
        self.tile = gzip.compress(height_tile(), 6)
        self.getmaps = 0
        self.lock = threading.Lock()


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def reply(self, body, kind):
        self.send_response(200)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = {k.upper(): v for k, v in urllib.parse.parse_qsl(url.query)}
        if url.path == "/skadi/N39/N39W099.hgt.gz":
            return self.reply(self.server.tile, "application/octet-stream")
        if url.path.endswith("/WmsServer") and query.get("REQUEST") == "GetCapabilities":
            return self.reply(capabilities(100 if "boundaries" in url.path else 0), "text/xml")
        if url.path == "/getmaps":
            return self.reply(str(self.server.getmaps).encode(), "text/plain")
        if url.path.endswith("/WmsServer") and query.get("REQUEST") == "GetMap":
            with self.server.lock:
                self.server.getmaps += 1
            return self.reply(png(int(query["WIDTH"]), int(query["HEIGHT"])), "image/png")
        self.send_error(404)


def run(program, environment, arguments=()):
    """Wall time and peak RSS (MB) of one job in a fresh folder."""
    with tempfile.TemporaryDirectory(prefix="terrafetch-live-") as folder:
        started = time.monotonic()
        child = subprocess.Popen([program] + ARGUMENTS + list(arguments), cwd=folder, env=environment,
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        output = child.stdout.read()
        _, status, usage = os.wait4(child.pid, 0)
        seconds = time.monotonic() - started
    if os.waitstatus_to_exitcode(status) != 0:
        sys.stdout.write(output.decode(errors="replace")[-3000:])
        sys.exit("terrafetch-batch failed in live mode: %s" % " ".join(ARGUMENTS + list(arguments)))
    return seconds, usage.ru_maxrss / 1024.0


def serve(stand_ins=None):
    server = (stand_ins or StandIns)()
    print(server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdin.read()  # until the parent closes the pipe


def getmaps(base):
    with urllib.request.urlopen(base + "/getmaps") as answer:
        return int(answer.read())


def start_stand_ins(script):
    """The stand-ins of `script` (run with --serve) in a process of their
    own, and their base URL."""
    server = subprocess.Popen([sys.executable, os.path.abspath(script), "--serve"],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    return server, "http://127.0.0.1:%d" % int(server.stdout.readline())


def environments(base, cache):
    """The environment of a bundled job, and of a live job whose sources are
    the stand-ins at `base`, caching in `cache`."""
    plain = {k: v for k, v in os.environ.items()
             if not k.startswith("TERRAFETCH_") and k != "XDG_CACHE_HOME"}
    live = dict(plain, TERRAFETCH_SOURCES="live", XDG_CACHE_HOME=cache,
                TERRAFETCH_DEM_URL=base + "/skadi", TERRAFETCH_DEM2_URL="none",
                TERRAFETCH_WMS_URL=base + "/physical/WmsServer",
                TERRAFETCH_WMS_BOUNDARIES_URL=base + "/boundaries/WmsServer",
                TERRAFETCH_GEOCODER_URL=base + "/geocoder")
    return plain, live


def main():
    if sys.argv[1:] == ["--serve"]:
        return serve()
    program, output = os.path.abspath(sys.argv[1]), sys.argv[2]
    server, base = start_stand_ins(__file__)
    cache = tempfile.mkdtemp(prefix="terrafetch-live-cache-")
    plain, live = environments(base, cache)
    try:
        bundled = run(program, plain)
        cold = run(program, live)
        cold_getmaps = getmaps(base)
        cached = run(program, live)
        cached_getmaps = getmaps(base) - cold_getmaps
    finally:
        server.stdin.close()
        server.wait()
        shutil.rmtree(cache, ignore_errors=True)
    def entry(name, seconds, peak, **extra):
        return dict(name=name, run_type="iteration", real_time=seconds, time_unit="s", peak_rss_MB=peak, **extra)
    result = {"benchmarks": [
        entry("LiveJobColdPeakRss", cold[0], cold[1], getmaps=cold_getmaps),
        entry("LiveJobCached", cached[0], cached[1], getmaps=cached_getmaps),
        entry("LiveJobCachedPeakRss", cached[0], cached[1], anchor_peak_rss_MB=bundled[1]),
        entry("BundledJobBesideLive", bundled[0], bundled[1]),
    ]}
    with open(output, "w") as file:
        json.dump(result, file)
    print("live job, cold:   %.2f s, peak RSS %.1f MB, %d GetMaps" % (cold[0], cold[1], cold_getmaps))
    print("live job, cached: %.2f s, peak RSS %.1f MB, %d GetMaps"
          % (cached[0], cached[1], cached_getmaps))
    print("bundled job:      %.2f s, peak RSS %.1f MB" % bundled)


if __name__ == "__main__":
    main()
