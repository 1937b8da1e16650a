#!/usr/bin/env bash
# Runs the site boundary-line tool for every radar site it knows, on the national map
# lines committed under resources/DATA/GIS/MAP, and writes the RDR_<site>_<n>_20100428.bln
# files into OUTDIR.
#
# Usage: tools/sitebln_all.sh OUTDIR [BUILD_DIR]   (BUILD_DIR default build/release)
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out_dir=${1:?usage: tools/sitebln_all.sh OUTDIR [BUILD_DIR]}
build_dir=${2:-$repo/build/release}
tool=$build_dir/bin/sitebln
[ -x "$tool" ] || { echo "sitebln_all.sh: $tool is not built" >&2; exit 1; }

mkdir -p "$out_dir"
out_dir=$(cd "$out_dir" && pwd)

# The tool reads and writes fixed installation paths under RDR_ROOT: give it a root whose
# map directory is the committed one and whose output directory is OUTDIR.
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/DATA/GIS" "$root/www/yek/cgi-src/rdr"
ln -s "$repo/resources/DATA/GIS/MAP" "$root/DATA/GIS/MAP"
ln -s "$out_dir" "$root/www/yek/cgi-src/rdr/bln"

sites="KWK KSN PSN CJU GNG DNH BRI IIA SCN TAG WNJ YCN KWJ RKJK RKSG GDK MYN MET SSP GSN"
failed=0
for site in $sites; do
    RDR_ROOT=$root "$tool" "$site" >/dev/null || failed=1
done
echo "boundary-line files of $(wc -w <<<"$sites") sites in $out_dir"
exit $failed
