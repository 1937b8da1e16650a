#!/usr/bin/env bash
# sitebln_inputs.sh: regenerates the four national map-line files that the site
# boundary-line tool sitebln reads, from real geography through extract.sh.
#
# Usage: tools/maplines/sitebln_inputs.sh [OUT_DIR] [REGION] [RES]
#   OUT_DIR  default resources/DATA/GIS/MAP of this repository
#   REGION   WEST/EAST/SOUTH/NORTH, default 118/136/28/43: every radar site's
#            1000 km x 1000 km box, neighbouring coasts included
#   RES      GSHHG resolution of the shorelines, default h (full resolution would make
#            fine_kr.dat five times larger); borders and rivers are always taken at
#            full resolution, which costs little
#
# Text format of each file: polylines, each a header line "COUNT TYPE" followed by COUNT
# lines "LON LAT" (degrees). Type codes:
#   govern_map.dat   border level: 1 national border, 3 maritime boundary
#   river_map.dat    GSHHG river level (sitebln draws every river as type 3)
#   highway_map.dat  1 expressway corridor (stand-in for roads; see README.md)
#   fine_kr.dat      1 sea shore, 2 lake shore, 3 fine detail: shores of islets and ponds
#                    smaller than ISLET_KM2 (10 km2), which sitebln leaves out
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
out_dir=${1:-$repo/resources/DATA/GIS/MAP}
region=${2:-118/136/28/43}
res=${3:-h}
ISLET_KM2=10

mkdir -p "$out_dir"
trap 'rm -f "$out_dir"/.*.tmp.$$' EXIT

# to_polylines TYPE_RULE: GMT multisegment text on stdin, polyline text on stdout.
# TYPE_RULE: "level" keeps the header's level, "coast" maps shore levels as above,
# a number forces that type.
to_polylines() {
    awk -v rule="$1" '
        function flush(   i) {
            if (n >= 2) {
                print n, type
                for (i = 0; i < n; i++) print pts[i]
            }
            n = 0
        }
        /^>/ {
            flush()
            if (rule == "level") type = $3
            else if (rule == "coast") type = ($4 == "small") ? 3 : ($3 == 1 ? 1 : 2)
            else type = rule
            next
        }
        { pts[n++] = sprintf("%.5f %.5f", $1, $2) }
        END { flush() }'
}

write() {  # write FILE LAYER RES TYPE_RULE [extract options...]
    local file=$1 layer=$2 layer_res=$3 rule=$4
    shift 4
    local tmp="$out_dir/.$file.tmp.$$"
    "$here/extract.sh" "$layer" "$region" "$layer_res" "$@" | to_polylines "$rule" >"$tmp"
    mv -f "$tmp" "$out_dir/$file"
    echo "$out_dir/$file: $(grep -c '^[0-9]* [0-9]*$' "$out_dir/$file") polylines"
}

write govern_map.dat border f level
write river_map.dat river f level
write highway_map.dat road "$res" 1
write fine_kr.dat coast "$res" coast -a "$ISLET_KM2"
