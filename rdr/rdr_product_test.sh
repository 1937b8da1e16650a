#!/usr/bin/env bash
# rdr product: the grid file and its header agree, values are physical or the two codes,
# the same volume plain and gzip-compressed gives the same bytes, and bad requests fail
# with a message and a non-zero status.
set -uo pipefail
rdr=$1
data=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; fi; }

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
"$rdr" product "$work/missing.uf" --product PPI -o "$work/x.f32" > /dev/null 2>&1
check "missing volume fails" "[ $? -ne 0 ]"

if [ -f "$data/uf/KLIX20050828_180149_rsl.uf" ]; then
    "$rdr" product "$data/uf/KLIX20050828_180149_rsl.uf" --product PPI --field VR \
        -o "$work/k1.f32" > /dev/null 2>&1
    "$rdr" product "$data/uf/KLIX20050828_180149_rsl.uf.gz" --product PPI --field VR \
        -o "$work/k2.f32" > /dev/null 2>&1
    check "KLIX plain and gzip agree" "cmp -s '$work/k1.f32' '$work/k2.f32'"
fi
exit $fail
