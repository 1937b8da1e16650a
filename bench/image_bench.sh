#!/usr/bin/env bash
# Whole-process benchmark of `rdr image`: a CAPPI at 1.5 km drawn as PNG (range rings and
# stations on) from the synthetic 10-sweep UF volume, run RUNS times on one core. Prints the
# median wall time of the whole process, its CPU time, and the median of each stage that
# `rdr image --timings` reports (load, tables, product, image data, overlays, panels,
# encode); the rest of the wall time is process start-up and exit.
#
# Two volumes: the demo's (10 sweeps x 360 rays x 480 bins, DZ and VR) and one of the size
# the load benchmark uses (10 x 360 x 1000 bins x 6 moments, 44 MB).
#
# Usage: bench/image_bench.sh BUILD_DIR [RUNS]   (a Release build)
set -euo pipefail

build=$(cd "${1:?usage: bench/image_bench.sh BUILD_DIR [RUNS]}" && pwd)
runs=${2:-15}
rdr=$build/bin/rdr
export RDR_ROOT=$build/root
export TZ=UTC
[ -x "$rdr" ] || { echo "image_bench: $rdr is missing" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pin=()
command -v taskset >/dev/null && pin=(taskset -c 0)
for shape in "480 2" "1000 6"; do
read -r bins fields <<<"$shape"
"$rdr" synth-volume --bins "$bins" --fields "$fields" "$work/volume.uf"
args=(image "$work/volume.uf" --product CAPPI --height 1.5 --rings --stations --timings
      -o "$work/cappi.png")

"${pin[@]}" "$rdr" "${args[@]}" >/dev/null 2>&1  # warm the page cache
for ((i = 0; i < runs; i++)); do
    start=$(date +%s%N)
    stages=$( { /usr/bin/env time -f 'cpu %U %S' "${pin[@]}" "$rdr" "${args[@]}" >/dev/null; } 2>&1)
    end=$(date +%s%N)
    echo "wall $(( (end - start) / 1000 ))" "${stages//$'\n'/ }"
done >"$work/runs.txt"

awk -v runs="$runs" -v bins="$bins" -v fields="$fields" '
    function median(name,   n, i, j, t, v) {
        n = split(values[name], v, " ")
        for (i = 2; i <= n; i++) { t = v[i]; for (j = i - 1; j >= 1 && v[j] > t; j--) v[j + 1] = v[j]; v[j + 1] = t }
        return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
    }
    {
        values["wall"] = values["wall"] " " $2 / 1e6
        for (i = 3; i <= NF; i++) {
            if ($i == "cpu") { values["cpu"] = values["cpu"] " " ($(i + 1) + $(i + 2)); i += 2 }
            else if ($(i + 1) ~ /^[0-9.]+$/) { values[$i] = values[$i] " " $(i + 1); i++ }
        }
    }
    END {
        printf "rdr image CAPPI 1.5 km -> PNG, synthetic UF volume of 10 sweeps x 360 rays x %d bins x %d moments, %d runs, medians:\n", bins, fields, runs
        printf "  %-12s %8.4f s\n", "whole (wall)", median("wall")
        printf "  %-12s %8.4f s\n", "whole (cpu)", median("cpu")
        split("load tables product image-data overlays panels encode", order, " ")
        for (k = 1; k <= 7; k++) { s = median(order[k]); sum += s; printf "  %-12s %8.4f s\n", order[k], s }
        printf "  %-12s %8.4f s\n", "start/exit", median("wall") - sum
    }' "$work/runs.txt"
done
