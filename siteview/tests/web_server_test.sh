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
missing=
for tool in "lighttpd:$lighttpd" "curl:$curl" "python3:/usr/bin/python3"; do
    name=${tool%%:*} path=${tool#*:}
    case $path in *-NOTFOUND | "") path= ;; esac
    if [ -z "$path" ] || [ ! -x "$path" ]; then
        missing="$missing $name"
    fi
done
if [ -n "$missing" ]; then
    echo "FAIL: not installed:$missing (Debian packages; make test installs them)" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/siteview-web.XXXXXX")
server_pid=
cleanup() {
    if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
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

mkdir -p "$work/www/cgi-bin"
cp "$bin" "$work/www/cgi-bin/siteview"

port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/lighttpd.conf" <<CONF
server.document-root = "$work/www"
server.bind = "127.0.0.1"
server.port = $port
server.errorlog = "$work/error.log"
server.breakagelog = "$work/cgi-stderr.log"
server.modules = ("mod_setenv", "mod_cgi")
setenv.add-environment = (
    "RDR_ROOT" => "$root",
    "TZ" => "UTC",
    "ASAN_OPTIONS" => "${ASAN_OPTIONS:-detect_leaks=1}",
    "UBSAN_OPTIONS" => "${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
)
\$HTTP["url"] =~ "^/cgi-bin/" { cgi.assign = ("" => "") }
CONF
"$lighttpd" -D -f "$work/lighttpd.conf" &
server_pid=$!
for _ in $(seq 1 50); do
    "$curl" -s -o /dev/null "http://127.0.0.1:$port/" && break
    sleep 0.1
done

failures=0
fetch() {  # fetch QUERY -> $work/body, $work/head; checks status, content type and size
    local query=$1
    if ! "$curl" -s --path-as-is --max-time 120 -D "$work/head" -o "$work/body" \
        "http://127.0.0.1:$port/cgi-bin/siteview?$query"; then
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
