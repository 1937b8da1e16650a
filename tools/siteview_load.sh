#!/usr/bin/env bash
# Load test of siteview behind lighttpd on loopback: CLIENTS concurrent clients ask for
# site images of the synthetic demo volume (every product and both windows, round robin)
# for SECONDS, then stop by themselves. Every answer must be a whole PNG site image (status
# 200, image/png, PNG signature, the image size of its kind, an IEND chunk at the end).
# Prints requests per second and the latency percentiles; exits 1 on any failed or
# malformed answer.
#   tools/siteview_load.sh BUILD [SECONDS] [CLIENTS]     (BUILD: a Release build, e.g. build/release)
set -euo pipefail
build=$(cd "${1:?usage: tools/siteview_load.sh BUILD [SECONDS] [CLIENTS]}" && pwd)
seconds=${2:-30}
clients=${3:-4}
. "$(dirname "$0")/siteview_server.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/siteview-load.XXXXXX")
trap 'siteview_server_stop; rm -rf "$work"' EXIT INT TERM
siteview_server_start "$build" "$work"

echo "siteview load: $clients clients for ${seconds}s on $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
/usr/bin/python3 - "$SITEVIEW_URL" "$SITEVIEW_TM" "$seconds" "$clients" <<'PY'
import struct
import sys
import threading
import time
import urllib.request

url, tm, seconds, clients = sys.argv[1], sys.argv[2], float(sys.argv[3]), int(sys.argv[4])
site = f"site=KWK&tm={tm}"
queries = [f"{site}&product={p}&window={w}" for w in (240, 480)
           for p in ("PPI", "CAPPI", "CMAX", "BASE", "ETOP", "VIL")]
queries += [f"{site}&product=PPI&field=VR&stations=1",
            f"{site}&product=CROSS&lon1=126.55&lat1=37.10&lon2=127.70&lat2=37.95"]
sizes = {"CROSS": (770, 345)}

def malformed(query, status, ctype, body):
    if status != 200:
        return f"status {status}"
    if not ctype.startswith("image/png"):
        return f"content type {ctype}"
    if len(body) < 33 or body[:8] != b"\x89PNG\r\n\x1a\n" or body[12:16] != b"IHDR":
        return "no PNG"
    if body[-12:-4] != b"\x00\x00\x00\x00IEND":
        return "PNG cut short"
    w, h = struct.unpack(">II", body[16:24])
    want = sizes.get(query.split("product=")[1].split("&")[0], (558, 533))
    if (w, h) != want:
        return f"image {w}x{h}"
    return None

lock = threading.Lock()
latencies, failures = [], []
deadline = time.monotonic() + seconds

def client(k):
    i = k
    while time.monotonic() < deadline:
        query = queries[i % len(queries)]
        i += 1
        start = time.monotonic()
        try:
            with urllib.request.urlopen(url + query, timeout=60) as r:
                body = r.read()
                problem = malformed(query, r.status, r.headers.get("Content-Type", ""), body)
        except Exception as e:  # a refused connection or a timeout is a failure too
            problem = f"{type(e).__name__}: {e}"
        elapsed = time.monotonic() - start
        with lock:
            latencies.append(elapsed)
            if problem:
                failures.append(f"{query}: {problem}")

began = time.monotonic()
threads = [threading.Thread(target=client, args=(k,)) for k in range(clients)]
for t in threads:
    t.start()
for t in threads:
    t.join()
wall = time.monotonic() - began
latencies.sort()
pct = lambda p: latencies[min(len(latencies) - 1, int(p * len(latencies)))] * 1000
print(f"  {len(latencies)} requests in {wall:.1f} s: {len(latencies) / wall:.2f} req/s, "
      f"{len(failures)} failed or malformed")
print(f"  latency p50 {pct(0.50):.0f} ms, p90 {pct(0.90):.0f} ms, p99 {pct(0.99):.0f} ms, "
      f"max {latencies[-1] * 1000:.0f} ms")
for f in failures[:10]:
    print("  FAIL", f)
sys.exit(1 if failures else 0)
PY
