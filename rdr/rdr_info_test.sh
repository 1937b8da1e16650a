#!/usr/bin/env bash
# rdr info.
#   rdr_info_test.sh RDR cli          files that are not volumes fail with a message
#   rdr_info_test.sh RDR real DATA    every sample volume's JSON summary equals an independent
#                                     decode (UF words by numpy, CF/Radial by netCDF4);
#                                     exits 77 (skipped) when the sample folder is absent
set -uo pipefail
rdr=$1
mode=$2
data=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; fi; }

if [ "$mode" = cli ]; then
    printf 'hello' > "$work/short"
    head -c 4096 /dev/urandom > "$work/random"
    printf 'XXXXUFXX' | gzip > "$work/notuf.gz"
    : > "$work/empty"
    mkdir "$work/dir"
    for bad in short random notuf.gz empty dir missing; do
        "$rdr" info "$work/$bad" > "$work/out" 2> "$work/err"
        status=$?
        check "$bad fails" "[ $status -eq 1 ]"
        check "$bad is named in the message" "grep -q '$bad' '$work/err'"
        check "$bad prints no summary" "[ ! -s '$work/out' ]"
    done
    "$rdr" info > /dev/null 2>&1
    check "no file is a usage error" "[ $? -eq 2 ]"

    # A file cut short is described from what it holds and reported as damaged; --strict
    # makes that the exit status.
    "$rdr" synth-volume --bins 120 "$work/whole.uf" > /dev/null
    size=$(stat -c %s "$work/whole.uf")
    head -c $((size / 2)) "$work/whole.uf" > "$work/cut.uf"
    "$rdr" info "$work/cut.uf" > "$work/out" 2> "$work/err"
    check "a cut file is still described" "[ $? -eq 0 ] && grep -q 'DAMAGED: the file ends inside record' '$work/out'"
    check "the damage is named on stderr with the file" "grep -q \"^rdr: $work/cut.uf: the file ends inside\" '$work/err'"
    "$rdr" info --strict "$work/whole.uf" "$work/cut.uf" > /dev/null 2>&1
    check "--strict fails a cut file" "[ $? -eq 2 ]"
    "$rdr" info --strict "$work/whole.uf" > /dev/null 2>&1
    check "--strict passes a whole file" "[ $? -eq 0 ]"

    # JSON: an error entry per failed file, times in UTC, ray arrays on request; -- ends
    # the options.
    "$rdr" info --json --rays -- "$work/dir" "$work/whole.uf" > "$work/json" 2> /dev/null
    check "JSON with a failed file exits 1" "[ $? -eq 1 ]"
    /usr/bin/python3 - "$work/json" "$work/dir" <<'PY' || { echo "FAIL: JSON entries"; fail=1; }
import json, sys
entries = json.load(open(sys.argv[1]))
assert entries[0] == {"file": sys.argv[2], "error": "is a directory, not a file"}, entries[0]
volume = entries[1]
assert volume["time"].endswith(" UTC"), volume["time"]
sweep = volume["sweeps"][0]
assert len(sweep["azimuth"]) == sweep["rays"] == len(sweep["ray_time"])
assert all(0 <= a < 360 for a in sweep["azimuth"])
assert sweep["fields"][0]["units"] == "dBZ" and "nyquist_m_s" in sweep
PY
    "$rdr" info --tz UTC "$work/whole.uf" > "$work/out"
    check "--tz UTC" "grep -q 'volume time 2026-07-15 06:30:00 UTC ' '$work/out'"
    "$rdr" info --tz Mars "$work/whole.uf" > /dev/null 2>&1
    check "an unknown zone is a usage error" "[ $? -eq 2 ]"

    # Every bin: one line per ray of the moment asked for, as many values as bins.
    rays=$("$rdr" info --json "$work/whole.uf" | /usr/bin/python3 -c 'import json,sys; print(json.load(sys.stdin)[0]["sweeps"][1]["rays"])')
    "$rdr" info --data --field DZ --sweep 1 "$work/whole.uf" | grep '^  sweep 1 ray ' > "$work/data"
    check "--data prints one line per ray" "[ $(wc -l < "$work/data") -eq $rays ]"
    check "--data prints every bin" "[ $(head -n 1 "$work/data" | cut -d: -f2 | wc -w) -eq 120 ]"
    exit $fail
fi

if [ ! -d "$data" ]; then
    echo "sample data folder $data is absent"
    exit 77
