#!/usr/bin/env bash
# rdr info on every sample volume: each loads, the JSON form parses and agrees with the
# text form on the sweep count, and unusable files fail with a message and a non-zero status.
set -uo pipefail
rdr=$1
data=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; fi; }

# Files that are not volumes.
printf 'hello' > "$work/short"
head -c 4096 /dev/urandom > "$work/random"
printf 'XXXXUFXX' | gzip > "$work/notuf.gz"
for bad in "$work/short" "$work/random" "$work/notuf.gz" "$work/missing"; do
    "$rdr" info "$bad" > "$work/out" 2> "$work/err"
    status=$?
    check "$bad fails" "[ $status -ne 0 ]"
    check "$bad explains" "[ -s '$work/err' ]"
done
"$rdr" info > /dev/null 2>&1; check "no file is a usage error" "[ $? -eq 2 ]"

if [ ! -d "$data" ]; then
    echo "sample data folder $data is absent: real-file checks skipped"
    exit $fail
fi
for f in "$data"/uf/* "$data"/cfradial/*; do
    name=$(basename "$f")
    "$rdr" info "$f" > "$work/text" 2> "$work/err"
    check "$name loads" "[ $? -eq 0 ]"
    "$rdr" info --json "$f" > "$work/json" 2> /dev/null
    check "$name json" "[ $? -eq 0 ]"
    sweeps=$(sed -n 's/^  \([0-9]*\) sweeps$/\1/p' "$work/text")
    /usr/bin/python3 - "$work/json" "$sweeps" <<'PY' || { echo "FAIL: $name json content"; fail=1; }
import json, sys
volumes = json.load(open(sys.argv[1]))
assert len(volumes) == 1
v = volumes[0]
assert len(v["sweeps"]) == int(sys.argv[2]), (len(v["sweeps"]), sys.argv[2])
for s in v["sweeps"]:
    assert s["rays"] > 0 and s["fields"], s
    for f in s["fields"]:
        assert f["valid"] == 0 or f["min"] <= f["max"], f
PY
done
exit $fail
