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
cp -a "$build/root" "$work/root"
"$tree" "$work/root" 202612071230

query="obs=HSR&map=HR&size=1000&tm=202612071230&gis=T&zoom_level=3&aws=6"
run_once() {
    QUERY_STRING=$query RDR_ROOT=$work/root TZ=UTC "$bin" >"$work/out" 2>/dev/null
}
run_once  # warm the page cache
head -c 15 "$work/out" | grep -q 'HTTP/1.0 200 OK' || { echo "precipview_bench: no answer" >&2; exit 1; }
pin=()
command -v taskset >/dev/null && pin=(taskset -c 0)
times=()
for _ in $(seq 1 "$runs"); do
    t0=$(date +%s%N)
    QUERY_STRING=$query RDR_ROOT=$work/root TZ=UTC "${pin[@]}" "$bin" >"$work/out" 2>/dev/null
    t1=$(date +%s%N)
    times+=($(((t1 - t0) / 1000)))
done
printf '%s\n' "${times[@]}" | sort -n | awk -v runs="$runs" -v bytes="$(stat -c %s "$work/out")" '
    { t[NR] = $1; sum += $1 }
    END { printf "precipview HR 1000 px, topography + stations (barbs, names) + HSR second pass: "
          printf "min %.1f ms, median %.1f ms, mean %.1f ms over %d runs (answer %d bytes)\n",
                 t[1] / 1000, t[int((NR + 1) / 2)] / 1000, sum / NR / 1000, runs, bytes }'
