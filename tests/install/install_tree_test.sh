#!/usr/bin/env bash
# Installs the build into a fresh prefix (the other install tests use it) and checks the
# layout: libraries without test objects, the package files, programs that run, the man page,
# and a resource tree whose fonts resolve.
#   install_tree_test.sh CMAKE BUILD_DIR PREFIX
# Directories under the prefix come from the environment (GNUInstallDirs names).
set -uo pipefail
cmake=$1
build=$2
prefix=$3
libdir=${RDR_INSTALL_LIBDIR:-lib}
bindir=${RDR_INSTALL_BINDIR:-bin}
cgidir=${RDR_INSTALL_CGIDIR:-libexec/rdr/cgi-bin}
mandir=${RDR_INSTALL_MANDIR:-share/man}
root=$prefix/${RDR_INSTALL_ROOTDIR:-share/rdr/root}
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; fi; }

rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
if ! "$cmake" --install "$build" --prefix "$prefix" > "$prefix.log" 2>&1; then
    cat "$prefix.log"
    echo "FAIL: cmake --install"
    exit 1
fi

for f in "$libdir/librdr_core.a" "$libdir/libcgi_display.a" \
    "$libdir/cmake/rdr/rdrConfig.cmake" "$libdir/cmake/rdr/rdrConfigVersion.cmake" \
    "$libdir/cmake/rdr/rdrTargets.cmake" "$libdir/pkgconfig/rdr-core.pc" \
    include/rdr/volume_formats.h include/rdr/common/rdr_root.h "$mandir/man1/rdr.1" "$mandir/man1/sitebln.1" \
    "$mandir/man1/siteview.1" "$mandir/man1/precipview.1" "$mandir/man1/compview.1" \
    "$mandir/man1/lgtview.1"; do
    check "installed $f" "[ -s '$prefix/$f' ]"
done
for lib in rdr_core cgi_display; do
    check "no test objects in lib$lib.a" \
        "! ar t '$prefix/$libdir/lib$lib.a' | grep -E '_test\\.cc|fixture'"
done
for p in "$bindir/rdr" "$bindir/sitebln" "$cgidir/precipview"; do
    check "program $p" "[ -x '$prefix/$p' ]"
done
check "installed rdr runs" "RDR_ROOT='$root' '$prefix/$bindir/rdr' --help | grep -q '^usage: rdr'"
# The installed rdr finds its resource tree under its prefix without RDR_ROOT.
scratch=$(mktemp -d)
env -u RDR_ROOT "$prefix/$bindir/rdr" synth-volume --bins 60 "$scratch/v.uf" > /dev/null
check "installed rdr draws without RDR_ROOT" \
    "env -u RDR_ROOT '$prefix/$bindir/rdr' image '$scratch/v.uf' --product PPI -o '$scratch/v.png' > /dev/null && [ -s '$scratch/v.png' ]"
rm -rf "$scratch"

check "colour tables" "ls '$root'/rdr/www/cgi-src/resource/color/*.col > /dev/null"
check "map window table" "[ -s '$root/rdr/REF/MAP/map.ini' ]"
for font in "$root/rdr/www/cgi-src/resource/font/NanumGothic.ttf" "$root/rdr/REF/FONT/times.ttf"; do
    check "font $font is a link to the system font" "[ -L '$font' ] && [ -s '$font' ]"
done
exit $fail
