#!/usr/bin/env bash
# Builds tests/install/consumer outside the source tree against the install prefix, the way
# another project would, then runs it: it loads a volume through the format registry,
# computes a CAPPI and draws it with RDR_ROOT on the installed resource tree.
#   consumer_test.sh cmake CMAKE GENERATOR MAKE_PROGRAM CXX PREFIX WORK SAMPLE [FLAGS...]
#   consumer_test.sh pkg-config CXX PREFIX WORK SAMPLE [FLAGS...]
# SAMPLE is a UF sample file; when it is absent the installed rdr writes a synthetic volume.
# FLAGS go to both compiling and linking (the sanitizer build passes its own).
set -uo pipefail
mode=$1
shift
if [ "$mode" = cmake ]; then
    cmake=$1 generator=$2 make_program=$3
    shift 3
fi
cxx=$1 prefix=$2 work=$3 sample=$4
shift 4
flags=("$@")
libdir=${RDR_INSTALL_LIBDIR:-lib}

command -v "$cxx" > /dev/null || { echo "SKIP: no compiler $cxx"; exit 77; }
if [ "$mode" = pkg-config ]; then
    command -v pkg-config > /dev/null || { echo "SKIP: pkg-config is not installed"; exit 77; }
fi
if [ ! -d "$prefix/$libdir" ]; then
    echo "FAIL: $prefix is not installed (run install_tree first)"
    exit 1
fi

rm -rf "$work"
mkdir -p "$work"
# A copy, so that nothing can reach back into the source tree by a relative path.
cp -r "$(dirname "$0")/consumer" "$work/src"
program=$work/build/rdr_consumer

case $mode in
cmake)
    if ! "$cmake" -S "$work/src" -B "$work/build" -G "$generator" \
        -DCMAKE_MAKE_PROGRAM="$make_program" -DCMAKE_CXX_COMPILER="$cxx" \
        -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF \
        -DCMAKE_CXX_FLAGS="${flags[*]}" -DCMAKE_EXE_LINKER_FLAGS="${flags[*]}" \
        > "$work/configure.log" 2>&1; then
        cat "$work/configure.log"
        echo "FAIL: configuring the consumer with find_package(rdr)"
        exit 1
    fi
    # The package must come from the prefix, not from anywhere else CMake looks.
    found=$(sed -n 's/^rdr_DIR:PATH=//p' "$work/build/CMakeCache.txt")
    if [ "$(realpath "$found")" != "$(realpath "$prefix/$libdir/cmake/rdr")" ]; then
        echo "FAIL: find_package(rdr) found $found, not the prefix's package"
        exit 1
    fi
    if ! "$cmake" --build "$work/build" > "$work/build.log" 2>&1; then
        cat "$work/build.log"
        echo "FAIL: building the consumer with find_package(rdr)"
        exit 1
    fi
    root=$(sed -n 's/^-- rdr package: .*, resource tree: //p' "$work/configure.log")
    ;;
pkg-config)
    export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
    mkdir -p "$work/build"
    # Word splitting of the pkg-config answer is intended.
    # shellcheck disable=SC2046
    if ! "$cxx" -std=c++20 -Wall -Wextra -Werror "${flags[@]}" -o "$program" \
        "$work/src/rdr_consumer.cc" $(pkg-config --cflags --libs rdr-core); then
        echo "FAIL: building the consumer with pkg-config --cflags --libs rdr-core"
        exit 1
    fi
    root=$(pkg-config --variable=resourceroot rdr-core)
    ;;
*)
    echo "consumer_test.sh: unknown mode $mode"
    exit 2
    ;;
esac
if [ ! -d "$root/rdr" ]; then
    echo "FAIL: the package names '$root' as its resource tree"
    exit 1
fi

volume=$sample
if [ ! -f "$volume" ]; then
    volume=$work/synthetic.uf
    if ! "$prefix/${RDR_INSTALL_BINDIR:-bin}/rdr" synth-volume --bins 240 "$volume"; then
        echo "FAIL: the installed rdr could not write a synthetic volume"
        exit 1
    fi
fi
if ! RDR_ROOT=$root "$program" "$volume" "$work/cappi.png"; then
    echo "FAIL: the consumer could not draw a CAPPI of $volume"
    exit 1
fi
signature=$(od -An -tx1 -N8 "$work/cappi.png" | tr -d ' \n')
if [ "$signature" != 89504e470d0a1a0a ]; then
    echo "FAIL: $work/cappi.png is not a PNG (starts $signature)"
    exit 1
fi
if command -v pngcheck > /dev/null && ! pngcheck -q "$work/cappi.png"; then
    echo "FAIL: pngcheck rejects $work/cappi.png"
    exit 1
fi
echo "consumer built with $mode: $work/cappi.png"
