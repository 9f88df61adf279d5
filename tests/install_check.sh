#!/bin/sh
# Installs into a staging folder and checks the result: the program beside its
# manual, the command symlink, the desktop files (validated) and the icons.
set -eu
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
program=$(readlink -f "$stage/usr/bin/quorvid")
[ -x "$program" ] || { echo "no program behind usr/bin/quorvid"; exit 1; }
[ "$program" = "$stage/usr/lib/quorvid/quorvid" ] || [ -f "$(dirname "$program")/quorvid" ]
[ -f "$(dirname "$program")/doc/index.html" ] || { echo "manual not beside $program"; exit 1; }
desktop-file-validate "$stage/usr/share/applications/org.example.quorvid.desktop"
appstreamcli validate --no-net "$stage/usr/share/metainfo/org.example.quorvid.metainfo.xml"
for size in 48 64 128; do
    # Width and height stand in the PNG header at bytes 16 to 23.
    [ "$(od -An -tu1 -j16 -N8 "$stage/usr/share/icons/hicolor/${size}x${size}/apps/quorvid.png" | tr -s ' ')" = \
      " 0 0 0 $size 0 0 0 $size" ] || { echo "no ${size}x${size} icon"; exit 1; }
done
# "Öffnen mit": the entry takes files and names concrete types, as does the metainfo.
grep -q '^Exec=quorvid %F$' "$stage/usr/share/applications/org.example.quorvid.desktop"
grep -q '^MimeType=video/x-msvideo;.*audio/mpeg;' "$stage/usr/share/applications/org.example.quorvid.desktop"
if grep -q '^MimeType=.*/\*' "$stage/usr/share/applications/org.example.quorvid.desktop"; then
    echo "wildcard MIME type"; exit 1
fi
grep -q '<mediatype>video/mp4</mediatype>' "$stage/usr/share/metainfo/org.example.quorvid.metainfo.xml"
[ -f "$stage/usr/share/icons/hicolor/scalable/apps/quorvid.svg" ]
echo "install ok: $program"
