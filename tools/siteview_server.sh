# Sourced by the siteview load and benchmark scripts: serves siteview from Debian's
# lighttpd on a loopback port against a data tree holding the synthetic demo volume.
#   siteview_server_start BUILD WORK   sets SITEVIEW_URL (ends in "?") and SITEVIEW_TM
#   siteview_server_stop
# BUILD is a Release build directory with bin/rdr, siteview/siteview and the staged root.

siteview_server_pid=

siteview_server_start() {
    local build=$1 work=$2
    local lighttpd
    lighttpd=$(command -v lighttpd || echo /usr/sbin/lighttpd)
    for f in "$build/bin/rdr" "$build/siteview/siteview" "$lighttpd"; do
        [ -x "$f" ] || { echo "siteview server: $f is missing" >&2; return 1; }
    done
    local root=$work/root
    mkdir -p "$root"
    ln -s "$build/root/rdr" "$root/rdr"
    ln -s "$build/root/srv" "$root/srv"
    "$build/bin/rdr" synth-volume "$work/synthetic.uf" >/dev/null
    SITEVIEW_TM=$("$build/bin/rdr" info "$work/synthetic.uf" |
        sed -n 's/.*volume time \([0-9]*\)-\([0-9]*\)-\([0-9]*\) \([0-9]*\):\([0-9]*\).*/\1\2\3\4\5/p')
    local dir=$root/DATA/RDR/SITE/KWK/${SITEVIEW_TM:0:6}/${SITEVIEW_TM:6:2}
    mkdir -p "$dir" "$work/www/cgi-bin"
    mv "$work/synthetic.uf" "$dir/RDR_KWK_$SITEVIEW_TM.uf"
    cp "$build/siteview/siteview" "$work/www/cgi-bin/siteview"
    local port
    port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    cat >"$work/lighttpd.conf" <<CONF
server.document-root = "$work/www"
server.bind = "127.0.0.1"
server.port = $port
server.errorlog = "$work/error.log"
server.breakagelog = "$work/cgi-stderr.log"
server.modules = ("mod_setenv", "mod_cgi")
setenv.add-environment = ("RDR_ROOT" => "$root", "TZ" => "UTC"${SITEVIEW_ENV:+, $SITEVIEW_ENV})
\$HTTP["url"] =~ "^/cgi-bin/" { cgi.assign = ("" => "") }
CONF
    "$lighttpd" -D -f "$work/lighttpd.conf" &
    siteview_server_pid=$!
    SITEVIEW_URL="http://127.0.0.1:$port/cgi-bin/siteview?"
    for _ in $(seq 1 50); do
        curl -s -o /dev/null "http://127.0.0.1:$port/" && return 0
        sleep 0.1
    done
    echo "siteview server: lighttpd did not start" >&2
    return 1
}

siteview_server_stop() {
    if [ -n "$siteview_server_pid" ] && kill -0 "$siteview_server_pid" 2>/dev/null; then
        kill "$siteview_server_pid" 2>/dev/null || true
        wait "$siteview_server_pid" 2>/dev/null || true
    fi
    siteview_server_pid=
}
