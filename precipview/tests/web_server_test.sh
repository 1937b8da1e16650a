#!/usr/bin/env bash
# Serves precipview from Debian's lighttpd as a CGI program on a loopback port, against a
# fixture tree, and checks the answers for every product and the refused requests.
#   web_server_test.sh PRECIPVIEW FIXTURE_TREE PNG_CHECK STAGED_ROOT LIGHTTPD CURL
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

work=$(mktemp -d "${TMPDIR:-/tmp}/precipview-web.XXXXXX")
server_pid=
cleanup() {
    if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# The fixture tree: the staged resources plus one analysis time and its observations.
root=$work/root
for part in rdr/REF DATA/GIS usr/share/fonts/korean; do
    mkdir -p "$root/$(dirname "$part")"
    cp -a "$staged/$part" "$root/$part"
done
"$fixture_tree" "$root" 202612071230

# The program writes its own status line: it is served under an nph- name.
mkdir -p "$work/www/cgi-bin"
cp "$bin" "$work/www/cgi-bin/nph-precipview"

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
fetch() {  # fetch QUERY -> $work/body, $work/head; checks status and content type
    local query=$1
    if ! "$curl" -s --path-as-is --max-time 60 -D "$work/head" -o "$work/body" \
        "http://127.0.0.1:$port/cgi-bin/nph-precipview?$query"; then
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

tm=tm=202612071237  # 12:35 is missing: the 12:30 file is served
for obs in RNEX RNSN RNSN1 RNSN2 AREA TW HSR RN15X; do
    expect_image "obs=$obs&map=HR&size=576&$tm" obs=$obs size=576
    expect_image "obs=$obs&map=HR&size=576&$tm&legend=0" obs=$obs size=576 legend=0
    expect_image "obs=$obs&map=HR&size=576&$tm&gis=T" obs=$obs size=576 gis=T
    expect_image "obs=$obs&map=HR&size=576&$tm&zoom_level=1&zoom_x=2&zoom_y=2" \
        obs=$obs size=576 zoom=1
    expect_image "obs=$obs&map=HR&size=576&$tm&zoom_level=3&zoom_x=2&zoom_y=2&aws=6&gis=T" \
        obs=$obs size=576 zoom=1 gis=T stations=1
done
expect_image "obs=HSR&map=HR&size=576&$tm&zoom_level=3&aws=3&gis=T&griddisp=1" \
    obs=HSR size=576 gis=T stations=1

# The smallest and largest images served.
expect_image "obs=RNSN&map=HR&size=100&$tm" obs=RNSN size=100
expect_image "obs=RNSN&map=HR&size=3000&$tm&legend=0" obs=RNSN size=3000 legend=0

# Refused or unservable requests: the grey error image, never a crash.
for query in \
    "" \
    "obs=RNSN" \
    "obs=RNSN&size=576&map=../../etc" \
    "obs=RNSN&size=576&gis=..%2f..%2f" \
    "obs=RNSN&size=576&cmp=%25s%25n" \
    "obs=NOPE&size=576&$tm" \
    "obs=RNSN&size=576&map=XX&$tm" \
    "obs=RNSN&size=576&zoom_x=123456789012345678901234567890" \
    "obs=RNSN&size=99999999&$tm" \
    "obs=RNSN&size=99&$tm" \
    "obs=RNSN&size=3001&$tm" \
    "obs=RNSN&size=576&tm=202602301200" \
    "obs=RNSN&size=576&tm=202612071222" \
    "obs=RNSN&size=576&tm=199001011200"; do
    size=576
    case $query in *size=576*) ;; *) size=600 ;; esac
    expect_image "$query" error=1 size=$size
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
