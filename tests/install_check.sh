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
[ -f "$stage/usr/share/icons/hicolor/48x48/apps/quorvid.png" ]
[ -f "$stage/usr/share/icons/hicolor/scalable/apps/quorvid.svg" ]
echo "install ok: $program"
