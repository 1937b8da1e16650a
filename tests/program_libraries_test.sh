#!/usr/bin/env bash
# Each program starts once per file or web request, so it must not load libraries its work
# never calls: libgd is linked from its static archives, without the shared libgd's HEIF,
# AVIF, TIFF, WebP and X11 libraries; libnetcdf (with the shared libhdf5, curl, gnutls) is
# opened only when a CF/Radial file is read, and libeccodes only for BUFR and GRIB. Runs each
# program on a short piece of work and lists what the dynamic loader opened, dlopen included.
#   program_libraries_test.sh STAGED_ROOT DATA RDR CGI_PROGRAM...   (DATA: sample files)
set -euo pipefail
root=${1:?usage: program_libraries_test.sh STAGED_ROOT DATA RDR CGI_PROGRAM...}
data=${2:?}
rdr=${3:?}
shift 3
work=$(mktemp -d "${TMPDIR:-/tmp}/program-libraries.XXXXXX")
trap 'rm -rf "$work"' EXIT
export RDR_ROOT=$root TZ=UTC

unwanted='/lib(gd|tiff|heif|avif|webp|X11|Xpm|x265|aom|dav1d|de265|netcdf|eccodes|hdf5[a-z_]*|curl[a-z-]*)\.so'
failures=0
check() {  # check NAME [WANTED] COMMAND...: the libraries one run loads
    local name=$1 wanted=
    shift
    if [ "$1" != env ]; then
        wanted=$1
        shift
    fi
    "$@" >/dev/null 2>"$work/loader" || true
    local loaded
    loaded=$(sed -n 's/.*calling init: //p' "$work/loader" | sort -u)
    if [ -z "$loaded" ]; then
        echo "FAIL $name: the loader's trace is empty" >&2
        failures=$((failures + 1))
    elif [ -n "$wanted" ]; then
        if grep -qE "$wanted" <<<"$loaded"; then
            echo "ok   $name: $(wc -l <<<"$loaded") libraries"
        else
            echo "FAIL $name does not load $wanted" >&2
            failures=$((failures + 1))
        fi
    elif grep -E "$unwanted" <<<"$loaded" >"$work/extra"; then
        echo "FAIL $name loads $(tr '\n' ' ' <"$work/extra")" >&2
        failures=$((failures + 1))
    else
        echo "ok   $name: $(wc -l <<<"$loaded") libraries"
    fi
}

"$rdr" synth-volume "$work/volume.uf" >/dev/null
check "rdr --help" env LD_DEBUG=libs "$rdr" --help
check "rdr info (UF)" env LD_DEBUG=libs "$rdr" info "$work/volume.uf"
check "rdr image" env LD_DEBUG=libs "$rdr" image "$work/volume.uf" --product PPI -o "$work/ppi.png"
[ -s "$work/ppi.png" ] || { echo "FAIL rdr image wrote no image" >&2; failures=$((failures + 1)); }
# A CF/Radial file opens libnetcdf, and the volume is read through it.
cfradial=$data/cfradial/example_cfradial_ppi.nc
if [ -f "$cfradial" ]; then
    check "rdr info (CF/Radial)" '/libnetcdf\.so' env LD_DEBUG=libs "$rdr" info "$cfradial"
    "$rdr" info "$cfradial" | grep -q '(CF/Radial)' ||
        { echo "FAIL rdr info does not read $cfradial" >&2; failures=$((failures + 1)); }
else
    echo "skip rdr info (CF/Radial): $cfradial is absent"
fi
# ODIM files are read by the static libhdf5 built into the program.
odim=$data/odim_hdf5/knmi_polar_volume.h5
if [ -f "$odim" ]; then
    check "rdr info (ODIM)" env LD_DEBUG=libs "$rdr" info "$odim"
fi
for cgi in "$@"; do
    # An empty query is refused with the error image: drawing it starts libgd and its fonts.
    check "$(basename "$cgi")" env LD_DEBUG=libs QUERY_STRING= "$cgi"
done
exit $((failures > 0))
