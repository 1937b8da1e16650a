#!/usr/bin/env bash
# rdr convert, and rdr info on ODIM HDF5 volumes.
#   rdr_convert_test.sh RDR cli          a synthetic volume UF -> ODIM -> UF keeps its summary;
#                                        bad arguments and failed writes are refused
#   rdr_convert_test.sh RDR real DATA    the ODIM samples' `rdr info --json` summaries equal an
#                                        h5py decode, and every sample converts both ways;
#                                        exits 77 (skipped) when the sample folder is absent
set -uo pipefail
rdr=$1
mode=$2
data=${3:-}
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; fi; }

# The sweeps of `rdr info --json` without the file's name and format; fixed angles to the
# 1/64 degree a UF file holds.
summary() { "$rdr" info --json "$1" | /usr/bin/python3 -c '
import json, sys
sweeps = json.load(sys.stdin)[0]["sweeps"]
for s in sweeps:
    s["fixed_angle"] = round(s["fixed_angle"] * 64) / 64
    # UF keeps the Nyquist velocity in velocity fields only.
    if not any(f["name"] in ("VR", "VE") for f in s["fields"]):
        s.pop("nyquist_m_s", None)
print(json.dumps(sweeps, sort_keys=True))'; }

if [ "$mode" = cli ]; then
    "$rdr" synth-volume --fields 4 "$work/synth.uf" || { echo "FAIL: synth-volume"; exit 1; }
    "$rdr" convert "$work/synth.uf" -o "$work/synth.h5"
    check "UF converts to ODIM by extension" "[ \$? -eq 0 ] && [ -s '$work/synth.h5' ]"
    check "the ODIM file is recognised" "\"$rdr\" info '$work/synth.h5' | grep '(ODIM HDF5)' > /dev/null"
    "$rdr" convert "$work/synth.h5" -o "$work/back.dat" --to uf
    check "--to overrides the extension" "[ \$? -eq 0 ] && \"$rdr\" info '$work/back.dat' | grep '(UF)' > /dev/null"
    check "UF -> ODIM keeps the summary" "[ \"\$(summary '$work/synth.uf')\" = \"\$(summary '$work/synth.h5')\" ]"
    check "ODIM -> UF keeps the summary" "[ \"\$(summary '$work/synth.uf')\" = \"\$(summary '$work/back.dat')\" ]"
    "$rdr" convert "$work/synth.uf" -o "$work/synth.grib2"
    check "UF converts to GRIB by extension" "\"$rdr\" info '$work/synth.grib2' | grep '(GRIB)' > /dev/null"
    check "UF -> GRIB keeps the summary" "[ \"\$(summary '$work/synth.uf')\" = \"\$(summary '$work/synth.grib2')\" ]"
    "$rdr" convert "$work/synth.grib2" -o "$work/again.dat" --to grib
    check "GRIB -> GRIB with --to is the same file" "cmp -s '$work/synth.grib2' '$work/again.dat'"
    "$rdr" convert "$work/synth.uf" -o "$work/upper.HDF" && "$rdr" info "$work/upper.HDF" > /dev/null
    check "extensions are matched without case" "[ \$? -eq 0 ]"

    "$rdr" convert "$work/synth.uf" -o "$work/out.xyz" 2> "$work/err"
    check "an unknown extension is a usage error" "[ \$? -eq 2 ]"
    check "which says what to do" "grep -q -- '--to' '$work/err'"
    check "and writes nothing" "[ ! -e '$work/out.xyz' ]"
    "$rdr" convert "$work/synth.uf" -o "$work/out.h5" --to bufr 2> "$work/err"
    check "an unknown --to is a usage error" "[ \$? -eq 2 ] && [ ! -e '$work/out.h5' ]"
    "$rdr" convert "$work/synth.uf" 2> /dev/null
    check "no output is a usage error" "[ \$? -eq 2 ]"
    "$rdr" convert "$work/missing.uf" -o "$work/m.h5" 2> "$work/err"
    check "a missing input fails" "[ \$? -eq 1 ] && [ ! -e '$work/m.h5' ] && grep -q missing.uf '$work/err'"
    "$rdr" convert "$work/synth.uf" -o "$work/nodir/v.h5" 2> "$work/err"
    check "an output in a missing directory fails" "[ \$? -eq 1 ] && grep -q 'v.h5' '$work/err'"
    printf 'old' > "$work/keep.h5"
    "$rdr" convert "$work/synth.uf" -o "$work/keep.h5" 2> /dev/null &&
        "$rdr" convert "$work/missing.uf" -o "$work/keep.h5" 2> /dev/null
    check "a failed conversion keeps the previous output" "\"$rdr\" info '$work/keep.h5' > /dev/null"
    check "no temporary file is left" "[ -z \"\$(ls -A '$work' | grep '^\\.')\" ]"
    "$rdr" convert --help > "$work/help"
    check "--help names --to" "grep -- '--to' '$work/help' > /dev/null"
    exit $fail
fi

if [ ! -d "$data" ]; then
    echo "sample data folder $data is absent"
    exit 77
fi
for f in "$data"/odim_hdf5/*; do
    name=$(basename "$f")
    "$rdr" info --json "$f" > "$work/json" 2> "$work/err"
    check "$name loads" "[ \$? -eq 0 ]"
    /usr/bin/python3 - "$f" "$work/json" <<'PY' || { echo "FAIL: $name differs from the h5py decode"; fail=1; }
import json, sys
import numpy as np
import h5py

path, got = sys.argv[1], json.load(open(sys.argv[2]))[0]
f = h5py.File(path, "r")

def attr(g, name, default=None):
    v = g.attrs.get(name, default)
    v = v.flat[0] if isinstance(v, np.ndarray) else v
    return v.decode() if isinstance(v, bytes) else v

assert got["format"] == "ODIM HDF5", got["format"]
sweeps = got["sweeps"]
d = 1
while "dataset%d" % d in f:
    ds, s = f["dataset%d" % d], sweeps[d - 1]
    w = ds["where"]
    assert s["rays"] == attr(w, "nrays") and s["bins"] == attr(w, "nbins"), (d, s)
    assert abs(s["fixed_angle"] - attr(w, "elangle")) < 1e-4, (d, s)
    assert abs(s["bin_spacing_m"] - attr(w, "rscale")) < 0.5, (d, s)
    g = ds["data1/what"]
    raw = ds["data1/data"][()]
    good = (raw != attr(g, "undetect")) & (raw != attr(g, "nodata"))
    values = raw[good] * attr(g, "gain") + attr(g, "offset")
    field = s["fields"][0]
    assert field["valid"] == int(good.sum()), (d, field, int(good.sum()))
    if good.any():
        assert abs(field["min"] - values.min()) < 0.011 and abs(field["max"] - values.max()) < 0.011, \
            (d, field, values.min(), values.max())
    d += 1
assert len(sweeps) == d - 1, (len(sweeps), d - 1)
PY
    "$rdr" convert "$f" -o "$work/$name.uf" 2> "$work/err"
    check "$name converts to UF" "[ \$? -eq 0 ] && [ \"\$(summary '$f')\" = \"\$(summary '$work/$name.uf')\" ]"
    "$rdr" convert "$f" -o "$work/$name.h5" 2> "$work/err"
    check "$name converts to ODIM" "[ \$? -eq 0 ] && [ \"\$(summary '$f')\" = \"\$(summary '$work/$name.h5')\" ]"
done
# Products and images read ODIM volumes through the same registry.
knmi=$data/odim_hdf5/knmi_polar_volume.h5
"$rdr" product "$knmi" --product CMAX --field CZ -o "$work/cmax.f32" > /dev/null 2> "$work/err"
check "rdr product reads ODIM" "[ \$? -eq 0 ] && [ -s '$work/cmax.f32' ]"
"$rdr" image "$knmi" --product PPI --sweep 0 --field CZ -o "$work/ppi.png" > /dev/null 2> "$work/err"
check "rdr image reads ODIM" "[ \$? -eq 0 ] && [ -s '$work/ppi.png' ]"
"$rdr" convert "$data/uf/KLIX20050828_180149_rsl.uf.gz" -o "$work/klix.h5"
check "KLIX converts to ODIM" "[ \$? -eq 0 ] && [ \"\$(summary '$data/uf/KLIX20050828_180149_rsl.uf.gz')\" = \"\$(summary '$work/klix.h5')\" ]"
# Every sample volume in one run, with one bad file among them: each good file is
# converted, the bad one fails alone and is named, and the run exits 1.
mkdir "$work/all"
: > "$work/broken.uf"
samples=$(ls "$data"/uf/* "$data"/cfradial/* "$data"/odim_hdf5/* | grep -v 'KLIX.*\.uf\.gz$')
# shellcheck disable=SC2086
"$rdr" convert $samples "$work/broken.uf" --outdir "$work/all" --to odim -j 2 \
    > "$work/summary" 2> "$work/err"
status=$?
count=$(wc -w <<< "$samples")
check "a batch with one bad file exits 1" "[ $status -eq 1 ]"
check "every sample is converted" "[ \$(ls '$work/all' | wc -l) -eq $count ]"
check "the summary names the bad file alone" \
    "grep -q 'rdr convert: $count of $((count + 1)) files done into .*; failed: $work/broken.uf\$' '$work/summary'"
exit $fail
