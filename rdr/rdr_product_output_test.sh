#!/usr/bin/env bash
# rdr product replaces its outputs whole.
#   rdr_product_output_test.sh RDR [ROUNDS]
#   - two runs writing the same -o at once (PPIs of two sweeps), ROUNDS times (20): both
#     succeed (neither has a reason to fail), and the grid and its header are at every
#     moment absent or equal to one lone run's, never mixed or cut short; no temporary file
#     stays behind
#   - a failed write (the target a directory, a file-size limit, a full device, a read-only
#     folder) fails with a message and leaves the old grid and header as they were
#   - "-", a FIFO and a link: the grid in place (no header) or through the link
set -uo pipefail
rdr=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
rounds=${2:-20}
work=$(mktemp -d)
trap 'touch "$work/stop"; wait; rm -rf "$work"' EXIT
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; fi; }

"$rdr" synth-volume "$work/v.uf" > /dev/null || { echo "FAIL: synth-volume"; exit 1; }
# Grids of 4 MB, so that writes last long enough to overlap now and then.
product=(product "$work/v.uf" --product PPI --size 1000)
other=(product "$work/v.uf" --product PPI --sweep 1 --size 1000)
"$rdr" "${product[@]}" -o "$work/ref.f32" > /dev/null || { echo "FAIL: a lone run"; exit 1; }
"$rdr" "${other[@]}" -o "$work/other.f32" > /dev/null || { echo "FAIL: a lone run"; exit 1; }
# equals FILE NAME: FILE is NAME of the one run or of the other (1 when not, 2 when absent)
equals() {
    cmp -s "$1" "$work/ref.f32$2" && return 0
    cmp -s "$1" "$work/other.f32$2" && return 0
    [ -e "$1" ] && return 1
    return 2
}

# ---- concurrent runs -----------------------------------------------------------------
mkdir "$work/out"
target=$work/out/same.f32
# A reader that looks at the outputs all along, each time through one open of the file
# (before the first round ends they may be absent).
(
    while [ ! -e "$work/stop" ]; do
        for name in "" .hdr; do
            cp "$target$name" "$work/seen$name" 2> /dev/null || continue
            equals "$work/seen$name" "$name" || echo "$target$name" >> "$work/torn"
        done
    done
) &
watcher=$!
for ((i = 1; i <= rounds; i++)); do
    "$rdr" "${product[@]}" -o "$target" > /dev/null 2> "$work/err1" &
    a=$!
    "$rdr" "${other[@]}" -o "$target" > /dev/null 2> "$work/err2" &
    b=$!
    wait $a
    sa=$?
    wait $b
    sb=$?
    check "round $i: first run succeeds ($sa)" "[ $sa -eq 0 ] && [ ! -s '$work/err1' ]"
    check "round $i: second run succeeds ($sb)" "[ $sb -eq 0 ] && [ ! -s '$work/err2' ]"
    check "round $i: grid is one run's" "equals '$target' ''"
    check "round $i: header is one run's" "equals '$target.hdr' .hdr"
done
touch "$work/stop"
wait $watcher
check "readers never saw a mixed or partial output" "[ ! -e '$work/torn' ]"
check "no temporary files stay" "[ \"\$(ls -A '$work/out')\" = \"\$(printf 'same.f32\nsame.f32.hdr')\" ]"

# ---- failed writes -------------------------------------------------------------------
# expect_kept NAME ERRPATTERN CMD...: fails with the message, the old outputs untouched
expect_kept() {
    local name=$1 pattern=$2
    shift 2
    cp "$work/old.f32" "$work/keep/grid.f32"
    cp "$work/old.f32.hdr" "$work/keep/grid.f32.hdr"
    "$@" > /dev/null 2> "$work/err"
    local status=$?
    check "$name fails" "[ $status -ne 0 ]"
    check "$name says '$pattern'" "grep -q '$pattern' '$work/err'"
    check "$name keeps the grid" "cmp -s '$work/old.f32' '$work/keep/grid.f32'"
    check "$name keeps the header" "cmp -s '$work/old.f32.hdr' '$work/keep/grid.f32.hdr'"
    check "$name leaves nothing beside" "[ \$(ls -A '$work/keep' | wc -l) -eq 2 ]"
}
mkdir "$work/keep"
printf 'an older grid' > "$work/old.f32"
printf 'an older header' > "$work/old.f32.hdr"
# Writes beyond 1 MB fail (EFBIG rather than the signal) as on a full disk.
expect_kept "a file-size limit" "File too large" \
    bash -c 'trap "" XFSZ; ulimit -f 1024; exec "$@"' - "$rdr" "${product[@]}" -o "$work/keep/grid.f32"
mkdir -p "$work/dir.f32"
"$rdr" "${product[@]}" -o "$work/dir.f32" > /dev/null 2> "$work/err"
check "a directory as the target fails" "[ $? -ne 0 ] && grep -q 'is a directory' '$work/err'"
check "the directory stays empty" "[ -z \"\$(ls -A '$work/dir.f32')\" ]"
# A copy of /dev/full: a writer that replaced devices would replace this one.
if mknod "$work/full" c 1 7 2> /dev/null; then
    "$rdr" "${product[@]}" -o "$work/full" > /dev/null 2> "$work/err"
    check "a full device fails" "[ $? -ne 0 ] && grep -q 'No space left' '$work/err'"
    check "the device stays a device" "[ -c '$work/full' ]"
    check "no header beside a device" "[ ! -e '$work/full.hdr' ]"
fi
"$rdr" "${product[@]}" -o "$work/missing/x.f32" > /dev/null 2> "$work/err"
check "a missing folder fails" "[ $? -ne 0 ] && grep -q 'No such file' '$work/err'"
if [ "$(id -u)" -ne 0 ]; then  # root writes into read-only folders
    chmod 555 "$work/keep"
    expect_kept "a read-only folder" "Permission denied" \
        "$rdr" "${product[@]}" -o "$work/keep/grid.f32"
    chmod 755 "$work/keep"
fi

# ---- outputs that are not plain files ------------------------------------------------
mkdir "$work/cwd"
(cd "$work/cwd" && "$rdr" "${product[@]}" -o - 2> "$work/err" | cmp -s - "$work/ref.f32")
check "- writes the grid to standard output" "[ $? -eq 0 ]"
check "- writes no header" "[ -z \"\$(ls -A '$work/cwd')\" ]"
mkfifo "$work/pipe"
timeout 20 cat "$work/pipe" > "$work/from_pipe" &
"$rdr" "${product[@]}" -o "$work/pipe" > /dev/null 2>&1
check "a FIFO gets the grid" "[ $? -eq 0 ]"
wait $!
check "the FIFO's reader got the whole grid" "cmp -s '$work/ref.f32' '$work/from_pipe'"
check "the FIFO stays a FIFO, without a header" "[ -p '$work/pipe' ] && [ ! -e '$work/pipe.hdr' ]"
ln -s out/same.f32 "$work/latest.f32"
"$rdr" "${product[@]}" --size 500 -o "$work/latest.f32" > /dev/null 2>&1
check "a link is written through" "[ -L '$work/latest.f32' ] && [ \$(stat -c %s '$target') -eq 1000000 ]"

exit $fail
