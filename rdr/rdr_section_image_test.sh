#!/usr/bin/env bash
# rdr image --product RHI / TH end to end on the sample RHI and vertically pointing files:
# images written in every format and size, plan views and mismatched sections refused.
#   rdr_section_image_test.sh RDR DATA
set -uo pipefail
rdr=$1
data=${2:-}
if [ ! -d "$data/cfradial" ]; then
    echo "skip: no sample folder"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; fi; }
size() { identify -format '%m %w %h' "$1" 2>/dev/null; }
rhi=$(ls "$data"/cfradial/cfrad.*DOW8_RHI.nc)
vpt=$(ls "$data"/cfradial/sgpxsaprcfrvpt*.nc)
ppi=$data/cfradial/example_cfradial_ppi.nc

"$rdr" image "$rhi" --product RHI -o "$work/rhi.png" > "$work/out" 2> "$work/err"
check "RHI drawn" "[ \$? -eq 0 ] && [ ! -s $work/err ]"
check "RHI path printed" "grep -qx '$work/rhi.png' $work/out"
check "RHI default size" "[ \"\$(size $work/rhi.png)\" = 'PNG 897 466' ]"
check "pngcheck" "pngcheck -q $work/rhi.png > /dev/null"

"$rdr" image "$rhi" --product RHI --field VR --range 60 --max-height 12 --size 450x240 \
    -o "$work/vr.jpg" > /dev/null
check "velocity RHI, resized JPEG" "[ \"\$(size $work/vr.jpg)\" = 'JPEG 450 240' ]"
"$rdr" image "$rhi" --product RHI --field RN --format gif -o - > "$work/rn.gif" 2> "$work/err"
check "rain-rate RHI as GIF on standard output" "[ \"\$(size $work/rn.gif)\" = 'GIF 897 466' ]"

"$rdr" image "$vpt" --product TH -o "$work/th.png" > /dev/null 2> "$work/err"
check "time-height drawn" "[ \"\$(size $work/th.png)\" = 'PNG 897 466' ]"
"$rdr" image "$vpt" --product th --field VR -o "$work/th_vr.png" > /dev/null
check "time-height of velocity" "[ -s $work/th_vr.png ]"

expect_fail() {  # expect_fail STATUS MESSAGE ARGS...
    local want=$1 msg=$2
    shift 2
    rm -f "$work/x.png"
    "$rdr" image "$@" > /dev/null 2> "$work/err"
    local status=$?
    check "$* -> status $want" "[ $status -eq $want ]"
    check "$* -> '$msg'" "grep -q \"$msg\" $work/err"
    check "$* -> no image" "[ ! -e $work/x.png ]"
}
expect_fail 1 "an RHI volume: its sweeps are vertical sections" "$rhi" --product PPI -o "$work/x.png"
expect_fail 1 "an RHI volume: its sweeps are vertical sections" "$rhi" --product CMAX -o "$work/x.png"
expect_fail 1 "a vertically pointing volume: it looks straight up" "$vpt" --product PPI \
    -o "$work/x.png"
expect_fail 1 "not an RHI volume: its sweeps turn in azimuth; draw it with --product PPI" "$ppi" \
    --product RHI -o "$work/x.png"
expect_fail 1 "a vertically pointing volume: draw it with --product TH" "$vpt" --product RHI \
    -o "$work/x.png"
expect_fail 1 "an RHI volume: draw it with --product RHI" "$rhi" --product TH -o "$work/x.png"
expect_fail 1 "no sweep 3 (the volume has 1)" "$rhi" --product RHI --sweep 3 -o "$work/x.png"
expect_fail 1 "no moment KD (it has: " "$rhi" --product RHI --field KD -o "$work/x.png"
expect_fail 2 "ask for them in a run of their own" "$rhi" --product RHI --product PPI \
    -o "$work/x.png"
expect_fail 2 "bad value '0' for --max-height" "$rhi" --product RHI --max-height 0 \
    -o "$work/x.png"
check "help names RHI and --max-height" \
    "\"$rdr\" image --help | grep -q 'RHI: range-height' && \"$rdr\" image --help | grep -q -- '--max-height'"
exit $fail
