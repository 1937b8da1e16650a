#!/usr/bin/env bash
# Whole-process time of one precipview request on the largest map window (HR, 1152 x 1440
# km) at 1000 pixels, with topography, map lines, the station overlay with wind barbs and
# names, and the second pass of a rain product: precipview_bench.sh BUILD [RUNS]
# BUILD is a Release build directory (make release: build/release).
set -euo pipefail
build=${1:?usage: precipview_bench.sh BUILD [RUNS]}
runs=${2:-30}
bin=$build/precipview/precipview
tree=$build/precipview/precipview_fixture_tree
for f in "$bin" "$tree"; do
    [ -x "$f" ] || { echo "precipview_bench: $f is not built" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/precipview-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
for part in rdr/REF DATA/GIS usr/share/fonts/korean; do
    mkdir -p "$work/root/$(dirname "$part")"
    cp -a "$build/root/$part" "$work/root/$part"
done
"$tree" "$work/root" 202612071230

query="obs=HSR&map=HR&size=1000&tm=202612071230&gis=T&zoom_level=3&aws=6"
run_once() {
    QUERY_STRING=$query RDR_ROOT=$work/root TZ=UTC "$bin" >"$work/out" 2>/dev/null
}
run_once  # warm the page cache
head -c 15 "$work/out" | grep -q 'HTTP/1.0 200 OK' || { echo "precipview_bench: no answer" >&2; exit 1; }
pin=()
command -v taskset >/dev/null && pin=(taskset -c 0)
# Wall time and the CPU time of the process (user + system): on a busy machine the wall time
# also counts the waits for a core.
TIMEFORMAT='%3R %3U %3S'
: >"$work/times"
for _ in $(seq 1 "$runs"); do
    { time QUERY_STRING=$query RDR_ROOT=$work/root TZ=UTC "${pin[@]}" "$bin" >"$work/out" 2>/dev/null; } \
        2>>"$work/times"
done
sort -n "$work/times" | awk -v runs="$runs" -v bytes="$(stat -c %s "$work/out")" '
    { wall[NR] = $1 * 1000; sum += $1 * 1000 }
    END { printf "precipview HR 1000 px, topography + stations (barbs, names) + HSR second pass, "
          printf "%d runs, answer %d bytes\n", runs, bytes
          printf "  wall: min %.0f ms, median %.0f ms, mean %.0f ms\n", wall[1], wall[int((NR + 1) / 2)], sum / NR }'
awk '{ print ($2 + $3) * 1000 }' "$work/times" | sort -n | awk '
    { cpu[NR] = $1; sum += $1 }
    END { printf "  cpu (user + sys): min %.0f ms, median %.0f ms, mean %.0f ms\n", cpu[1], cpu[int((NR + 1) / 2)], sum / NR }'
echo "  load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
