#!/usr/bin/env bash
# Each program starts once per file or web request, so it must not load libraries its work
# never calls: libgd is linked from its static archives, without the shared libgd's HEIF,
# AVIF, TIFF, WebP and X11 libraries. Runs each program on a short piece of work and lists
# what the dynamic loader opened.
#   program_libraries_test.sh STAGED_ROOT RDR CGI_PROGRAM...
set -euo pipefail
root=${1:?usage: program_libraries_test.sh STAGED_ROOT RDR CGI_PROGRAM...}
rdr=${2:?}
shift 2
work=$(mktemp -d "${TMPDIR:-/tmp}/program-libraries.XXXXXX")
trap 'rm -rf "$work"' EXIT
export RDR_ROOT=$root TZ=UTC

unwanted='/lib(gd|tiff|heif|avif|webp|X11|Xpm|x265|aom|dav1d|de265)\.so'
failures=0
check() {  # check NAME COMMAND...: the libraries one run loads
    local name=$1
    shift
    "$@" >/dev/null 2>"$work/loader" || true
    local loaded
    loaded=$(sed -n 's/.*calling init: //p' "$work/loader" | sort -u)
    if [ -z "$loaded" ]; then
        echo "FAIL $name: the loader's trace is empty" >&2
        failures=$((failures + 1))
    elif grep -E "$unwanted" <<<"$loaded" >"$work/extra"; then
        echo "FAIL $name loads $(tr '\n' ' ' <"$work/extra")" >&2
        failures=$((failures + 1))
    else
        echo "ok   $name: $(wc -l <<<"$loaded") libraries"
    fi
}

"$rdr" synth-volume "$work/volume.uf" >/dev/null
check "rdr --help" env LD_DEBUG=libs "$rdr" --help
check "rdr image" env LD_DEBUG=libs "$rdr" image "$work/volume.uf" --product PPI -o "$work/ppi.png"
[ -s "$work/ppi.png" ] || { echo "FAIL rdr image wrote no image" >&2; failures=$((failures + 1)); }
for cgi in "$@"; do
    # An empty query is refused with the error image: drawing it starts libgd and its fonts.
    check "$(basename "$cgi")" env LD_DEBUG=libs QUERY_STRING= "$cgi"
done
exit $((failures > 0))
