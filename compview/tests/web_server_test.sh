#!/usr/bin/env bash
# Serves compview from Debian's lighttpd as a CGI program on a loopback port, against the
# fixture tree of compview_fixture_tree, and checks the answers: every composite kind, every
# forecast lead and view, every overlay, the point values (places found with Debian's
# invproj on the composite's own grid, values from the pattern by hand), and hostile or
# unservable requests (each the no-data image or a text error, exit status 0).
#   web_server_test.sh COMPVIEW FIXTURE_TREE PNG_CHECK STAGED_ROOT LIGHTTPD CURL
set -euo pipefail
export LC_ALL=C
bin=$1 fixture_tree=$2 check=$3 staged=$4 lighttpd=${5:-} curl=${6:-}

. "$(dirname "$0")/../../tests/fixtures/cgi_server.sh"
cgi_require_tools "$lighttpd" "$curl"
CGI_LIGHTTPD=$lighttpd CGI_CURL=$curl
invproj=$(command -v invproj || true)
[ -x "$invproj" ] || { echo "FAIL: not installed: invproj (Debian package proj-bin)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/compview-web.XXXXXX")
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

cgi_server_start "$work" "$root" "$bin" compview

failures=0
failed() {
    echo "FAIL $*" >&2
    failures=$((failures + 1))
}
fetch() {  # fetch QUERY TYPE -> $work/body, $work/head
    local query=$1 type=$2
    if ! "$curl" -s --path-as-is --max-time 120 -D "$work/head" -o "$work/body" \
        "$CGI_SERVER_URL$query"; then
        echo "no answer for $query" >&2
        return 1
    fi
    if ! head -n 1 "$work/head" | grep -q '^HTTP/1\.[01] 200'; then
        echo "status $(head -n 1 "$work/head") for $query" >&2
        return 1
    fi
    if ! grep -qi "^content-type: $type" "$work/head"; then
        echo "content type for $query" >&2
        return 1
    fi
}
expect_image() {  # expect_image QUERY CHECK_ARGS...
    local query=$1
    shift
    if fetch "$query" image/png && RDR_ROOT=$root "$check" "$work/body" "$@"; then
        echo "ok   $query"
    else
        failed "$query"
    fi
}

tm=202607151530
k="tm=$tm"
# The byte composite: units, windows, interpolation and every overlay.
expect_image "kind=comp240&$k&map=0" kind=image source=dbz unit=RN window=korea map=0
expect_image "kind=comp240&$k&unit=CZ&map=0&cells=1" kind=image source=dbz unit=CZ \
    window=korea map=0 cells=1
expect_image "kind=comp240&$k&unit=DZ&smooth=0&legend=0&map=0" kind=image source=dbz \
    unit=DZ smooth=0 legend=0 map=0 window=korea
expect_image "kind=comp240&$k&unit=SN&window=central&symbols=1" kind=image source=dbz \
    unit=SN window=central symbols=1
expect_image "kind=comp240&$k&product=ETOP&shadow=1&map=0" kind=image source=etop window=korea \
    map=0
expect_image "kind=comp240&$k&symbols=1&cells=1" kind=image source=dbz unit=RN window=korea \
    symbols=1 cells=1
# The float and wide-area composites.
expect_image "kind=comp480&$k&map=0" kind=image source=rain unit=RN window=korea map=0
expect_image "kind=comp480&$k&unit=DZ&window=south&legend=0" kind=image source=rain unit=DZ \
    window=south legend=0
expect_image "kind=kcj&$k&map=0&cells=1" kind=image source=rain unit=RN window=korea map=0 cells=1
expect_image "kind=kcj&$k&unit=SN&window=jeju&map=0" kind=image source=rain unit=SN window=jeju \
    map=0
# Forecasts: every lead of the hourly forecast, the ten-minute fields the fixture holds, and
# the views.
for lead in 0 60 120 180 240 300 360; do
    expect_image "kind=vsrf&$k&lead=$lead&map=0" kind=image source=forecast unit=RN \
        window=korea map=0 lead=$((lead / 60))
done
for lead in 0 60 180 360; do
    expect_image "kind=maple&$k&lead=$lead&map=0" kind=image source=forecast unit=RN \
        window=korea map=0 lead=$((lead / 60)) maple=1
done
for kind in vsrf maple; do
    m=$([ $kind = maple ] && echo 1 || echo 0)
    expect_image "kind=$kind&$k&lead=180&view=cells" kind=image source=forecast unit=RN \
        window=korea view=cells lead=3 maple=$m
    expect_image "kind=$kind&$k&lead=60&view=contour&symbols=1" kind=image source=forecast \
        unit=RN window=korea view=contour lead=1 symbols=1 maple=$m
    expect_image "kind=$kind&$k&view=guide&window=central" kind=image source=forecast unit=RN \
        window=central view=guide maple=$m
done

