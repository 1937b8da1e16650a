#!/usr/bin/env bash
# The man page and the program agree: every command of `rdr --help` has its entry, every
# option a command's --help names is in the page and the page names no other, and the page
# renders without groff warnings.
#   man_page_test.sh RDR PAGE
set -uo pipefail
rdr=$1
page=$2
fail=0
options() { grep -oE -- '--[a-z][a-z-]*' | sort -u; }

commands=$("$rdr" --help | sed -n '/^commands:/,$p' | awk 'NR > 1 && NF { print $1 }')
[ -n "$commands" ] || { echo "FAIL: no commands in rdr --help"; exit 1; }
# Hyphens written as \- in the page read as plain ones here.
text=$(sed 's/\\-/-/g' "$page")
for c in $commands; do
    if ! grep -qx "\\.B $c" <<< "$text"; then
        echo "FAIL: command $c has no entry in the man page"
        fail=1
    fi
done
from_help=$({ "$rdr" --help; for c in $commands; do "$rdr" "$c" --help 2>&1; done; } | options | grep -vx -- --help | sort -u)
# --help itself is every command's and is named once in the page's description.
from_page=$(options <<< "$text" | grep -vx -- --help)
missing=$(comm -23 <(echo "$from_help") <(echo "$from_page"))
stale=$(comm -13 <(echo "$from_help") <(echo "$from_page"))
if [ -n "$missing" ]; then
    echo "FAIL: options missing from the man page: $(tr '\n' ' ' <<< "$missing")"
    fail=1
fi
if [ -n "$stale" ]; then
    echo "FAIL: options in the man page that rdr does not take: $(tr '\n' ' ' <<< "$stale")"
    fail=1
fi

if command -v groff > /dev/null; then
    warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || { echo "FAIL: groff warnings:"; echo "$warnings"; fail=1; }
else
    echo "note: groff is not installed; the page was not rendered"
fi
exit $fail
