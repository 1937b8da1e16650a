#!/usr/bin/env bash
# The two sides of the packed composite grids checked against each other: rdr product (the
# radar core) places the CAPPI of a synthetic volume on the 1 km and 3 km composite grids,
# compview (the display library) reads those files and answers point values, and the values
# at places around the radar must be those of the radar core's own site CAPPI there. Places
# are set out with Debian's invproj on an azimuthal projection about the radar; the site grid
# is read by its header. Skips (77) when rdr product cannot write composite grids.
#   packed_grid_agreement.sh RDR COMPVIEW STAGED_ROOT
set -euo pipefail
export LC_ALL=C TZ=UTC
rdr=$1 compview=$2 staged=$3
if ! "$rdr" product --help 2>&1 | grep -q -- '--composite-grid'; then
    echo "rdr product writes no composite grids: skipped"
    exit 77
fi
invproj=$(command -v invproj || true)
[ -x "$invproj" ] || { echo "FAIL: not installed: invproj (Debian package proj-bin)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/compview-packed.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
root=$work/root
mkdir -p "$root"
ln -s "$staged/rdr" "$root/rdr"
ln -s "$staged/srv" "$root/srv"

"$rdr" synth-volume "$work/v.uf" >/dev/null
info=$("$rdr" info "$work/v.uf")
tm=$(sed -n 's/.*volume time \([0-9]*\)-\([0-9]*\)-\([0-9]*\) \([0-9]*\):\([0-9]*\).*/\1\2\3\4\5/p' <<<"$info")
read -r lat lon < <(sed -n 's/.*position \([0-9.]*\) N \([0-9.]*\) E.*/\1 \2/p' <<<"$info")
dir=$root/DATA/RDR/COMP/${tm:0:6}/${tm:6:2}
mkdir -p "$dir"
cappi=(--product CAPPI --height 1.5)
"$rdr" product "$work/v.uf" "${cappi[@]}" --composite-grid comp240 \
    -o "$dir/RDR_CMP_CAPPI_NOQC_$tm.bin.gz" >/dev/null
"$rdr" product "$work/v.uf" "${cappi[@]}" --composite-grid comp480 \
    -o "$dir/RDR_CMP480_$tm.bin.gz" >/dev/null
"$rdr" product "$work/v.uf" "${cappi[@]}" -o "$work/site.f32" >/dev/null

# Places on rings of 30 to 150 km about the radar (clear of the near-range rings), every 15
# degrees.
for d in 30 50 70 90 110 130 150; do
    for az in $(seq 0 15 345); do
        awk -v d="$d" -v az="$az" 'BEGIN { r = az * 3.141592653589793 / 180
            printf "%.4f %.4f %d %d\n", d * sin(r), d * cos(r), d, az }'
    done
done >"$work/offsets"
cut -d' ' -f1,2 "$work/offsets" |
    "$invproj" -f '%.6f' +proj=aeqd +R=6371008.77 +lat_0="$lat" +lon_0="$lon" +units=km |
    paste -d' ' "$work/offsets" - >"$work/places"

# The site CAPPI's dBZ at each place, nearest cell by the header's geometry.
/usr/bin/python3 - "$work/site.f32" "$work/places" >"$work/site_values" <<'PY'
import struct, sys
grid, places = sys.argv[1], sys.argv[2]
hdr = dict(line.split(None, 1) for line in open(grid + ".hdr") if " " in line)
rows, cols = int(hdr["rows"]), int(hdr["columns"])
km = float(hdr["cell_km"])
r0, c0 = float(hdr["centre_row"]), float(hdr["centre_column"])
data = open(grid, "rb").read()
for line in open(places):
    x, y = map(float, line.split()[:2])
    r, c = int(round(r0 - y / km)), int(round(c0 + x / km))
    v = struct.unpack_from("<f", data, 4 * (r * cols + c))[0] if 0 <= r < rows and 0 <= c < cols else -9998.0
    print("%.3f" % v)
PY

# compview's answers: dBZ from the byte composite, and rain rate turned into dBZ from the
# float composite.
failures=0
for kind in comp240 comp480; do
    unit=$([ $kind = comp240 ] && echo DZ || echo CZ)
    tol=$([ $kind = comp240 ] && echo 2.5 || echo 4.5)
    compared=0 agreed=0
    while read -r x y d az plon plat site; do
        answer=$(QUERY_STRING="answer=point&kind=$kind&tm=$tm&unit=$unit&lon=$plon&lat=$plat" \
            RDR_ROOT=$root "$compview" 2>/dev/null | tr -d '\r' | sed -n 3p)
        # Places with echo of at least 15 dBZ on the site grid.
        if awk -v s="$site" 'BEGIN { exit !(s >= 15) }'; then
            compared=$((compared + 1))
            if awk -v a="$answer" -v s="$site" -v t="$tol" \
                'BEGIN { exit !(a ~ /^-?[0-9.]+$/ && a - s <= t && s - a <= t) }'; then
                agreed=$((agreed + 1))
            elif [ $((compared - agreed)) -le 5 ]; then
                echo "$kind: $d km at $az degrees: site $site dBZ, compview '$answer'" >&2
            fi
        fi
    done < <(paste -d' ' "$work/places" "$work/site_values")
    echo "$kind: $agreed of $compared places with echo agree within $tol dBZ"
    if [ "$compared" -lt 30 ] || [ $((agreed * 100)) -lt $((compared * 85)) ]; then
        echo "FAIL: $kind: the composite grid and the site grid disagree" >&2
        failures=$((failures + 1))
    fi
done
exit $((failures != 0))
