#!/usr/bin/env bash
# Each man page renders with man -l and without groff warnings, and each program the
# project installs has one.
#   man_pages_render_test.sh PAGE...
set -uo pipefail
fail=0
declare -A have=()
for page in "$@"; do
    name=$(basename "$page" .1)
    have[$name]=1
    warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || { echo "FAIL: $name: groff warnings:"; echo "$warnings"; fail=1; }
    if command -v man > /dev/null; then
        text=$(MANWIDTH=80 man -l "$page" 2>&1)
        grep -q "^NAME" <<< "$text" || { echo "FAIL: $name: man -l shows no NAME section"; fail=1; }
    fi
done
for program in rdr sitebln precipview siteview compview lgtview; do
    [ -n "${have[$program]:-}" ] || { echo "FAIL: $program has no man page"; fail=1; }
done
exit $fail
