#!/usr/bin/env bash
# A day of 200,000 NX1 strike lines (10 % of them repeat an earlier identifier) along the
# demo squall line: the strike readers against `wc -l` on the same file, and one lgtview
# request for the whole day as a client of the web server sees it (lighttpd on loopback
# starts the program, which reads the day, draws and sends the map).
#   lgtview_bench.sh BUILD [RUNS]
set -euo pipefail
build=$(cd "${1:?usage: lgtview_bench.sh BUILD [RUNS]}" && pwd)
runs=${2:-15}
. "$(dirname "$0")/../tests/fixtures/cgi_server.sh"
for f in "$build/lgtview/lgtview" "$build/lgtview/lgtview_fixture_tree" \
    "$build/lgtview/lgtview_read_day"; do
    [ -x "$f" ] || { echo "lgtview_bench: $f is missing" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/lgtview-bench.XXXXXX")
trap 'cgi_server_stop; rm -rf "$work"' EXIT INT TERM
root=$work/root
mkdir -p "$root"
ln -s "$build/root/rdr" "$root/rdr"
ln -s "$build/root/srv" "$root/srv"
"$build/lgtview/lgtview_fixture_tree" "$root" --day 20130715 --strikes 200000 --dup-percent 10
file=$root/DATA/INPUT/LGT/2013/VYQ_LGT_NX1_20130715.asc

median() { sort -n | awk '{ t[NR] = $1 } END { printf "%.1f", t[int((NR + 1) / 2)] }'; }
cat "$file" >/dev/null  # in the page cache
# CPU time of whole processes (the machine may be shared): perf's task clock when perf is
# there, else /usr/bin/time (10 ms resolution).
cpu_ms() {  # cpu_ms COMMAND...: CPU milliseconds of one run
    if command -v perf >/dev/null; then
        perf stat -x, -e task-clock "$@" 2>&1 >/dev/null | awk -F, '/task-clock/ { print $1 }'
    else
        /usr/bin/time -f '%U %S' "$@" 2>&1 >/dev/null | awk '{ print ($1 + $2) * 1000 }'
    fi
}
: >"$work/wc"
for _ in $(seq 1 "$runs"); do
    cpu_ms wc -l "$file" >>"$work/wc"
done
echo "wc -l, $(stat -c %s "$file") bytes, $runs runs: CPU median $(median <"$work/wc") ms"
RDR_ROOT=$root "$build/lgtview/lgtview_read_day" 20130715 "$runs"
# The whole day, and the last hour of it (a page's usual request).
queries=("product=LGTTIME&tm=201307152359&intv=240" "product=LGTTIME&tm=201307152359&intv=10")
names=("the whole day (180,075 strikes)" "the last hour (7,509 lines)")
for q in 0 1; do
    : >"$work/cpu"
    for _ in $(seq 1 "$runs"); do
        QUERY_STRING=${queries[$q]} RDR_ROOT=$root TZ=UTC cpu_ms "$build/lgtview/lgtview" >>"$work/cpu"
    done
    echo "lgtview ${names[$q]}, whole process run directly: CPU median $(median <"$work/cpu") ms"
done

cgi_server_start "$work" "$root" "$build/lgtview/lgtview" lgtview
for q in 0 1; do
    url="${CGI_SERVER_URL}${queries[$q]}"
    curl -s -o "$work/answer" "$url"
    head -c 8 "$work/answer" | cmp -s - <(printf '\x89PNG\r\n\x1a\n') ||
        { echo "lgtview_bench: no image" >&2; exit 1; }
    : >"$work/times"
    for _ in $(seq 1 "$runs"); do
        curl -s -o /dev/null -w '%{time_total}\n' "$url" >>"$work/times"
    done
    sort -n "$work/times" | awk -v runs="$runs" -v bytes="$(stat -c %s "$work/answer")" -v what="${names[$q]}" '
        { t[NR] = $1 * 1000; sum += $1 * 1000 }
        END { printf "lgtview LGTTIME, %s, SK window, under lighttpd, %d runs, answer %d bytes\n", what, runs, bytes
              printf "  wall: min %.0f ms, median %.0f ms, p90 %.0f ms, mean %.0f ms\n", t[1], t[int((NR + 1) / 2)], t[int(NR * 0.9)], sum / NR }'
done
echo "  load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
