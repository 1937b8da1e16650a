#!/usr/bin/env bash
# The display library's site engine and the radar core make the PPI of the same real
# volume (KLIX, 14 sweeps) independently; each side writes its grid as raw floats from its
# own program (the two libraries never link into one). A cell agrees when both sides give
# the same value; the share counts the cells that either side fills. The lowest sweep's PPI
# (reflectivity and velocity) and the whole volume must agree at 99 %, every other sweep at
# 98 %: a sweep whose rays lie symmetric about a cell column (KLIX sweep 4 about due south)
# loses that whole radial to the tie rule below, about 1 % of its few cells.
#   klix_agreement.sh SITE_GRID_DUMP RDR KLIX_UF
#
# Where they differ, by design of each engine (see siteview/README.md):
# - ray choice at ties: the site engine measures a cell's azimuth in double precision, the
#   core in single precision from a table of quadrant angles; a cell almost exactly
#   between two rays can go to either;
# - bin rounding: the site engine takes the bin as trunc((range m - first bin m) / gate m)
#   in double precision from whole metres, the core in single precision from kilometres,
#   so a cell whose range lies within single-precision rounding of a gate boundary can
#   fall into the neighbouring bin;
# - the ray acceptance: the site engine takes the nearest ray within the volume's beam
#   width (0.95 degrees for KLIX), the core within 1 degree.
set -euo pipefail
dump=$1 rdr=$2 klix=$3
if [ ! -f "$klix" ]; then
    echo "SKIP: sample volume $klix is absent"
    exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/klix-agreement.XXXXXX")
trap 'rm -rf "$work"' EXIT

# field cells cell_km sweeps: reflectivity on 1000 m gates, velocity on 250 m gates.
cases=("DZ 480 1 0 1 2 3 4 5 6 7 8 9 10 11 12 13" "VR 480 0.25 0 1 3 5")
for c in "${cases[@]}"; do
    read -r field cells km sweeps <<<"$c"
    range=$(/usr/bin/python3 -c "print($cells * $km / 2)")
    for s in $sweeps; do
        "$dump" "$klix" "$field" "$s" "$cells" "$range" "$work/site_${field}_$s.f32" >/dev/null
        "$rdr" product "$klix" --product PPI --field "$field" --sweep "$s" --size "$cells" \
            --grid-km "$km" -o "$work/core_${field}_$s.f32" >/dev/null
        echo "$field $s $cells" >>"$work/list"
    done
done

/usr/bin/python3 - "$work" <<'PY'
import sys
import numpy as np

work = sys.argv[1]
failed = 0
total = {}
first = {}
print("field sweep  cells-with-data  agreeing   share")
for line in open(f"{work}/list"):
    field, sweep, cells = line.split()
    n = int(cells)
    site = np.fromfile(f"{work}/site_{field}_{sweep}.f32", dtype=np.float32)
    core = np.fromfile(f"{work}/core_{field}_{sweep}.f32", dtype="<f4")
    if site.size != n * n or core.size != n * n:
        print(f"{field} {sweep}: grid sizes {site.size} and {core.size}, expected {n * n}")
        failed += 1
        continue
    has = lambda g: (g != -9999.0) & (g != -9998.0)
    either = has(site) | has(core)
    agree = has(site) & has(core) & (np.abs(site - core) < 1e-3)
    share = agree.sum() / max(1, either.sum())
    t = total.setdefault(field, [0, 0])
    t[0] += int(agree.sum())
    t[1] += int(either.sum())
    lowest = field not in first
    first.setdefault(field, sweep)
    ok = share >= (0.99 if lowest else 0.98) and either.sum() > 500
    print(f"{field:5} {sweep:>5} {either.sum():>16} {agree.sum():>9} {share:8.4%}{'' if ok else '  FAIL'}")
    failed += not ok
for field, (agreeing, cells) in total.items():
    share = agreeing / max(1, cells)
    ok = share >= 0.99
    print(f"{field:5} {'all':>5} {cells:>16} {agreeing:>9} {share:8.4%}{'' if ok else '  FAIL'}")
    failed += not ok
sys.exit(1 if failed else 0)
PY
