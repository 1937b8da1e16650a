#!/usr/bin/env bash
# Whole-process time of one siteview CAPPI request (1.5 km, 240 km window) on the synthetic
# demo volume, as a client of the web server sees it: lighttpd on loopback starts the CGI
# program, which reads the volume, makes the interpolated CAPPI and draws and sends the
# image. Requests run one after another: siteview_bench.sh BUILD [RUNS]
set -euo pipefail
build=$(cd "${1:?usage: siteview_bench.sh BUILD [RUNS]}" && pwd)
runs=${2:-30}
. "$(dirname "$0")/../tools/siteview_server.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/siteview-bench.XXXXXX")
trap 'siteview_server_stop; rm -rf "$work"' EXIT INT TERM
siteview_server_start "$build" "$work"

url="${SITEVIEW_URL}site=KWK&tm=$SITEVIEW_TM&product=CAPPI&height=1500"
curl -s -o "$work/answer" "$url"  # warm the page cache
head -c 8 "$work/answer" | cmp -s - <(printf '\x89PNG\r\n\x1a\n') ||
    { echo "siteview_bench: no image" >&2; exit 1; }
: >"$work/times"
for _ in $(seq 1 "$runs"); do
    curl -s -o /dev/null -w '%{time_total}\n' "$url" >>"$work/times"
done
sort -n "$work/times" | awk -v runs="$runs" -v bytes="$(stat -c %s "$work/answer")" '
    { t[NR] = $1 * 1000; sum += $1 * 1000 }
    END { printf "siteview CAPPI 1.5 km, 240 km window, under lighttpd, %d runs, answer %d bytes\n", runs, bytes
          printf "  wall: min %.0f ms, median %.0f ms, p90 %.0f ms, mean %.0f ms\n", t[1], t[int((NR + 1) / 2)], t[int(NR * 0.9)], sum / NR }'
echo "  load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
