#!/usr/bin/env bash
# Stages the resource tree for tests and the demo: copies resources/ (laid out like the
# installation roots) into DEST and links the fonts in from the Debian font packages.
set -euo pipefail
src=$1
dest=$2
mkdir -p "$dest"
cp -a "$src/." "$dest/"

link_font() {  # link_font SYSTEM_FILE DEST_RELATIVE_PATH
    local from=$1 to=$dest/$2
    mkdir -p "$(dirname "$to")"
    if [ -f "$from" ]; then
        ln -sfn "$from" "$to"
    else
        echo "stage_root: font $from is missing (install its Debian package)" >&2
    fi
}

nanum=/usr/share/fonts/truetype/nanum/NanumGothic.ttf
gulim=/usr/share/fonts/truetype/baekmuk/gulim.ttf
times=/usr/share/fonts/truetype/liberation/LiberationSerif-Regular.ttf
timesbd=/usr/share/fonts/truetype/liberation/LiberationSerif-Bold.ttf
arialbd=/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf

link_font "$nanum" rdr/www/cgi-src/resource/font/NanumGothic.ttf
link_font "$gulim" rdr/www/cgi-src/resource/font/gulim.ttc
link_font "$times" rdr/www/cgi-src/resource/font/times.ttf
link_font "$arialbd" rdr/www/cgi-src/resource/font/arialbd.ttf
link_font "$nanum" rdr/REF/FONT/NanumGothic.ttf
link_font "$gulim" rdr/REF/FONT/gulim.ttc
link_font "$arialbd" rdr/REF/FONT/arialbd.ttf
link_font "$times" rdr/REF/FONT/times.ttf
link_font "$nanum" srv/brem/cgi_project/resource/font/NanumGothic.ttf
link_font "$gulim" srv/brem/cgi_project/resource/font/gulim.ttc
link_font "$times" srv/brem/cgi_project/resource/font/times.ttf
link_font "$timesbd" srv/brem/cgi_project/resource/font/timesbd.ttf
link_font "$arialbd" srv/brem/cgi_project/resource/font/arialbd.ttf
link_font "$gulim" usr/share/fonts/korean/TrueType/gulim.ttf
