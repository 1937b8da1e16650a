#!/usr/bin/env bash
# rdr image end to end on a synthetic volume: several products from one load, every output
# format, composite kinds, resizing, and clear failures for bad requests; with the sample
# folder, what it does with volumes a plan view cannot show.
#   rdr_image_test.sh RDR [DATA]
set -uo pipefail
rdr=$1
data=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; fi; }
size() { identify -format '%m %w %h' "$1" 2>/dev/null; }

"$rdr" synth-volume "$work/v.uf" || { echo "FAIL: synth-volume"; exit 1; }

"$rdr" image "$work/v.uf" --product PPI --product CAPPI --product ETOP --rings --stations \
    --timings -o "$work/all.png" > "$work/out" 2> "$work/err"
check "three products from one load" "[ \$? -eq 0 ]"
for p in PPI CAPPI ETOP; do
    check "$p image" "[ \"\$(size $work/all_$p.png)\" = 'PNG 558 563' ]"
    check "$p path printed" "grep -qx '$work/all_$p.png' $work/out"
done
check "stage timings" "grep -q '^stage seconds: load .* encode ' $work/err"
check "pngcheck" "pngcheck -q $work/all_PPI.png > /dev/null"

"$rdr" image "$work/v.uf" --product CMAX --product VIL -o "$work/a.gif" -o "$work/b.jpg" >/dev/null
check "formats by extension" \
    "[ \"\$(size $work/a.gif)\" = 'GIF 558 563' ] && [ \"\$(size $work/b.jpg)\" = 'JPEG 558 563' ]"
"$rdr" image "$work/v.uf" --product CAPPI --field RN --format gif --pixels 300x200 -o "$work/r.img" >/dev/null
check "resized rain rate" "[ \"\$(size $work/r.img)\" = 'GIF 300 200' ]"
"$rdr" image "$work/v.uf" --product PPI --field VR --image-kind COMP_240 -o "$work/c.png" >/dev/null
check "composite kind" "[ \"\$(size $work/c.png)\" = 'PNG 525 630' ]"

# A 40 km volume: rings every 10 km (none of 100 km would fit), a graticule on request.
"$rdr" synth-volume --bins 80 "$work/short.uf" > /dev/null
"$rdr" image "$work/short.uf" --product PPI -o "$work/plain.png" > /dev/null
"$rdr" image "$work/short.uf" --product PPI --rings -o "$work/rings.png" > /dev/null
"$rdr" image "$work/short.uf" --product PPI --graticule -o "$work/grat.png" > /dev/null
differ() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" -gt "$3" ] 2>/dev/null; }
check "rings on a 40 km volume" "differ $work/plain.png $work/rings.png 1000"
check "ring at 10 km" \
    "convert $work/rings.png -format '%[pixel:p{320,286}]' info: | grep -Eq '(70,70,70|gray\(70)\)'"
check "graticule drawn" "differ $work/plain.png $work/grat.png 500"
check "help names --graticule" "\"$rdr\" image --help | grep -q -- '--graticule'"

expect_fail() {  # expect_fail STATUS MESSAGE ARGS...
    local want=$1 msg=$2
    shift 2
    "$rdr" image "$@" > /dev/null 2> "$work/err"
    local status=$?
    check "$* -> status $want" "[ $status -eq $want ]"
    check "$* -> '$msg'" "grep -q \"$msg\" $work/err"
}
expect_fail 2 "unknown product 'XX'" "$work/v.uf" --product XX -o "$work/x.png"
expect_fail 2 "unknown field 'ZZ'" "$work/v.uf" --product PPI --field ZZ -o "$work/x.png"
expect_fail 2 "unknown format 'bmp'" "$work/v.uf" --product PPI --format bmp -o "$work/x.png"
expect_fail 2 "unknown image kind" "$work/v.uf" --product PPI --image-kind SITE_9 -o "$work/x.png"
expect_fail 2 "bad value '1000' for --top" "$work/v.uf" --product VIL --top 1000 -o "$work/x.png"
expect_fail 2 "bad value '40' for --height" "$work/v.uf" --product CAPPI --height 40 -o "$work/x.png"
expect_fail 2 "need FILE" "$work/v.uf" --product PPI
expect_fail 2 "graticule draws on the site image kinds" "$work/v.uf" --product PPI \
    --image-kind COMP_240 --graticule -o "$work/x.png"
expect_fail 1 "v.uf: no moment KD (it has: DZ VR)" "$work/v.uf" --product PPI --field KD \
    -o "$work/x.png"
expect_fail 1 "no sweep 30" "$work/v.uf" --product PPI --sweep 30 -o "$work/x.png"
expect_fail 1 "fnSaveImg fail" "$work/v.uf" --product PPI -o "$work/missing/dir/x.png"
expect_fail 1 "cannot open" "$work/none.uf" --product PPI -o "$work/x.png"
check "no stray files" "[ ! -e $work/x.png ]"

# --elevation says which sweep it took, and when that is far from the angle asked for.
"$rdr" image "$work/v.uf" --product PPI --elevation 45 -o "$work/e.png" > /dev/null 2> "$work/err"
check "--elevation names the sweep taken" \
    "grep -q 'v.uf: --elevation 45 takes sweep [0-9]* at [0-9.]* degrees, the nearest there is' $work/err"

