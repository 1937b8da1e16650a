#!/usr/bin/env bash
# Serves precipview from Debian's lighttpd as a CGI program on a loopback port, against a
# fixture tree, and checks the answers for every product and the refused requests.
#   web_server_test.sh PRECIPVIEW FIXTURE_TREE PNG_CHECK STAGED_ROOT LIGHTTPD CURL
set -euo pipefail
bin=$1 fixture_tree=$2 check=$3 staged=$4 lighttpd=${5:-} curl=${6:-}

# The server and the client are prerequisites of the suite (make test installs them): a
# missing one fails the test instead of leaving it out.
. "$(dirname "$0")/../../tests/fixtures/cgi_server.sh"
cgi_require_tools "$lighttpd" "$curl"
CGI_LIGHTTPD=$lighttpd CGI_CURL=$curl

work=$(mktemp -d "${TMPDIR:-/tmp}/precipview-web.XXXXXX")
cleanup() {
    cgi_server_stop
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
cgi_server_start "$work" "$root" "$bin" nph-precipview

failures=0
fetch() {  # fetch QUERY -> $work/body, $work/head; checks status and content type
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

# The program's own header lines end in CRLF (the server rewrites them, so the program is
# run directly), and a refusal's reason reaches the server log.
QUERY_STRING="obs=RNSN&size=576&map=XX&$tm" RDR_ROOT=$root "$bin" >"$work/raw" 2>"$work/raw.err" || true
if ! head -c 44 "$work/raw" | cmp -s - <(printf 'HTTP/1.0 200 OK\r\nContent-type: image/png\r\n\r\n'); then
    echo "FAIL: header lines do not end in CRLF" >&2
    failures=$((failures + 1))
fi
expect_image "obs=RNSN&size=576&map=XX&$tm" error=1 size=576
if ! grep -q '^precipview: unknown map window XX$' "$work/cgi-stderr.log" "$work/raw.err"; then
    echo "FAIL: no reason in the server log" >&2
    failures=$((failures + 1))
fi

if grep -E 'AddressSanitizer|LeakSanitizer|runtime error' "$work/error.log" "$work/cgi-stderr.log" >&2; then
    echo "FAIL: sanitizer report from the program" >&2
    failures=$((failures + 1))
fi
if [ "$failures" -ne 0 ]; then
    echo "$failures request(s) failed" >&2
    exit 1
fi
echo "all requests served"
