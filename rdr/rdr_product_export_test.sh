#!/usr/bin/env bash
# rdr product --format and --composite-grid.
#   rdr_product_export_test.sh RDR synthetic    packed grids and CSV archives of a synthetic
#       volume: unpacked sizes (zcat, unzip -p), CRLF headers, cells placed on the grids;
#       a hostile output name written as named and nothing run; a failed write keeps the old
#       file and leaves no temporary; ODIM and GRIB product files; refusals with a message
#   rdr_product_export_test.sh RDR real DATA    the KLIX volume: --format csv and --format
#       f32 agree value for value; exits 77 (skipped) when the sample folder is absent
set -uo pipefail
rdr=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
mode=$2
data=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; fi; }

# csv_agrees ARCHIVE ENTRY GRID.f32...: the entry's levels equal the float grids to 0.005
csv_agrees() {
    /usr/bin/python3 - "$@" <<'PY'
import sys, zipfile
import numpy as np
archive, entry, grids = sys.argv[1], sys.argv[2], sys.argv[3:]
text = zipfile.ZipFile(archive).read(entry).decode()
head, body = text.split("\r\n\r\n", 1)
keys = dict(line.split("=", 1) for line in head.split("\r\n"))
xdim, ydim = int(keys["xdim"]), int(keys["ydim"])
rows = [r for r in body.split("\r\n") if r]
values = np.array([[float(v) for v in r.split(",")] for r in rows])
assert values.shape == (ydim * len(grids), xdim), values.shape
for k, path in enumerate(grids):
    grid = np.fromfile(path, dtype="<f4").reshape(ydim, xdim)
    level = values[k * ydim:(k + 1) * ydim]
    worst = np.abs(level - grid).max()
    assert worst <= 0.005, (path, worst)
    assert ((grid > -9998) & (grid != -9999)).sum() > 1000, "too few cells with data"
PY
}

if [ "$mode" = real ]; then
    if [ ! -d "$data" ]; then
        echo "sample data folder $data is absent"
        exit 77
    fi
    klix=$data/uf/KLIX20050828_180149_rsl.uf
    cd "$work" || exit 1
    "$rdr" product "$klix" --product PPI --sweep 1 -o dz.f32 > /dev/null
    "$rdr" product "$klix" --product PPI --sweep 1 --format csv -o dz.zip > /dev/null
    check "KLIX PPI csv and f32 agree" "csv_agrees dz.zip dz_DZ_01.csv dz.f32"
    "$rdr" product "$klix" --product PPI --field VR --size 400 -o vr.f32 > /dev/null
    "$rdr" product "$klix" --product PPI --field VR --size 400 --format csv -o vr > /dev/null
    check "KLIX velocity csv and f32 agree" "csv_agrees vr.zip vr_VR_00.csv vr.f32"
    for h in 2 3; do
        "$rdr" product "$klix" --product CAPPI --height $h --size 500 -o c$h.f32 > /dev/null
    done
    "$rdr" product "$klix" --product CAPPI --height 2 --height 3 --size 500 --format csv \
        -o levels.zip > /dev/null
    check "KLIX CAPPI levels csv and f32 agree" "csv_agrees levels.zip levels c2.f32 c3.f32"
    exit $fail
fi

cd "$work" || exit 1
"$rdr" synth-volume v.uf > /dev/null || { echo "FAIL: synth-volume"; exit 1; }

# ---- packed grids: sizes, southern row first, cells placed ---------------------------
# size_of CMD...: bytes of the stream the command prints
size_of() { "$@" | wc -c; }
for kind in comp240:1152000 comp480:1514880 kcj:1653702; do
    name=${kind%%:*}
    "$rdr" product v.uf --product CMAX --composite-grid "$name" -o "$name.gz" > out.txt 2>&1
    check "$name is written" "[ \$? -eq 0 ] && grep -q '$name.gz: CMAX DZ' out.txt"
    check "$name unpacks to ${kind#*:} bytes" "[ \$(size_of zcat $name.gz) -eq ${kind#*:} ]"
done
"$rdr" product v.uf --product CAPPI --height 1 --height 2 --height 3 --composite-grid comp3d \
    -o three.gz > /dev/null
