#!/usr/bin/env bash
# rdr product.
#   rdr_product_test.sh RDR synthetic    grids of a synthetic volume: header and file agree,
#       PPI and CMAX cells equal an independent decode of the volume's UF words, plain and
#       gzip input give the same bytes, bad requests fail with a message and write nothing
#   rdr_product_test.sh RDR real DATA    the same value checks on the KLIX volume; exits 77
#       (skipped) when the sample folder is absent
set -uo pipefail
rdr=$1
mode=$2
data=${3:-}
reference=$(cd "$(dirname "$0")/../tests/fixtures" && pwd)/volume_reference.py
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; fi; }
# agrees GRID UF PRODUCT SWEEP MOMENT MIN_CELLS: cells equal the independent decode
agrees() {
    /usr/bin/python3 "$reference" "$@" || { echo "FAIL: $3 $5 of $(basename "$2") differs"; fail=1; }
}

if [ "$mode" = real ]; then
    if [ ! -d "$data" ]; then
        echo "sample data folder $data is absent"
        exit 77
    fi
    klix=$data/uf/KLIX20050828_180149_rsl.uf
    "$rdr" product "$klix" --product PPI --sweep 1 -o "$work/dz.f32" > /dev/null
    check "KLIX PPI runs" "[ $? -eq 0 ]"
    agrees "$work/dz.f32" "$klix" PPI 1 DZ 4000
    # Velocity has its own gates (250 m from -375 m) on the same rays.
    "$rdr" product "$klix.gz" --product PPI --field VR --sweep 0 --size 400 --grid-km 0.3 \
        -o "$work/vr.f32" > /dev/null
    agrees "$work/vr.f32" "$klix" PPI 0 VR 4000
    "$rdr" product "$klix.gz" --product CMAX --size 600 --grid-km 0.8 -o "$work/cmax.f32" > /dev/null
    agrees "$work/cmax.f32" "$klix" CMAX 0 DZ 4000
    # Without --field the first reflectivity moment is taken: the JMA file has CZ only.
    "$rdr" product "$(ls "$data"/cfradial/Z__C_RJTD_*.nc)" --product PPI --size 200 \
        -o "$work/jma.f32" > /dev/null
    check "JMA PPI without --field takes CZ" "grep -qx 'field CZ' $work/jma.f32.hdr"
    # RN: rain rate from the reflectivity grid, cell for cell (Z = 200 R^1.6).
    "$rdr" product "$klix.gz" --product CAPPI --size 300 -o "$work/dz.f32" > /dev/null
    "$rdr" product "$klix.gz" --product CAPPI --size 300 --field RN -o "$work/rn.f32" > /dev/null
    /usr/bin/python3 - "$work/dz.f32" "$work/rn.f32" <<'PY' || { echo "FAIL: RN is not Z = 200 R^1.6 of DZ"; fail=1; }
import sys
import numpy as np
dz = np.fromfile(sys.argv[1], "<f4")
rn = np.fromfile(sys.argv[2], "<f4")
codes = (dz == -9999) | (dz == -9998)
assert (rn[codes] == dz[codes]).all()
want = (10 ** (dz[~codes] / 10) / 200) ** (1 / 1.6)
assert (~codes).sum() > 1000 and np.allclose(rn[~codes], want, rtol=1e-4, atol=1e-6)
PY
    exit $fail
fi

"$rdr" synth-volume "$work/v.uf" || { echo "FAIL: synth-volume"; exit 1; }
gzip -c "$work/v.uf" > "$work/v.uf.gz"

for product in "PPI --sweep 2" "CAPPI --height 1.5" "CAPPI --height 3 --method real" \
    "BASE" "CMAX" "ETOP" "VIL" "PPI --field VR --size 301 --grid-km 0.5"; do
    name=${product%% *}
    # shellcheck disable=SC2086
    "$rdr" product "$work/v.uf" --product $product -o "$work/g.f32" > /dev/null 2> "$work/err"
    check "$product runs" "[ $? -eq 0 ]"
    /usr/bin/python3 - "$work/g.f32" "$name" <<'PY' || { echo "FAIL: $product grid"; fail=1; }
import sys
import numpy as np
path, name = sys.argv[1], sys.argv[2]
hdr = dict(line.split(None, 1) for line in open(path + ".hdr").read().splitlines()
           if line and not line.startswith(path.split("/")[-1] + ":"))
rows, cols = int(hdr["rows"]), int(hdr["columns"])
grid = np.fromfile(path, dtype="<f4")
assert grid.size == rows * cols, (grid.size, rows, cols)
assert hdr["product"].strip() == name
codes = (grid == -9999) | (grid == -9998)
values = grid[~codes]
assert values.size > 0, "no cell with data"
assert np.isfinite(values).all()
assert values.min() > -100 and values.max() < 200, (values.min(), values.max())
assert int(hdr["cells_with_data"]) == values.size
PY
done

# Cells by value, against the volume's own words.
"$rdr" product "$work/v.uf" --product PPI --sweep 2 --size 240 -o "$work/p.f32" > /dev/null 2>&1
agrees "$work/p.f32" "$work/v.uf" PPI 2 DZ 1000
"$rdr" product "$work/v.uf" --product PPI --field VR --sweep 0 --size 301 --grid-km 0.5 \
    -o "$work/p.f32" > /dev/null 2>&1
agrees "$work/p.f32" "$work/v.uf" PPI 0 VR 1000
"$rdr" product "$work/v.uf" --product CMAX --size 240 -o "$work/p.f32" > /dev/null 2>&1
agrees "$work/p.f32" "$work/v.uf" CMAX 0 DZ 1000

# Plain and gzip-compressed input give the same grid.
"$rdr" product "$work/v.uf" --product CMAX -o "$work/a.f32" > /dev/null 2>&1
"$rdr" product "$work/v.uf.gz" --product CMAX -o "$work/b.f32" > /dev/null 2>&1
check "plain and gzip agree" "cmp -s '$work/a.f32' '$work/b.f32'"

# Refusals: each with a message, none leaving an output behind.
rm -f "$work/x.f32"
for bad in "--product FOO" "--product PPI --field ZZ" "--product PPI --sweep 99" \
    "--product CAPPI --height abc" "--product PPI --size -5" "--product PPI"; do
    out="-o $work/x.f32"
    [ "$bad" = "--product PPI" ] && out=""  # no output named
    # shellcheck disable=SC2086
    "$rdr" product "$work/v.uf" $bad $out > /dev/null 2> "$work/err"
    status=$?
    check "'$bad' fails" "[ $status -ne 0 ]"
    check "'$bad' explains" "[ -s '$work/err' ]"
    check "'$bad' writes nothing" "[ ! -e '$work/x.f32' ]"
done
# Only the asked moment is read, yet a missing one is told with every moment the file has.
"$rdr" product "$work/v.uf" --product PPI --field KD -o "$work/x.f32" > /dev/null 2> "$work/err"
check "missing moment lists the file's moments" \
    "grep -q 'no moment KD (it has: DZ VR)' '$work/err'"
"$rdr" product "$work/missing.uf" --product PPI -o "$work/x.f32" > /dev/null 2>&1
check "missing volume fails" "[ $? -ne 0 ]"

# Repeated --product: one output per product, named as rdr image names them.
"$rdr" product "$work/v.uf" --product PPI --product CMAX --size 100 -o "$work/two.f32" > /dev/null
check "one output per --product" "[ -s $work/two_PPI.f32 ] && [ -s $work/two_CMAX.f32 ] && \
    grep -qx 'product CMAX' $work/two_CMAX.f32.hdr && [ ! -e $work/two.f32 ]"
exit $fail