# Outputs that are not plain new files: standard output, a device, a FIFO, a link (kept,
# the image written where it points) and a name of 255 bytes.
"$rdr" image "$work/v.uf" --product PPI -o - > "$work/stdout.png"
check "-o - writes the PNG to standard output" "pngcheck -q $work/stdout.png > /dev/null"
check "no file named -" "[ ! -e ./- ] && [ ! -e $work/- ]"
"$rdr" image "$work/v.uf" --product PPI -o /dev/null > /dev/null
check "/dev/null stays a device" "[ -c /dev/null ]"
mkfifo "$work/fifo"
cat "$work/fifo" > "$work/from_fifo.png" &
"$rdr" image "$work/v.uf" --product PPI -o "$work/fifo" > /dev/null
wait
check "a FIFO is written in place" "[ -p $work/fifo ] && pngcheck -q $work/from_fifo.png > /dev/null"
mkdir "$work/real"
ln -s real/latest_target.png "$work/latest.png"
"$rdr" image "$work/v.uf" --product PPI -o "$work/latest.png" > /dev/null
check "a link is written through and kept" \
    "[ -L $work/latest.png ] && pngcheck -q $work/real/latest_target.png > /dev/null"
long=$(printf 'x%.0s' $(seq 251)).png
"$rdr" image "$work/v.uf" --product PPI -o "$work/$long" > /dev/null
check "a 255-byte name" "[ -s '$work/$long' ]"

# --tz changes the title's clock and nothing else; KST is the default.
for z in KST UTC; do
    "$rdr" image "$work/v.uf" --product PPI --tz $z -o "$work/tz_$z.png" > /dev/null
done
"$rdr" image "$work/v.uf" --product PPI -o "$work/tz_default.png" > /dev/null
check "--tz KST is the default" "cmp -s $work/tz_KST.png $work/tz_default.png"
check "--tz UTC changes the title only" \
    "! cmp -s $work/tz_KST.png $work/tz_UTC.png && \
     [ \"\$(compare -metric AE $work/tz_KST.png $work/tz_UTC.png null: 2>&1)\" -gt 0 ] && \
     [ \"\$(compare -metric AE -extract 558x530+0+33 $work/tz_KST.png $work/tz_UTC.png null: 2>&1)\" -eq 0 ]"

# Resources: found beside the program without RDR_ROOT; a root without them is named.
env -u RDR_ROOT "$rdr" image "$work/v.uf" --product PPI -o "$work/noroot.png" > /dev/null
check "drawn without RDR_ROOT" "[ -s $work/noroot.png ]"
RDR_ROOT=$work/nowhere "$rdr" image "$work/v.uf" --product PPI -o "$work/x.png" > /dev/null 2> "$work/err"
check "a root without resources is named" \
    "grep -q 'looked for $work/nowhere/rdr/www/cgi-src/resource/color) \\[set RDR_ROOT' $work/err"

# Many files: one output per file in the folder, a bad file fails alone and the run says so.
mkdir "$work/batch"
cp "$work/v.uf" "$work/w.uf"
: > "$work/empty.uf"
"$rdr" image "$work/v.uf" "$work/empty.uf" "$work/w.uf" --outdir "$work/batch" -j 2 \
    --product PPI > "$work/out" 2> "$work/err"
check "batch with a bad file exits 1" "[ \$? -eq 1 ]"
check "batch writes the good files" "[ -s $work/batch/v.png ] && [ -s $work/batch/w.png ]"
check "batch summary names the failure" \
    "grep -q 'rdr image: 2 of 3 files done into .*; failed: .*empty.uf' $work/out"
"$rdr" image "$work/v.uf" "$work/x/v.uf" --outdir "$work/batch" --product PPI > /dev/null 2> "$work/err"
check "two inputs of one name are refused" "[ \$? -eq 2 ] && grep -q 'would both write' $work/err"
check "--version" "\"$rdr\" --version | grep -Eq '^rdr [0-9]+\\.[0-9]+\\.[0-9]+$'"
cp "$work/v.uf" "$work/-v.uf"
(cd "$work" && "$rdr" image --product PPI -o dash.png -- -v.uf > /dev/null)
check "-- ends the options" "[ -s $work/dash.png ]"

if [ -d "$data" ]; then
    # Without --field the first reflectivity moment is drawn, whatever the file calls it.
    jma=$(ls "$data"/cfradial/Z__C_RJTD_*.nc)
    "$rdr" image "$jma" --product PPI -o "$work/jma.png" > /dev/null 2> "$work/err"
    check "the JMA volume drawn without --field" "[ \$? -eq 0 ] && pngcheck -q $work/jma.png > /dev/null"
    # Plan views of an RHI volume are refused, and a radar far from the composite window.
    expect_fail 1 "an RHI volume: its sweeps are vertical sections" \
        "$(ls "$data"/cfradial/cfrad.*DOW8_RHI.nc)" --product PPI -o "$work/x.png"
    expect_fail 1 "covers nothing of the COMP_240 window" \
        "$data/uf/KLIX20050828_180149_rsl.uf.gz" --product CMAX --image-kind COMP_240 \
        -o "$work/x.png"
    check "no stray files" "[ ! -e $work/x.png ]"
fi
exit $fail
