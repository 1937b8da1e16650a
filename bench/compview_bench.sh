#!/usr/bin/env bash
# Whole-process time of one compview request for the 480 km composite (the whole-country
# window, 480 x 600 pixels, interpolated, with map lines and legend), as a client of the web
# server sees it: lighttpd on loopback starts the CGI program, which reads the composite
# file, makes the image grid, draws and sends the image. The composite comes from the test
# fixture writer. Requests run one after another: compview_bench.sh BUILD [RUNS]
set -euo pipefail
build=$(cd "${1:?usage: compview_bench.sh BUILD [RUNS]}" && pwd)
runs=${2:-30}
. "$(dirname "$0")/../tests/fixtures/cgi_server.sh"
for f in "$build/compview/compview" "$build/compview/compview_fixture_tree"; do
    [ -x "$f" ] || { echo "compview_bench: $f is missing" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/compview-bench.XXXXXX")
trap 'cgi_server_stop; rm -rf "$work"' EXIT INT TERM
root=$work/root
mkdir -p "$root"
ln -s "$build/root/rdr" "$root/rdr"
ln -s "$build/root/srv" "$root/srv"
"$build/compview/compview_fixture_tree" "$root"
cgi_server_start "$work" "$root" "$build/compview/compview" compview

url="${CGI_SERVER_URL}kind=comp480&tm=202607151530&map=1&legend=1"
curl -s -o "$work/answer" "$url"  # warm the page cache
head -c 8 "$work/answer" | cmp -s - <(printf '\x89PNG\r\n\x1a\n') ||
    { echo "compview_bench: no image" >&2; exit 1; }
: >"$work/times"
for _ in $(seq 1 "$runs"); do
    curl -s -o /dev/null -w '%{time_total}\n' "$url" >>"$work/times"
done
sort -n "$work/times" | awk -v runs="$runs" -v bytes="$(stat -c %s "$work/answer")" '
    { t[NR] = $1 * 1000; sum += $1 * 1000 }
    END { printf "compview comp480, whole country, map lines and legend, under lighttpd, %d runs, answer %d bytes\n", runs, bytes
          printf "  wall: min %.0f ms, median %.0f ms, p90 %.0f ms, mean %.0f ms\n", t[1], t[int((NR + 1) / 2)], t[int(NR * 0.9)], sum / NR }'
echo "  load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
