#!/bin/sh
# Runs the same product and image requests through two rdr binaries and compares the
# outputs byte for byte: the demo volume and the real sample files, every product, default
# and named moments, one and several products per image run.
#   tools/compare_outputs.sh OLD_RDR NEW_RDR [DATA_DIR]
# Prints one line per output and exits 1 when any output differs or is missing.
set -u
old=$1
new=$2
data=${3:-$(dirname "$0")/../../shared/data}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$new" synth-volume "$work/demo.uf" >/dev/null 2>&1
volumes="$work/demo.uf"
for f in uf/KLIX20050828_180149_rsl.uf.gz uf/mc3e_npol_20110427_114155.uf \
    uf/MC3E_NPOL_2011_0524_2356_hid.uf.gz uf/example_uf_ppi.uf; do
    [ -f "$data/$f" ] && volumes="$volumes $data/$f"
done
status=0
n=0
# run NAME ARGS...: both binaries write OUT under their own directory.
run() {
    name=$1
    shift
    mkdir -p "$work/old" "$work/new"
    "$old" "$@" -o "$work/old/$name" >"$work/old/$name.log" 2>&1
    echo "exit $?" >>"$work/old/$name.log"
    "$new" "$@" -o "$work/new/$name" >"$work/new/$name.log" 2>&1
    echo "exit $?" >>"$work/new/$name.log"
    # A run of several products writes NAME_PRODUCT.png beside NAME.
    for o in "$work/old/$name"* "$work/old/${name%.png}_"*.png; do
        [ -e "$o" ] || continue
        b=$(basename "$o")
        n=$((n + 1))
        case $b in
        *.log) sed -i "s|$work/old/|OUT/|g" "$o"; sed -i "s|$work/new/|OUT/|g" "$work/new/$b" ;;
        esac
        if cmp -s "$o" "$work/new/$b"; then
            echo "same    $b"
        else
            echo "DIFFERS $b"
            status=1
        fi
    done
}
i=0
for v in $volumes; do
    i=$((i + 1))
    run "v${i}_ppi.f32" product "$v" --product PPI --size 400
    run "v${i}_ppi_vr.f32" product "$v" --product PPI --field VR --size 300
    run "v${i}_cappi.f32" product "$v" --product CAPPI --height 3 --size 400
    run "v${i}_cappi_real.f32" product "$v" --product CAPPI --method real --height 2 --size 300
    run "v${i}_rn.f32" product "$v" --product BASE --field RN --size 300
    for p in CMAX ETOP VIL; do
        run "v${i}_$(echo $p | tr A-Z a-z).f32" product "$v" --product $p --size 300
    done
    run "v${i}_img.png" image "$v" --product PPI --product CAPPI --product VIL --product ETOP
    run "v${i}_img_vr.png" image "$v" --product PPI --field VR
    run "v${i}_img_sw.png" image "$v" --product CMAX --product PPI --field SW
done
echo "$n outputs compared"
exit $status
