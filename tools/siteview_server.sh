# Sourced by the siteview load and benchmark scripts: serves siteview from Debian's
# lighttpd on a loopback port against a data tree holding the synthetic demo volume.
#   siteview_server_start BUILD WORK   sets SITEVIEW_URL (ends in "?") and SITEVIEW_TM
#   siteview_server_stop
# BUILD is a Release build directory with bin/rdr, siteview/siteview and the staged root.

. "$(dirname "${BASH_SOURCE[0]}")/../tests/fixtures/cgi_server.sh"

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
    mkdir -p "$dir"
    mv "$work/synthetic.uf" "$dir/RDR_KWK_$SITEVIEW_TM.uf"
    cgi_server_start "$work" "$root" "$build/siteview/siteview" siteview "${SITEVIEW_ENV:-}" ||
        return 1
    SITEVIEW_URL=$CGI_SERVER_URL
}

siteview_server_stop() {
    cgi_server_stop
}