check "comp3d of three levels" "[ \$(size_of zcat three.gz) -eq \$((1152000 * 4)) ]"
"$rdr" product v.uf --product CAPPI --composite-grid comp3d -o ten.gz > /dev/null
check "comp3d of the default ten levels" "[ \$(size_of zcat ten.gz) -eq \$((1152000 * 11)) ]"
/usr/bin/python3 - <<'PY' || { echo "FAIL: packed cells"; fail=1; }
import gzip
import numpy as np
g240 = np.frombuffer(gzip.open("comp240.gz").read(), dtype=np.int8).reshape(1200, 960)
# The site covers a few hundred km of the national grid; the rest is outside (-128).
inside = g240 != -128
assert 50_000 < inside.sum() < 1_000_000, inside.sum()
assert (g240[inside] > -127).sum() > 1000
raw = gzip.open("comp480.gz").read()
values = np.frombuffer(raw[:576 * 526 * 4], dtype="<f4").reshape(576, 526)
mask = np.frombuffer(raw[576 * 526 * 4:], dtype=np.uint8).reshape(576, 526)
assert set(np.unique(mask)) == {0, 1}
assert (values[mask == 0] == -9998).all()
rain = values[(mask == 1) & (values > -9998)]
assert rain.size > 1000 and rain.max() < 1000 and rain.min() >= 0, (rain.min(), rain.max())
# The same cells north to south in both kinds of 1 km grid.
three = np.frombuffer(gzip.open("three.gz").read(), dtype=np.int8).reshape(4, 1200, 960)
assert ((three[3] == 0) == (three[0] == 0)).mean() > 0.9
PY

# ---- CSV archives ----------------------------------------------------------------------
"$rdr" product v.uf --product CMAX --composite-grid kcj --format csv -o kcj.zip > /dev/null
check "kcj csv holds one text named like the archive" "[ \"\$(unzip -Z1 kcj.zip)\" = kcj ]"
unzip -p kcj.zip > kcj.txt
crlf=$(head -8 kcj.txt | grep -c $'\r$')
check "kcj csv header lines end in CRLF" "[ $crlf -eq 8 ]"
check "kcj csv has 751 columns and 1101 rows" \
    "[ \"\$(sed -n '9p' kcj.txt | tr ',' '\n' | wc -l)\" -eq 751 ] && [ \$(wc -l < kcj.txt) -eq 1109 ]"
"$rdr" product v.uf --product PPI --sweep 2 --format csv -o site > /dev/null
check "site csv is named by field and sweep" "[ \"\$(unzip -Z1 site.zip)\" = site_DZ_02.csv ]"
first=$(unzip -p site.zip | head -1)
check "site csv starts with the product" "[ \"\$first\" = \$'product=PPI\\r' ]"

# ---- a name no shell could take ----------------------------------------------------------
mkdir hostile
name=$'a b \'c\' "d"; touch ran $(touch ran)\nx'
"$rdr" product v.uf --product CMAX --composite-grid comp240 -o "hostile/$name" > /dev/null
check "a hostile packed name is written" "[ -f \"hostile/\$name\" ]"
"$rdr" product v.uf --product CMAX --format csv -o "hostile/$name.zip" > /dev/null
check "a hostile archive name is written" "[ -f \"hostile/\$name.zip\" ]"
# (a name holding a newline spans two lines of ls)
check "nothing else is created" \
    "[ \$(find hostile -mindepth 1 -printf x | wc -c) -eq 2 ] && [ ! -e ran ] && [ ! -e hostile/ran ]"

# ---- failed writes -----------------------------------------------------------------------
mkdir keep
printf 'an older grid' > keep/grid.gz
bash -c 'trap "" XFSZ; ulimit -f 64; exec "$@"' - \
    "$rdr" product v.uf --product CAPPI --composite-grid comp3d -o keep/grid.gz > /dev/null 2> err
status=$?
check "a file-size limit fails the write" "[ $status -ne 0 ] && grep -q 'File too large' err"
check "the old grid stays, alone" \
    "[ \"\$(cat keep/grid.gz)\" = 'an older grid' ] && [ \$(ls -A keep | wc -l) -eq 1 ]"
