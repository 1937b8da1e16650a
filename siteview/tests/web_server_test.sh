#!/usr/bin/env bash
# Serves siteview from Debian's lighttpd as a CGI program on a loopback port, against the
# fixture tree of siteview_fixture_tree, and checks the answers: every product in both
# windows, the overlays, a cross-section, and hostile or unservable requests (each the
# no-data image with its reason, exit status 0).
#   web_server_test.sh SITEVIEW FIXTURE_TREE PNG_CHECK STAGED_ROOT LIGHTTPD CURL
set -euo pipefail
bin=$1 fixture_tree=$2 check=$3 staged=$4 lighttpd=${5:-} curl=${6:-}

# The server and the client are prerequisites of the suite (make test installs them): a
# missing one fails the test instead of leaving it out.
. "$(dirname "$0")/../../tests/fixtures/cgi_server.sh"
cgi_require_tools "$lighttpd" "$curl"
CGI_LIGHTTPD=$lighttpd CGI_CURL=$curl

work=$(mktemp -d "${TMPDIR:-/tmp}/siteview-web.XXXXXX")
cleanup() {
    cgi_server_stop
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# The fixture tree: the staged resources the drawing reads plus the pattern volumes.
root=$work/root
for part in rdr srv/brem/cgi_project; do
    mkdir -p "$root/$(dirname "$part")"
    cp -a "$staged/$part" "$root/$part"
done
"$fixture_tree" "$root"

cgi_server_start "$work" "$root" "$bin" siteview

failures=0
fetch() {  # fetch QUERY -> $work/body, $work/head; checks status, content type and size
    local query=$1
    if ! "$curl" -s --path-as-is --max-time 120 -D "$work/head" -o "$work/body" \
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
    if [ "$(stat -c %s "$work/body")" -lt 2000 ]; then
        echo "FAIL: an answer of $(stat -c %s "$work/body") bytes for $query" >&2
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

site="site=KWK&tm=202612071230"
for window in 240 480; do
    for product in PPI CAPPI CMAX BASE ETOP VIL; do
        expect_image "$site&product=$product&window=$window&rings=0&map=0" \
            kind=plan product=$product field=DZ window=$window
    done
    expect_image "$site&product=PPI&field=VR&window=$window&rings=0&map=0&sweep=3" \
        kind=plan product=PPI field=VR window=$window
    expect_image "$site&product=CMAX&window=$window&rings=1&map=0" \
        kind=plan product=CMAX field=DZ window=$window rings=1
    expect_image "$site&product=BASE&window=$window&rings=0&map=1&stations=1" \
        kind=plan product=BASE field=DZ window=$window map=1 stations=1
done
# The gzip volume, found two minutes back; a cross-section from 60 km south-west of the
# radar to 60 km north-east.
expect_image "site=KWK&tm=202612071242&product=CAPPI&height=2000&rings=0&map=0" \
    kind=plan product=CAPPI field=DZ window=240
for window in 240 480; do
    expect_image "$site&product=CROSS&window=$window&lon1=126.4846&lat1=37.0598&lon2=127.4509&lat2=37.8227" \
        kind=cross field=DZ
done

# Refused or unservable requests: the no-data image, never a crash, exit status 0.
long=$(printf 'a%.0s' $(seq 1 600))
hostile=(
    "site=KWK&tm=202612071230&product=PPI&_=$long"
    "site=../../../etc&tm=202612071230&product=PPI"
    "site=KWK%2f..%2f..&tm=202612071230&product=PPI"
    "site=KWK&tm=202612071230&product=%25s%25n%25x%25n"
    "site=KWK&tm=202612071230&product=PPI&field=%25n%25n"
    "site=XYZ&tm=202612071230&product=PPI"
    "site=KWK&tm=202602301230&product=PPI"
    "site=KWK&tm=202612072561&product=PPI"
    "site=KWK&tm=202612071340&product=PPI"
    "site=KWK&tm=202612071305&product=PPI"
    "site=KWK&tm=202612071252&product=PPI"
    "site=KWK&tm=202612071310&product=PPI&field=VR"
    "site=KWK&tm=202612071230&product=PPI&sweep=19"
    "site=KWK&tm=202612071230&product=CROSS&lon1=126.9&lat1=37.4&lon2=126.9&lat2=37.4"
    "site=KWK&tm=202612071230&product=CROSS&lon1=120&lat1=30&lon2=127.4&lat2=37.8"
    ""
)
for query in "${hostile[@]}"; do
    expect_image "$query" kind=nodata
    # The same request run directly: exit status 0, CRLF headers, the reason on stderr.
    if ! QUERY_STRING=$query RDR_ROOT=$root "$bin" >"$work/direct" 2>"$work/direct.err"; then
        echo "FAIL: exit status $? for $query" >&2
        failures=$((failures + 1))
    elif ! head -c 31 "$work/direct" | cmp -s - <(printf 'Content-type: image/png\r\n\r\n\x89PNG'); then
        echo "FAIL: answer headers for $query" >&2
        failures=$((failures + 1))
    elif ! grep -q '^siteview: ' "$work/direct.err"; then
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
