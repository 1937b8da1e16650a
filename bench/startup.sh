#!/usr/bin/env bash
# Start-up of every program: how many shared libraries one short piece of work loads (those
# a run opens later with dlopen included) and the whole process's wall and CPU time, medians
# of RUNS runs, against a C program that links nothing. CGI programs are run directly, as the
# web server starts them. startup.sh BUILD [RUNS] [DATA]
# BUILD is a Release build directory (make release: build/release); DATA holds the sample
# files (../shared/data beside the repository), for the UF row.
set -euo pipefail
build=$(cd "${1:?usage: startup.sh BUILD [RUNS] [DATA]}" && pwd)
runs=${2:-7}
data=${3:-$(dirname "$0")/../../shared/data}
rdr=$build/bin/rdr
for f in "$rdr" "$build/precipview/precipview" "$build/precipview/precipview_fixture_tree" \
    "$build/siteview/siteview" "$build/compview/compview" "$build/compview/compview_fixture_tree" \
    "$build/lgtview/lgtview" "$build/lgtview/lgtview_fixture_tree"; do
    [ -x "$f" ] || { echo "startup: $f is not built" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/startup-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export TZ=UTC

printf 'int main(void) { return 0; }\n' >"$work/floor.c"
cc -O2 -o "$work/floor" "$work/floor.c"
"$rdr" synth-volume "$work/synthetic.uf" >/dev/null

# Fixture trees for the CGI programs, as their benchmarks build them.
pv=$work/pv
for part in rdr/REF DATA/GIS usr/share/fonts/korean; do
    mkdir -p "$pv/$(dirname "$part")"
    cp -a "$build/root/$part" "$pv/$part"
done
"$build/precipview/precipview_fixture_tree" "$pv" 202612071230 >/dev/null
for tree in sv cv lv; do
    mkdir -p "$work/$tree"
    ln -s "$build/root/rdr" "$work/$tree/rdr"
    ln -s "$build/root/srv" "$work/$tree/srv"
done
tm=$("$rdr" info "$work/synthetic.uf" |
    sed -n 's/.*volume time \([0-9]*\)-\([0-9]*\)-\([0-9]*\) \([0-9]*\):\([0-9]*\).*/\1\2\3\4\5/p')
mkdir -p "$work/sv/DATA/RDR/SITE/KWK/${tm:0:6}/${tm:6:2}"
cp "$work/synthetic.uf" "$work/sv/DATA/RDR/SITE/KWK/${tm:0:6}/${tm:6:2}/RDR_KWK_$tm.uf"
"$build/compview/compview_fixture_tree" "$work/cv" >/dev/null
"$build/lgtview/lgtview_fixture_tree" "$work/lv" --day 20130715 --strikes 20000 >/dev/null

median() { sort -n | awk '{ t[NR] = $1 } END { printf "%.1f", t[int((NR + 1) / 2)] }'; }
# row NAME ENV... -- COMMAND...: libraries, wall and CPU medians of one piece of work.
row() {
    local name=$1
    shift
    local env=()
    while [ "$1" != -- ]; do
        env+=("$1")
        shift
    done
    shift
    env "${env[@]}" "$@" >/dev/null 2>&1 || true  # warm the page cache
    local libs
    libs=$(env "${env[@]}" LD_DEBUG=libs "$@" 2>&1 >/dev/null | grep -c 'calling init:' || true)
    : >"$work/wall"
    : >"$work/cpu"
    TIMEFORMAT='%3R %3U %3S'
    for _ in $(seq 1 "$runs"); do
        { time env "${env[@]}" "$@" >/dev/null 2>&1; } 2>"$work/t" || true
        awk '{ print $1 * 1000 >> "'"$work/wall"'"; print ($2 + $3) * 1000 >> "'"$work/cpu"'" }' \
            "$work/t"
    done
    printf '| %s | %s | %s ms | %s ms |\n' "$name" "$libs" "$(median <"$work/wall")" \
        "$(median <"$work/cpu")"
}

echo "| Work | Libraries loaded | Wall, median | CPU (user + sys), median |"
echo "|---|---|---|---|"
row "C program linking nothing" -- "$work/floor"
row "rdr --help" -- "$rdr" --help
if [ -f "$data/uf/mc3e_npol_20110427_114155.uf" ]; then
    row "rdr info, 1.6 MB NPOL UF" -- "$rdr" info "$data/uf/mc3e_npol_20110427_114155.uf"
fi
row "rdr image, synthetic UF, PPI" -- "$rdr" image "$work/synthetic.uf" --product PPI \
    -o "$work/ppi.png"
row "precipview HSR, HR 1000 px" QUERY_STRING="obs=HSR&map=HR&size=1000&tm=202612071230&gis=T&zoom_level=3&aws=6" \
    RDR_ROOT="$pv" -- "$build/precipview/precipview"
row "siteview CAPPI 1.5 km" QUERY_STRING="site=KWK&tm=$tm&product=CAPPI&height=1500" \
    RDR_ROOT="$work/sv" -- "$build/siteview/siteview"
row "compview comp480" QUERY_STRING="kind=comp480&tm=202607151530&map=1&legend=1" \
    RDR_ROOT="$work/cv" -- "$build/compview/compview"
row "lgtview last hour, 20,000-strike day" QUERY_STRING="product=LGTTIME&tm=201307152359&intv=10" \
    RDR_ROOT="$work/lv" -- "$build/lgtview/lgtview"
echo "$runs runs each; load average $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
