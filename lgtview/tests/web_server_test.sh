#!/usr/bin/env bash
# Serves lgtview from Debian's lighttpd as a CGI program on a loopback port, against the
# fixture tree of lgtview_fixture_tree, and checks the answers: every product on both file
# layouts and every map window, the legend alone, and hostile or unservable requests (each
# the error image with its reason, exit status 0).
#   web_server_test.sh LGTVIEW FIXTURE_TREE PNG_CHECK STAGED_ROOT LIGHTTPD CURL
set -euo pipefail
bin=$1 fixture_tree=$2 check=$3 staged=$4 lighttpd=${5:-} curl=${6:-}

. "$(dirname "$0")/../../tests/fixtures/cgi_server.sh"
cgi_require_tools "$lighttpd" "$curl"
CGI_LIGHTTPD=$lighttpd CGI_CURL=$curl

work=$(mktemp -d "${TMPDIR:-/tmp}/lgtview-web.XXXXXX")
cleanup() {
    cgi_server_stop
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

root=$work/root
for part in rdr srv/brem/cgi_project; do
    mkdir -p "$root/$(dirname "$part")"
    cp -a "$staged/$part" "$root/$part"
done
"$fixture_tree" "$root"

cgi_server_start "$work" "$root" "$bin" lgtview

failures=0
fetch() {  # fetch QUERY -> $work/body, $work/head
    local query=$1
    if ! "$curl" -s --path-as-is --max-time 60 -D "$work/head" -o "$work/body" \
        "$CGI_SERVER_URL$query"; then
        echo "FAIL: no answer for $query" >&2
        return 1
    fi
    if ! head -n 1 "$work/head" | grep -q '^HTTP/1\.[01] 200'; then
        echo "FAIL: status $(head -n 1 "$work/head") for $query" >&2
        return 1
    fi
    if ! grep -qi '^content-type: image/png' "$work/head"; then
        echo "FAIL: content type for $query" >&2
        return 1
    fi
}
expect_image() {  # expect_image QUERY CHECK_ARGS...
    local query=$1
    shift
    if fetch "$query" && RDR_ROOT=$root "$check" "$work/body" "$@"; then
        echo "ok   $query"
    else
        echo "FAIL $query" >&2
        failures=$((failures + 1))
    fi
}

tm=201307151230
hour="title=LIGHTNING 1 HOUR 2013.07.15. 12:30(KST)"
day="title=LIGHTNING 2013.07.14. 12:31 ~ 2013.07.15. 12:30(KST)"
for src in NX1 VYQ; do
    expect_image "product=LGTTIME&tm=$tm&intv=10&src=$src" kind=map product=LGTTIME map=SK src=$src "$hour"
    expect_image "product=LGTINTN&tm=$tm&intv=60&src=$src&map=KR" kind=map product=LGTINTN map=KR src=$src "$hour"
    expect_image "product=LGTAREA&tm=$tm&intv=1&src=$src" kind=map product=LGTAREA map=SK src=$src "$day"
    expect_image "product=LGTVWORLD&tm=$tm&intv=10&src=$src&map=KR" kind=map product=LGTVWORLD map=KR src=$src
done
for product in LGTTIME LGTINTN LGTAREA LGTVWORLD; do
    expect_image "product=$product&tm=$tm&legend=1&height=400" kind=legend product=$product height=400
done

long=$(printf 'a%.0s' $(seq 1 600))
hostile=(
    ""
    "product=LGTTIME&tm=$tm&_=$long"
    "product=LGTTIME&tm=$tm&map=../../../etc"
    "product=LGTTIME&tm=$tm&map=SK%2f..%2f.."
    "product=%25s%25n%25x%25n&tm=$tm"
    "product=LGTTIME&tm=201302301230"
    "product=LGTTIME&tm=$tm&intv=99999999999"
    "product=LGTTIME&tm=$tm&legend=1&height=5"
    "product=LGTTIME&tm=$tm&src=NX1&src=VYQ"
    "product=LGTTIME&tm=$tm&%3Cscript%3E=1"
    "product=LGTAREA&tm=$tm&intv=400"
)
for query in "${hostile[@]}"; do
    expect_image "$query" kind=error
    if ! QUERY_STRING=$query RDR_ROOT=$root "$bin" >"$work/direct" 2>"$work/direct.err"; then
        echo "FAIL: exit status $? for $query" >&2
        failures=$((failures + 1))
    elif ! head -c 31 "$work/direct" | cmp -s - <(printf 'Content-type: image/png\r\n\r\n\x89PNG'); then
        echo "FAIL: answer headers for $query" >&2
        failures=$((failures + 1))
    elif ! grep -q '^lgtview: ' "$work/direct.err"; then
        echo "FAIL: no reason on stderr for $query" >&2
        failures=$((failures + 1))
    fi
done

if grep -E 'AddressSanitizer|LeakSanitizer|runtime error' "$work/error.log" "$work/cgi-stderr.log" >&2; then
    echo "FAIL: sanitizer report from the program" >&2
    failures=$((failures + 1))
fi
if [ "$failures" -ne 0 ]; then
    echo "$failures request(s) failed" >&2
    exit 1
fi
echo "all requests served"
