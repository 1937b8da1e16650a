#!/usr/bin/env bash
# The main job on sample volumes: writes a synthetic volume with the UF writer and draws
# its products as images under out/demo/; when ../shared/data is there, draws the real
# volumes too (the KLIX hurricane landfall in UF and the CF/Radial PPI volumes).
#
# Usage: tools/demo.sh BUILD_DIR   (make demo builds BUILD_DIR first)
set -euo pipefail

build=${1:?usage: tools/demo.sh BUILD_DIR}
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$build" && pwd)
rdr=$build/bin/rdr
out=$repo/out/demo
data=${RDR_DEMO_DATA:-$repo/../shared/data}  # the sample volumes, when present
export RDR_ROOT=$build/root
export TZ=UTC

[ -x "$rdr" ] || { echo "demo: $rdr is missing; build first (make demo)" >&2; exit 1; }
[ -d "$RDR_ROOT/rdr/www/cgi-src/resource" ] || {
    echo "demo: the resource tree $RDR_ROOT is missing; build first (make demo)" >&2
    exit 1
}
mkdir -p "$out"

made=()
image() {  # image INPUT OUT_NAME ARGS...: one product image, its path remembered
    local input=$1 name=$2
    shift 2
    if "$rdr" image "$input" "$@" -o "$out/$name" >/dev/null; then
        made+=("$out/$name")
    else
        echo "demo: could not draw $name from $input" >&2
        failed=1
    fi
}
failed=0

# A line of convective cells (one rotating), stratiform rain with a bright band, clear-air
# return and a few missing rays, at the Gwanaksan site south of Seoul.
synth=$out/synthetic_kwk.uf
"$rdr" synth-volume "$synth"
overlays=(--rings --stations)
image "$synth" synthetic_ppi_0.5deg.png --product PPI --sweep 0 "${overlays[@]}"
image "$synth" synthetic_ppi_velocity.png --product PPI --sweep 0 --field VR "${overlays[@]}"
image "$synth" synthetic_cappi_1.5km.png --product CAPPI --height 1.5 "${overlays[@]}"
image "$synth" synthetic_cmax.png --product CMAX "${overlays[@]}"
image "$synth" synthetic_etop.png --product ETOP "${overlays[@]}"
image "$synth" synthetic_vil.gif --product VIL "${overlays[@]}"
image "$synth" synthetic_rain_rate.jpg --product CAPPI --height 1.5 --field RN "${overlays[@]}"
# The same radar on the national composite grids, with the composite map lines.
image "$synth" composite_240_cmax.png --product CMAX --image-kind COMP_240
image "$synth" composite_kcj_cappi_rain.png --product CAPPI --height 1.5 --field RN --image-kind COMP_KCJ

if [ -d "$data" ]; then
    klix=$data/uf/KLIX20050828_180149_rsl.uf
    if [ -f "$klix" ]; then
        image "$klix" klix_ppi_0.5deg.png --product PPI --sweep 0 --range 400 --rings \
            --site KLIX
        image "$klix" klix_velocity.png --product PPI --sweep 1 --field VR --range 240 --rings \
            --site KLIX
        image "$klix" klix_cmax.png --product CMAX --range 400 --rings --site KLIX
    fi
    # file:short name
    for pair in example_plot_ppi_single_sweep.nc:arm_kasacr example_cfradial_ppi.nc:arm_xsapr \
        MLL2217907250U.003.nc:meteoswiss_mll \
        Z__C_RJTD_20230801200000_RDR_JMAGPV_RS47937_Gar0p250km0p70deg_PRref_N18_ANAL_cfrad.nc:jma_rs47937_typhoon; do
        nc=$data/cfradial/${pair%%:*}
        [ -f "$nc" ] || continue
        field=DZ
        "$rdr" info "$nc" 2>/dev/null | grep -q '^ *CZ ' && field=CZ
        image "$nc" "cfradial_${pair##*:}_ppi.png" --product PPI --sweep 0 --field "$field" --rings
    done
fi

# Boundary-line files of every radar site for the site display programs.
if "$repo/tools/sitebln_all.sh" "$out/bln" "$build" >/dev/null; then
    made+=("$out/bln/ ($(ls "$out/bln" | wc -l) site boundary-line files)")
else
    echo "demo: the site boundary-line tool failed" >&2
    failed=1
fi

echo "Demo images (open them in any image viewer):"
for f in "${made[@]}"; do
    echo "  $f"
done
exit "$failed"