fi
klix="$data/uf/KLIX20050828_180149_rsl.uf.gz"
if [ -f "$klix" ]; then
    "$rdr" info "$klix" > "$work/out" 2>&1
    check "a western site is printed with W" "grep -q 'position 30.33667 N 89.82555 W ' '$work/out'"
fi
for f in "$data"/uf/* "$data"/cfradial/*; do
    name=$(basename "$f")
    "$rdr" info --json "$f" > "$work/json" 2> "$work/err"
    check "$name loads" "[ $? -eq 0 ]"
    /usr/bin/python3 - "$here/../tests/fixtures" "$f" "$work/json" <<'PY' || { echo "FAIL: $name differs from the independent decode"; fail=1; }
import json, math, os, sys
sys.path.insert(0, sys.argv[1])
import volume_reference as ref

path, got = sys.argv[2], json.load(open(sys.argv[3]))[0]["sweeps"]
name = os.path.basename(path)
# The reflectivity variable of each CF/Radial sample and the moment it becomes.
CF_REFLECTIVITY = {
    "MLL2217907250U.003.nc": ("reflectivity", "DZ"),
    "example_cfradial_ppi.nc": ("reflectivity_horizontal", "DZ"),
    "example_cfradial_rhi.nc": ("reflectivity_horizontal", "DZ"),
    "example_plot_ppi_single_sweep.nc": ("reflectivity_at_cor", "DZ"),
    "sgpxsaprcfrvptI4.a1.20200205.100827.nc": ("reflectivity", "DZ"),
    "cfrad.20211011_223602.712_to_20211011_223612.091_DOW8_RHI.nc": ("DBZHC", "DZ"),
}

def close(a, b, tol=1e-4):
    return a is None and b is None or a is not None and b is not None and \
        math.isclose(a, b, rel_tol=tol, abs_tol=tol)

def fail(msg):
    sys.exit(name + ": " + msg)

def field(sweep, moment):
    for f in sweep["fields"]:
        if f["name"] == moment:
            return f
    fail("no moment %s in sweep %s" % (moment, sweep))

if name.endswith(".nc"):
    if name.startswith("Z__C_RJTD"):
        variable, moment = "DBZH", "CZ"
    else:
        variable, moment = CF_REFLECTIVITY[name]
    want = ref.cfradial_summary(path, variable)
    if len(got) != len(want):
        fail("%d sweeps, want %d" % (len(got), len(want)))
    for i, (g, w) in enumerate(zip(got, want)):
        f = field(g, moment)
        for key, have in (("rays", g["rays"]), ("bins", f["bins"]), ("valid", f["valid"])):
            if have != w[key]:
                fail("sweep %d %s %s, want %s" % (i, key, have, w[key]))
        if not close(g["fixed_angle"], w["fixed_angle"]):
            fail("sweep %d angle %s, want %s" % (i, g["fixed_angle"], w["fixed_angle"]))
        if f["valid"] and not (close(f["min"], w["min"], 1e-3) and close(f["max"], w["max"], 1e-3)):
            fail("sweep %d %s range %s..%s, want %s..%s" % (i, moment, f["min"], f["max"], w["min"], w["max"]))
else:
    want = ref.uf_summary(path)
    if len(got) != len(want):
        fail("%d sweeps, want %d" % (len(got), len(want)))
    for i, (g, w) in enumerate(zip(got, want)):
        if g["rays"] != w["rays"] or not close(g["fixed_angle"], w["fixed_angle"]):
            fail("sweep %d: %s rays at %s, want %s at %s" % (i, g["rays"], g["fixed_angle"], w["rays"], w["fixed_angle"]))
        if sorted(f["name"] for f in g["fields"]) != sorted(w["fields"]):
            fail("sweep %d moments %s, want %s" % (i, [f["name"] for f in g["fields"]], sorted(w["fields"])))
        for f in g["fields"]:
            wf = w["fields"][f["name"]]
            for key in ("scale", "bins", "bin_spacing_m", "valid"):
                if f[key] != wf[key]:
                    fail("sweep %d %s %s %s, want %s" % (i, f["name"], key, f[key], wf[key]))
            if not close(f["first_bin_km"], wf["first_bin_km"]):
                fail("sweep %d %s first bin %s, want %s" % (i, f["name"], f["first_bin_km"], wf["first_bin_km"]))
            if f["valid"] and not (close(f["min"], wf["min"]) and close(f["max"], wf["max"])):
                fail("sweep %d %s range %s..%s, want %s..%s" % (i, f["name"], f["min"], f["max"], wf["min"], wf["max"]))
PY
done
exit $fail
