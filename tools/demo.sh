#!/usr/bin/env bash
# The main job on sample volumes: writes a synthetic volume with the UF writer and draws
# its products as images under out/demo/; when ../shared/data is there, draws the real
# volumes too (the KLIX hurricane landfall in UF and the CF/Radial PPI volumes); and has
# the site image program siteview answer queries for both volumes from a demo data tree, the
# composite image program compview from a synthetic composite tree, and the lightning map
# program lgtview a synthetic day of strikes along the squall line.
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
# The site image program: siteview answers CGI queries from a data tree under its resource
# root; the demo tree holds the synthetic volume (and KLIX) under their file names.
site_images() {
    local siteview=$build/siteview/siteview tree=$out/siteview_root
    [ -x "$siteview" ] || { echo "demo: $siteview is missing" >&2; failed=1; return; }
    rm -rf "$tree"
    mkdir -p "$tree"
    ln -s "$RDR_ROOT/rdr" "$tree/rdr"
    ln -s "$RDR_ROOT/srv" "$tree/srv"
    link_volume() {  # link_volume SITE YYYYMMDDHHMI FILE
        local dir=$tree/DATA/RDR/SITE/$1/${2:0:6}/${2:6:2}
        mkdir -p "$dir"
        ln -sf "$(cd "$(dirname "$3")" && pwd)/$(basename "$3")" "$dir/RDR_$1_$2.uf"
    }
    site_image() {  # site_image OUT_NAME QUERY: the PNG of one answer
        local answer=$out/$1.answer
        QUERY_STRING=$2 RDR_ROOT=$tree "$siteview" >"$answer" 2>"$answer.err"
        if head -c 31 "$answer" | cmp -s - <(printf 'Content-type: image/png\r\n\r\n\x89PNG') &&
            ! [ -s "$answer.err" ]; then
            tail -c +28 "$answer" >"$out/$1"
            made+=("$out/$1")
        else
            echo "demo: siteview could not draw $1: $(cat "$answer.err")" >&2
            failed=1
        fi
        rm -f "$answer" "$answer.err"
    }
    # The volume's start time in KST, as rdr info prints it.
    local tm
    tm=$("$rdr" info "$synth" | sed -n 's/.*volume time \([0-9]*\)-\([0-9]*\)-\([0-9]*\) \([0-9]*\):\([0-9]*\).*/\1\2\3\4\5/p')
    link_volume KWK "$tm" "$synth"
    local q="site=KWK&tm=$tm"
    site_image siteview_ppi.png "$q&product=PPI"
    site_image siteview_velocity.png "$q&product=PPI&field=VR&sweep=1"
    site_image siteview_cappi_1500m.png "$q&product=CAPPI&height=1500&stations=1"
    site_image siteview_cmax_480km.png "$q&product=CMAX&window=480"
    site_image siteview_etop.png "$q&product=ETOP"
    site_image siteview_vil.png "$q&product=VIL"
    site_image siteview_rain_rate.png "$q&product=BASE&field=RN"
    site_image siteview_cross_section.png \
        "$q&product=CROSS&lon1=126.55&lat1=37.10&lon2=127.70&lat2=37.95"
    if [ -f "${klix:-}" ]; then
        link_volume KLIX 200508290301 "$klix"
        site_image siteview_klix_ppi_480km.png "site=KLIX&tm=200508290301&product=PPI&window=480&map=0"
        site_image siteview_klix_velocity.png "site=KLIX&tm=200508290301&product=PPI&field=VR&sweep=1&map=0"
    fi
}

