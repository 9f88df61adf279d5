#!/bin/sh
# Installs into a staging folder and checks the result: the program and the
# manual where it looks for it, the manual page, the bash completion, the desktop
# files (validated) and the icons.
set -eu
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
program=$stage/usr/bin/quorvid
[ -f "$program" ] && [ -x "$program" ] || { echo "no program usr/bin/quorvid"; exit 1; }
# The program reaches it as ../share/quorvid/doc from its own folder.
[ -f "$stage/usr/share/quorvid/doc/index.html" ] && [ -f "$stage/usr/share/quorvid/doc/screenshot.png" ] ||
    { echo "no manual in usr/share/quorvid/doc"; exit 1; }
[ -f "$stage/usr/share/man/man1/quorvid.1" ] || { echo "no manual page"; exit 1; }
[ -f "$stage/usr/share/bash-completion/completions/quorvid" ] || { echo "no bash completion"; exit 1; }
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