"$rdr" product v.uf --product CMAX --format csv -o missing/x.zip > /dev/null 2> err
check "a missing folder fails" "[ \$? -ne 0 ] && grep -q 'No such file' err"

# ---- ODIM HDF5 product files: the site product and one on a composite grid ----------------
"$rdr" product v.uf --product CAPPI --height 1.5 --size 200 --format odim -o cappi.h5 > /dev/null
check "--format odim writes the site product" "[ \$? -eq 0 ] && [ -s cappi.h5 ]"
"$rdr" product v.uf --product CMAX --composite-grid comp240 --format odim -o comp.h5 > /dev/null
check "--format odim on a composite grid" "[ \$? -eq 0 ] && [ -s comp.h5 ]"
/usr/bin/python3 - cappi.h5 comp.h5 <<'PY' || { echo "FAIL: ODIM product layout"; fail=1; }
import sys
import h5py
def text(v):
    return v.decode() if isinstance(v, bytes) else str(v)
site, comp = h5py.File(sys.argv[1], "r"), h5py.File(sys.argv[2], "r")
assert text(site.attrs["Conventions"]).startswith("ODIM_H5")
assert text(site["what"].attrs["object"]) == "AZIM" and text(comp["what"].attrs["object"]) == "COMP"
assert text(site["dataset1/what"].attrs["product"]) == "PCAPPI"
assert abs(site["dataset1/what/prodpar"][()][0] - 1.5) < 1e-9
assert site["dataset1/data1/data"].shape == (200, 200)
assert comp["dataset1/data1/data"].shape == (1200, 960)
PY

"$rdr" product v.uf --product ETOP --threshold 20 --size 120 --format bufr -o etop.bfr > /dev/null
check "--format bufr writes one BUFR message" \
    "[ \$? -eq 0 ] && [ \"\$(head -c 4 etop.bfr)\" = BUFR ] && [ \"\$(tail -c 4 etop.bfr)\" = 7777 ]"

# ---- GRIB product files: ecCodes' tools read them with our definitions ------------------
"$rdr" product v.uf --product CAPPI --height 1.5 --size 200 --format grib -o cappi.grib2 > /dev/null
check "--format grib writes the site product" "[ \$? -eq 0 ] && [ -s cappi.grib2 ]"
"$rdr" product v.uf --product CMAX --composite-grid comp240 --format grib -o comp.grib2 > /dev/null
check "--format grib on a composite grid" "[ \$? -eq 0 ] && [ -s comp.grib2 ]"
export ECCODES_EXTRA_DEFINITION_PATH=$RDR_ROOT/rdr/www/cgi-src/resource/grib_api/definitions
check "the GRIB site product's keys" \
    "[ \"\$(grib_get -p rdr_product,rdr_quantity,rdr_xsize,Ny cappi.grib2)\" = 'CAPPI DZ 200 200' ]"
check "the GRIB site product's height and its second parameter" \
    "grib_dump -p rdr_prodpar cappi.grib2 | tr -d ' \\n' | grep -q 'rdr_prodpar(2)={1.5,0}'"
check "the GRIB composite's keys" \
    "[ \"\$(grib_get -p rdr_product,rdr_xsize,rdr_ysize,numberOfValues comp.grib2)\" = 'CMAX 960 1200 1152000' ]"
unset ECCODES_EXTRA_DEFINITION_PATH

# ---- refusals, each before the volume is read --------------------------------------------
for bad in "--product PPI --format xyz" \
    "--product PPI --composite-grid comp3d" "--product PPI --composite-grid comp999" \
    "--product CAPPI --height 1 --height 2" \
    "--product CAPPI --height 1 --height 3 --height 4 --format csv"; do
    # shellcheck disable=SC2086
    "$rdr" product v.uf $bad -o refused > /dev/null 2> err
    status=$?
    check "'$bad' is refused" "[ $status -eq 2 ] && [ -s err ] && [ ! -e refused ] && [ ! -e refused.zip ]"
done

"$rdr" product v.uf --product CMAX --composite-grid comp240 -o - > stdout.bin 2> err
check "a packed grid is not sent to standard output" "[ \$? -eq 2 ] && [ ! -s stdout.bin ] && [ -s err ]"

exit $fail