# Point values at the centre of pattern block (3, 3): 20 km east and 20 km south of the
# reference point 126 E 38 N on the composite's own grid; block (6, 7) lies 380 km east and
# 500 km south; the missing block (1, 0) 220 km west and 340 km north.
place() {  # place X_KM Y_KM -> "lon=..&lat=.."
    echo "$1 $2" | "$invproj" -f '%.6f' +proj=lcc +R=6371008.77 +lat_1=30 +lat_2=60 \
        +lon_0=126 +lat_0=38 +units=km | awk '{ printf "lon=%s&lat=%s", $1, $2 }'
}
b33=$(place 20 -20)
b67=$(place 380 -500)
b10=$(place -220 340)
expect_point() {  # expect_point QUERY VALUE ("-" or a number, matched within 0.011)
    local query=$1 want=$2 got
    if ! fetch "$query" text/html; then
        failed "$query"
        return
    fi
    got=$(tr -d '\r' <"$work/body" | head -n 1)
    if [ "$(od -An -c "$work/body" | tr -d ' \n' | tail -c 8)" != '\r\n\r\n' ]; then
        failed "$query: the answer does not end in CRLF CRLF"
    elif [ "$want" = - ] && [ "$got" = - ]; then
        echo "ok   $query -> $got"
    elif [ "$want" != - ] && awk -v g="$got" -v w="$want" \
        'BEGIN { exit !(g ~ /^-?[0-9]+\.[0-9][0-9]$/ && g - w < 0.011 && w - g < 0.011) }'; then
        echo "ok   $query -> $got"
    else
        failed "$query: answered '$got', expected $want"
    fi
}
# Block (3, 3) holds 29 dBZ (byte composite) and 3.5 mm/h; block (6, 7) 53 dBZ and 75 mm/h;
# the forecasts move the pattern one block east per hour: 1.3 mm/h at one hour, 7.5 at six.
# Rain from dBZ: (10^(dBZ/10) / 200)^(1/1.6); dBZ from rain: 10 log10(200) + 16 log10(R).
rate29=$(awk 'BEGIN { printf "%.2f", (10^2.9 / 200)^(1 / 1.6) }')
snow53=$(awk 'BEGIN { printf "%.2f", (10^5.3 / 2000)^(1 / 2) }')
dbz35=$(awk 'BEGIN { printf "%.2f", 10 * log(200) / log(10) + 16 * log(3.5) / log(10) }')
p="answer=point"
expect_point "$p&kind=comp240&$k&$b33" "$rate29"
expect_point "$p&kind=comp240&$k&unit=DZ&$b33" 29.00
expect_point "$p&kind=comp240&$k&unit=SN&$b67" "$snow53"
expect_point "$p&kind=comp240&$k&product=ETOP&$b33" 4.00
expect_point "$p&kind=comp480&$k&$b33" 3.50
expect_point "$p&kind=comp480&$k&unit=CZ&$b33" "$dbz35"
expect_point "$p&kind=kcj&$k&$b67" 75.00
expect_point "$p&kind=vsrf&$k&lead=60&$b33" 1.30
expect_point "$p&kind=maple&$k&lead=360&$b33" 7.50
expect_point "$p&kind=comp240&$k&$b10" -
expect_point "$p&kind=kcj&$k&lon=100&lat=10" -

# Refused or unservable requests: the no-data image (the whole-country size) or a text
# error, never a crash, exit status 0.
long=$(printf 'a%.0s' $(seq 1 600))
hostile_images=(
    "kind=comp240&$k&_=$long"
    "kind=../../../etc&$k"
    "kind=comp240%2f..%2f..&$k"
    "kind=comp240&$k&product=%25s%25n%25x%25n"
    "kind=comp240&$k&window=..%2f..%2fDATA"
    "kind=comp240&tm=202602301530"
    "kind=comp240&tm=202607151200"
    "kind=comp240&$k&product=CMAX"
    "kind=kcj&tm=202607151600"
    "kind=comp480&tm=202607151610"
    "kind=vsrf&tm=202607151700&lead=360"
    "kind=vsrf&tm=202607151700&view=guide"
    ""
)
hostile_texts=(
    "answer=point&kind=comp240&$k&lon=500&lat=37"
    "answer=point&kind=vsrf&tm=202607151700&lead=360&lon=127&lat=37"
    "answer=point&kind=kcj&tm=202607151600&lon=127&lat=37"
)
run_direct() {  # run_direct QUERY HEADER: exit status 0, the header, a reason on stderr
    local query=$1 header=$2
    if ! QUERY_STRING=$query RDR_ROOT=$root "$bin" >"$work/direct" 2>"$work/direct.err"; then
        failed "exit status $? for $query"
    elif ! head -c ${#header} "$work/direct" | cmp -s - <(printf '%s' "$header"); then
        failed "answer headers for $query"
    elif ! grep -q '^compview: ' "$work/direct.err"; then
        failed "no reason on stderr for $query"
    elif grep -q "$root" "$work/direct"; then
        failed "a server path in the answer to $query"
    fi
}
for query in "${hostile_images[@]}"; do
    expect_image "$query" kind=nodata width=526 height=600
    run_direct "$query" $'Content-type: image/png\r\n\r\n\x89PNG'
done
for query in "${hostile_texts[@]}"; do
    if fetch "$query" text/html && grep -q '^error: [a-z]' "$work/body"; then
        echo "ok   $query -> $(head -n 1 "$work/body" | tr -d '\r')"
    else
        failed "$query"
    fi
    run_direct "$query" $'Content-type: text/html\r\n\r\nerror: '
done

if grep -E 'AddressSanitizer|LeakSanitizer|runtime error' "$work/error.log" "$work/cgi-stderr.log" >&2; then
    failed "sanitizer report from the program"
fi
if [ "$failures" -ne 0 ]; then
    echo "$failures request(s) failed" >&2
    exit 1
fi
echo "all requests served"
