#!/usr/bin/env bash
# The README's "Running the tools" commands, run exactly as written, from a folder laid out
# like a fresh clone beside the sample data: build/release is the build being tested and
# ../shared/data the samples. Exits 77 (skipped) without the samples.
#   readme_examples_test.sh README BUILD_DIR DATA_DIR
set -uo pipefail
readme=$1 build=$2 data=$3
if [ ! -d "$data" ]; then
    echo "sample data folder $data is absent"
    exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/readme.XXXXXX")
trap 'rm -rf "$work"' EXIT
# build/release: the build's programs, with a copy of its staged root, so that what the
# examples write there (sitebln's files) stays out of the build.
mkdir -p "$work/clone/build/release" "$work/shared"
build=$(cd "$build" && pwd)
for entry in "$build"/*; do
    [ "$(basename "$entry")" = root ] || ln -s "$entry" "$work/clone/build/release/"
done
cp -a "$build/root" "$work/clone/build/release/root"
ln -s "$(cd "$data" && pwd)" "$work/shared/data"

# The first shell block after the heading.
awk '/^## Running the tools/ { on = 1 } on && /^```sh$/ { block = 1; next }
     block && /^```$/ { exit } block { print }' "$readme" > "$work/examples.sh"
[ -s "$work/examples.sh" ] || { echo "FAIL: no shell block under 'Running the tools'"; exit 1; }

cd "$work/clone"
if ! env -u RDR_ROOT bash -e -o pipefail -x "$work/examples.sh" > "$work/log" 2>&1; then
    tail -n 20 "$work/log"
    echo "FAIL: a README example failed"
    exit 1
fi
echo "every README example ran"
