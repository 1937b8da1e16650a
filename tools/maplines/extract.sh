#!/usr/bin/env bash
# extract.sh: map lines from real geography as GMT multisegment text.
#
# Usage:
#   tools/maplines/extract.sh LAYER WEST/EAST/SOUTH/NORTH [RES] [-a AREA_KM2] [-o FILE]
#
#   LAYER  coast   GSHHG shorelines: sea coast, lakes, islands in lakes, ponds
#          border  national borders (GSHHG/WDBII level 1) and maritime boundaries (level 3)
#          river   GSHHG/WDBII permanent and intermittent rivers and canals
#          road    expressway corridors (see below: GSHHG has no roads)
#   REGION lon/lat box in degrees, e.g. 120/135/30/44
#   RES    GSHHG resolution: f (full), h (high, default), i, l, c
#   -a     coast only: flag shoreline pieces of features smaller than AREA km2 as "small"
#          (islets; useful as a fine-detail class). Default 0: nothing is flagged.
#   -o     write to FILE (through a temporary file and rename) instead of standard output
#
# Output (GMT multisegment ASCII), one polyline per segment:
#   > LAYER LEVEL [small]
#   lon lat
#   lon lat
#   ...
# LEVEL is the GSHHG level of the piece: coast 1 sea shore, 2 lake, 3 island in a lake,
# 4 pond; border 1 national, 2 state/province, 3 maritime; river 1-4 permanent rivers,
# 5-6 intermittent, 7-10 canals; road 1 expressway. Longitudes are east-positive degrees.
#
# GSHHG stores its lines in bins of a few degrees and gmt dumps whole bin pieces, so lines
# may run up to one bin past the region: converters clip to their own grid. Long shores
# are cut at bin edges into several segments that meet end to end.
#
# Roads: neither GSHHG nor the DCW tables that ship with gmt hold roads. The "road" layer
# stands in with the national expressway corridors, drawn as polylines through the cities
# and junctions each expressway joins (tools/maplines/expressways.txt, hand-made from
# public city coordinates, accurate to a few km). Segments are kept when any point lies in
# the region.
#
# Needs the Debian packages gmt, gmt-gshhg-high (and gmt-gshhg-full for RES f), gmt-dcw.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

usage() {
    sed -n '3,12p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2
    exit 2
}

[ $# -ge 2 ] || usage
layer=$1
region=$2
shift 2
res=h
if [ $# -gt 0 ] && [[ $1 != -* ]]; then
    res=$1
    shift
fi
area=0
out=
while [ $# -gt 0 ]; do
    case $1 in
        -a) area=${2:?}; shift 2 ;;
        -o) out=${2:?}; shift 2 ;;
        *) usage ;;
    esac
done

[[ $region =~ ^-?[0-9.]+/-?[0-9.]+/-?[0-9.]+/-?[0-9.]+$ ]] || {
    echo "extract.sh: region must be WEST/EAST/SOUTH/NORTH, got '$region'" >&2
    exit 2
}
[[ $res =~ ^[fhilc]$ ]] || { echo "extract.sh: resolution must be f, h, i, l or c" >&2; exit 2; }
[[ $area =~ ^[0-9.]+$ ]] || { echo "extract.sh: area must be a number of km2" >&2; exit 2; }
command -v gmt >/dev/null || { echo "extract.sh: gmt is not installed (apt-get install gmt)" >&2; exit 1; }

# gmt prints "> Shore Bin # 4562, Level 1"; keep the layer name and the level.
normalise() {  # normalise LAYER
    awk -v layer="$1" '
        /^>/ { lvl = 1; if (match($0, /Level [0-9]+/)) lvl = substr($0, RSTART + 6, RLENGTH - 6)
               hdr = "> " layer " " lvl; next }
        NF >= 2 { if (hdr != "") { print hdr; hdr = "" }  # gmt also dumps empty pieces
                  print $1, $2 }'
}

emit() {
    case $layer in
        coast)
            if [ "$area" = 0 ]; then
                gmt coast -R"$region" -D"$res" -A0 -W -M | normalise coast
            else
                # A piece kept at -A0 but dropped at -A<area> belongs to a small feature.
                # Pieces are identified by their point count and first point.
                local tmp_all tmp_big
                tmp_all=$(mktemp) tmp_big=$(mktemp)
                gmt coast -R"$region" -D"$res" -A0 -W -M | normalise coast >"$tmp_all"
                gmt coast -R"$region" -D"$res" -A"$area" -W -M | normalise coast >"$tmp_big"
                awk -v big="$tmp_big" '
                    function remember() { if (n) key[first "|" n] = 1 }
                    function out(   i) {
                        print hdr (((pts[0] "|" n) in key) ? "" : " small")
                        for (i = 0; i < n; i++) print pts[i]
                    }
                    FILENAME == big { if (/^>/) { remember(); n = 0 }
                                      else if (n++ == 0) first = $0
                                      next }
                    !started { remember(); n = 0; started = 1 }
                    /^>/ { if (n) out(); hdr = $0; n = 0; next }
                    { pts[n++] = $0 }
                    END { if (!started) remember(); else if (n) out() }' "$tmp_big" "$tmp_all"
                rm -f "$tmp_all" "$tmp_big"
            fi
            ;;
        border)
            gmt coast -R"$region" -D"$res" -N1 -N3 -M | normalise border
            ;;
        river)
            gmt coast -R"$region" -D"$res" -Ia -M | normalise river
            ;;
        road)
            IFS=/ read -r w e s n <<<"$region"
            awk -v w="$w" -v e="$e" -v s="$s" -v n="$n" '
                function out(   i) { if (k > 1 && hit) { print "> road 1"
                                     for (i = 0; i < k; i++) print pts[i] } }
                /^#/ || NF == 0 { next }
                /^>/ { out(); k = 0; hit = 0; next }
                { pts[k++] = $1 " " $2
                  if ($1 >= w && $1 <= e && $2 >= s && $2 <= n) hit = 1 }
                END { out() }' "$here/expressways.txt"
            ;;
        *)
            usage
            ;;
    esac
}

if [ -n "$out" ]; then
    tmp="$out.tmp.$$"
    trap 'rm -f "$tmp"' EXIT
    emit >"$tmp"
    mv -f "$tmp" "$out"
    trap - EXIT
else
    emit
fi