# The composite image program: compview answers queries from a synthetic composite tree (a
# squall line with convective cells over the peninsula, every composite kind, forecasts and
# weather stations); when rdr product can place a product on a composite grid, the demo
# volume's own CAPPI is drawn from the packed grids it writes too.
composite_images() {
    local compview=$build/compview/compview writer=$build/compview/compview_demo_tree
    local tree=$out/compview_root tm=202607151530
    for f in "$compview" "$writer"; do
        [ -x "$f" ] || { echo "demo: $f is missing" >&2; failed=1; return; }
    done
    rm -rf "$tree"
    mkdir -p "$tree"
    ln -s "$RDR_ROOT/rdr" "$tree/rdr"
    ln -s "$RDR_ROOT/srv" "$tree/srv"
    "$writer" "$tree" "$tm"
    comp_image() {  # comp_image OUT_NAME QUERY: the PNG of one answer
        local answer=$out/$1.answer
        QUERY_STRING=$2 RDR_ROOT=$tree "$compview" >"$answer" 2>"$answer.err"
        if head -c 31 "$answer" | cmp -s - <(printf 'Content-type: image/png\r\n\r\n\x89PNG') &&
            ! [ -s "$answer.err" ]; then
            tail -c +28 "$answer" >"$out/$1"
            made+=("$out/$1")
        else
            echo "demo: compview could not draw $1: $(cat "$answer.err")" >&2
            failed=1
        fi
        rm -f "$answer" "$answer.err"
    }
    local q="tm=$tm"
    comp_image compview_cappi_rain.png "kind=comp240&$q&cells=1&symbols=1"
    comp_image compview_cappi_dbz_central_3d.png "kind=comp240&$q&unit=CZ&window=central&shadow=1&cells=1"
    comp_image compview_etop.png "kind=comp240&$q&product=ETOP"
    comp_image compview_vil_south.png "kind=comp240&$q&product=VIL&window=south"
    comp_image compview_480_rain.png "kind=comp480&$q&cells=1"
    comp_image compview_kcj_snow_jeju.png "kind=kcj&$q&unit=SN&window=jeju"
    comp_image compview_vsrf_2h.png "kind=vsrf&$q&lead=120&symbols=1"
    comp_image compview_vsrf_contour_1h.png "kind=vsrf&$q&lead=60&view=contour"
    comp_image compview_vsrf_guide.png "kind=vsrf&$q&view=guide"
    comp_image compview_maple_cells_3h.png "kind=maple&$q&lead=180&view=cells"
    # The value under Seoul as the point service answers it.
    if QUERY_STRING="answer=point&kind=comp240&$q&lon=126.98&lat=37.57" RDR_ROOT=$tree \
        "$compview" >"$out/compview_point_seoul.txt" 2>/dev/null; then
        made+=("$out/compview_point_seoul.txt (rain rate at Seoul, text answer)")
    fi
    # The demo volume's CAPPI on the composite grids, packed by rdr product.
    if "$rdr" product --help 2>&1 | grep -q -- '--composite-grid'; then
        local vtm dir
        vtm=$("$rdr" info "$synth" | sed -n 's/.*volume time \([0-9]*\)-\([0-9]*\)-\([0-9]*\) \([0-9]*\):\([0-9]*\).*/\1\2\3\4\5/p')
        dir=$tree/DATA/RDR/COMP/${vtm:0:6}/${vtm:6:2}
        mkdir -p "$dir"
        if "$rdr" product "$synth" --product CAPPI --height 1.5 --composite-grid comp240 \
            -o "$dir/RDR_CMP_CAPPI_NOQC_$vtm.bin.gz" >/dev/null &&
            "$rdr" product "$synth" --product CAPPI --height 1.5 --composite-grid comp480 \
                -o "$dir/RDR_CMP480_$vtm.bin.gz" >/dev/null; then
            comp_image compview_volume_comp240.png "kind=comp240&tm=$vtm&unit=CZ&window=central"
            comp_image compview_volume_comp480.png "kind=comp480&tm=$vtm&window=central"
        else
            echo "demo: rdr product could not write the composite grids" >&2
            failed=1
        fi
    fi
}

# The lightning map program: lgtview answers queries from a data tree holding a synthetic
# day of strikes along the demo volume's squall line (the day of the volume).
lightning_images() {
    local lgtview=$build/lgtview/lgtview tree=$out/lgtview_root
    local writer=$build/lgtview/lgtview_fixture_tree
    [ -x "$lgtview" ] && [ -x "$writer" ] || { echo "demo: $lgtview is missing" >&2; failed=1; return; }
    rm -rf "$tree"
    mkdir -p "$tree"
    ln -s "$RDR_ROOT/rdr" "$tree/rdr"
    ln -s "$RDR_ROOT/srv" "$tree/srv"
    local tm
    tm=$("$rdr" info "$synth" | sed -n 's/.*volume time \([0-9]*\)-\([0-9]*\)-\([0-9]*\) \([0-9]*\):\([0-9]*\).*/\1\2\3\4\5/p')
    "$writer" "$tree" --day "${tm:0:8}" --strikes 20000 --dup-percent 10
    lightning_image() {  # lightning_image OUT_NAME QUERY: the PNG of one answer
        local answer=$out/$1.answer
        QUERY_STRING=$2 RDR_ROOT=$tree "$lgtview" >"$answer" 2>"$answer.err"
        if head -c 31 "$answer" | cmp -s - <(printf 'Content-type: image/png\r\n\r\n\x89PNG') &&
            ! [ -s "$answer.err" ]; then
            tail -c +28 "$answer" >"$out/$1"
            made+=("$out/$1")
        else
            echo "demo: lgtview could not draw $1: $(cat "$answer.err")" >&2
            failed=1
        fi
        rm -f "$answer" "$answer.err"
    }
    local end=${tm:0:8}2359
    lightning_image lightning_by_age.png "product=LGTTIME&tm=$end&intv=240"
    lightning_image lightning_by_current.png "product=LGTINTN&tm=$end&intv=1440&map=SE"
    lightning_image lightning_day.png "product=LGTAREA&tm=$end&intv=1&map=KR&src=VYQ"
    lightning_image lightning_legend.png "product=LGTTIME&tm=$end&intv=240&legend=1&height=400"
}

# The same radar on the national composite grids, with the composite map lines.
image "$synth" composite_240_cmax.png --product CMAX --image-kind COMP_240
image "$synth" composite_kcj_cappi_rain.png --product CAPPI --height 1.5 --field RN --image-kind COMP_KCJ

klix=
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

site_images
composite_images
lightning_images

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
