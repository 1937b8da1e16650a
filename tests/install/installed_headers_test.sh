#!/usr/bin/env bash
# Every installed header stands on its own: it compiles with nothing but the install
# prefix's include folders and the system's, and includes no private (internal/) header
# or test support, none of which may be installed.
#   installed_headers_test.sh CXX PREFIX [FLAGS...]
set -uo pipefail
cxx=$1
prefix=$2
shift 2
flags=("$@")
include=$prefix/${RDR_INSTALL_INCLUDEDIR:-include}/rdr
fail=0
command -v "$cxx" > /dev/null || { echo "SKIP: no compiler $cxx"; exit 77; }
[ -d "$include" ] || { echo "FAIL: $include is missing (run install_tree first)"; exit 1; }

strays=$(find "$include" \( -path '*/internal*' -o -path '*/testing*' -o ! -type d ! -name '*.h' \))
if [ -n "$strays" ]; then
    echo "FAIL: private or non-header files installed:"
    echo "$strays"
    fail=1
fi
if grep -nE '#[[:space:]]*include[[:space:]]*[<"](.*/)?(internal|testing)/' -r "$include"; then
    echo "FAIL: installed headers include private headers or test support (above)"
    fail=1
fi

# The radar core's headers see include/rdr, the display library's include/rdr/display;
# both see the shared include/rdr/common.
compile() {  # compile HEADER INCLUDE_DIR
    if ! "$cxx" -std=c++20 -Wall -Wextra -Werror -fsyntax-only "${flags[@]}" -I"$2" \
        -I"$include/common" -x c++ "$1" 2>&1; then
        echo "FAIL: $1 does not compile on its own"
        fail=1
    fi
}
count=0
for h in "$include"/*.h "$include"/common/*.h; do
    compile "$h" "$include"
    count=$((count + 1))
done
for h in "$include"/display/*.h; do
    [ -e "$h" ] || continue
    compile "$h" "$include/display"
    count=$((count + 1))
done
echo "$count installed headers checked"
exit $fail
