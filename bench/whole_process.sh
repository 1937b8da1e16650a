#!/usr/bin/env bash
# Whole-process time of the radar programs on real files against what the machine needs
# at least for the same bytes, in one run: whole_process.sh BUILD [DATA_DIR] [RUNS]
# BUILD is a Release build directory (bin/rdr; precipview/ when it is built too), DATA_DIR
# the sample files (default ../shared/data beside the source tree). Every command runs RUNS
# times (7) after one warm-up, page cache warm; the median wall time is printed with its
# floor, the ratio and the target, and the median CPU time (user + system) of the process,
# which a busy machine inflates far less than the wall time. Peak memory is the largest
# resident set of one run; the decoded bins are counted from rdr info's listing (rays times
# each moment's largest bin count, so at most what the volume holds).
set -euo pipefail
build=$(cd "${1:?usage: whole_process.sh BUILD [DATA_DIR] [RUNS]}" && pwd)
data=${2:-$(cd "$(dirname "$0")/../.." && pwd)/shared/data}
runs=${3:-7}
rdr=$build/bin/rdr
plain=$data/uf/KLIX20050828_180149_rsl.uf
gz=$data/uf/KLIX20050828_180149_rsl.uf.gz
npol=$data/uf/mc3e_npol_20110427_114155.uf
for f in "$rdr" "$plain" "$gz" "$npol"; do
    [ -e "$f" ] || { echo "whole_process: $f is missing" >&2; exit 1; }
done
for t in zcat igzip cc; do
    command -v $t >/dev/null || { echo "whole_process: $t is not installed" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/whole-process.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The floor of a process start: a C program that links nothing (static when the C library's
# archive is there).
printf 'int main(void) { return 0; }\n' >"$work/nothing.c"
cc -O2 -static -o "$work/nothing" "$work/nothing.c" 2>/dev/null ||
    cc -O2 -o "$work/nothing" "$work/nothing.c"

# One precipitation-type request when the program and its fixture writer are built.
precip=()
if [ -x "$build/precipview/precipview" ] && [ -x "$build/precipview/precipview_fixture_tree" ]; then
    for part in rdr/REF DATA/GIS usr/share/fonts/korean; do
        mkdir -p "$work/root/$(dirname "$part")"
        cp -a "$build/root/$part" "$work/root/$part"
    done
    "$build/precipview/precipview_fixture_tree" "$work/root" 202612071230 >/dev/null
    precip=(env "QUERY_STRING=obs=HSR&map=HR&size=1000&tm=202612071230&gis=T&zoom_level=3&aws=6"
        "RDR_ROOT=$work/root" TZ=UTC "$build/precipview/precipview")
fi

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'),"\
    "$(free -g | awk '/Mem:/ {print $2}') GiB; load average $(cut -d' ' -f1-3 /proc/loadavg); runs $runs"

/usr/bin/python3 - "$runs" "$work" "$rdr" "$plain" "$gz" "$npol" "$work/nothing" "${precip[@]}" <<'PY'
import os, statistics, subprocess, sys, time

runs = int(sys.argv[1])
work, rdr, plain, gz, npol, nothing = sys.argv[2:8]
precip = sys.argv[8:]
out = os.path.join(work, "out")


def run(cmd):
    """Wall seconds, peak resident kilobytes and CPU seconds of one run, output to a file."""
    with open(out, "wb") as sink:
        t = time.perf_counter()
        p = subprocess.Popen(cmd, stdout=sink, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(p.pid, 0)
        wall = time.perf_counter() - t
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"whole_process: {' '.join(cmd)} failed")
    return wall, usage.ru_maxrss, usage.ru_utime + usage.ru_stime


cpu_of = {}


def median(cmd):
    """Median wall milliseconds and the largest resident set; the median CPU milliseconds
    (user + system, what a busy machine does not inflate) are kept in cpu_of."""
    run(cmd)  # warm-up
    walls, rss, cpus = [], [], []
    for _ in range(runs):
        w, r, c = run(cmd)
        walls.append(w * 1000)
        rss.append(r)
        cpus.append(c * 1000)
    cpu_of[tuple(cmd)] = statistics.median(cpus)
    return statistics.median(walls), max(rss)


def decoded_bin_mb():
    """Bins of every moment of the KLIX volume, 2 bytes each, from rdr info's listing."""
    text = subprocess.run([rdr, "info", plain], capture_output=True, text=True).stdout
    total, rays = 0, 0
    for line in text.splitlines():
        f = line.split()
        if f[:1] == ["sweep"] and "rays" in f:
            rays = int(f[f.index("rays") + 1])
        elif len(f) > 4 and f[1] == "scale" and f[3] == "bins":
            total += rays * int(f[4])
    return total * 2 / 1e6


prod = os.path.join(work, "grid.f32")
rows = []
floor = {}
floor["nothing"] = median([nothing])[0]
floor["cat"] = median(["cat", plain])[0]
floor["zcat"] = median(["zcat", gz])[0]
floor["igzip"] = median(["igzip", "-dc", gz])[0]

t, _ = median([rdr, "--help"])
rows.append(("rdr --help", (t, cpu_of[(rdr, "--help")]), f"C program linking nothing {floor['nothing']:.1f} ms",
             t / floor["nothing"], 10.0))
t, peak = median([rdr, "info", plain])
rows.append(("rdr info KLIX plain", (t, cpu_of[(rdr, "info", plain)]), f"cat {floor['cat']:.1f} ms", t / floor["cat"],
             3 * floor["cat"] + 10))
t, _ = median([rdr, "info", gz])
rows.append(("rdr info KLIX gzip", (t, cpu_of[(rdr, "info", gz)]),
             f"zcat {floor['zcat']:.1f} ms, igzip -dc {floor['igzip']:.1f} ms",
             t / floor["igzip"], 1.3 * floor["igzip"] + 10))
cmd = [rdr, "product", gz, "--product", "PPI", "--size", "1000", "-o", prod]
t, _ = median(cmd)
rows.append(("rdr product KLIX gzip PPI 1000x1000", (t, cpu_of[tuple(cmd)]), "-", None, 70.0))
cmd = [rdr, "product", gz, "--product", "CAPPI", "--height", "3", "--size", "1000", "-o", prod]
t, _ = median(cmd)
rows.append(("rdr product KLIX gzip CAPPI 3 km 1000x1000", (t, cpu_of[tuple(cmd)]), "-", None, 90.0))
t, _ = median([rdr, "info", npol])
rows.append(("rdr info NPOL 1.6 MB", (t, cpu_of[(rdr, "info", npol)]), "-", None, 20.0))
if precip:
    t, _ = median(precip)
    rows.append(("one precipitation-type request", (t, cpu_of[tuple(precip)]), "-", None, 60.0))

print(f"{'work':44} {'median':>9}  {'cpu':>9}  {'target':>9}  {'ratio':>6}  floor")
for name, (ms, cpu), fl, ratio, target in rows:
    verdict = "ok" if ms <= target else "MISSED"
    r = f"{ratio:6.1f}" if ratio else "     -"
    print(f"{name:44} {ms:7.1f} ms  {cpu:6.1f} ms  {target:6.1f} ms  {r}  {fl}  {verdict}")
bins = decoded_bin_mb()
target = bins + 15
print(f"{'peak memory, rdr info KLIX plain':44} {peak / 1024:7.1f} MB  {'':9}  {target:6.1f} MB"
      f"       -  decoded bins at most {bins:.1f} MB  {'ok' if peak / 1024 <= target else 'MISSED'}")
PY
