#!/usr/bin/env bash
# Builds the Debian package from a clean copy of the sources, checks package and
# source with lintian, installs the package with apt-get, tries the installed
# program (version, manual page, completion, a conversion without a window, the
# window under Xvfb and its manual), then purges it and checks that none of its
# files is left. Installs what it needs: run it as root on a Debian 12 machine
# (CI does, after the tests).
#   tools/package_check.sh [OUTPUT_DIR]     (default build-deb/: packages, logs)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:-$here/build-deb}
if [ "$(id -u)" -ne 0 ]; then
    echo "tools/package_check.sh installs and removes the package: please run it as root." >&2
    exit 2
fi
# shellcheck source=tools/packages.sh
. "$here/tools/packages.sh"
export DEBIAN_FRONTEND=noninteractive

work=$(mktemp -d /tmp/quorvid-package.XXXXXX)
xvfb_pid=
window_pid=
cleanup() {
    [ -n "$window_pid" ] && kill "$window_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "package check: $*" >&2
    exit 1
}
step() {
    echo "== $* (after ${SECONDS} s)"
}

step "tools"
need_packages dpkg-dev debhelper lintian xvfb xauth xdotool

step "clean copy of the sources"
# What git knows (committed, changed or new but not ignored): no build folders.
version=$(dpkg-parsechangelog -l "$here/debian/changelog" -S Version)
src=$work/quorvid-$version
mkdir "$src"
if git -C "$here" rev-parse --git-dir >/dev/null 2>&1; then
    git -C "$here" ls-files -z --cached --others --exclude-standard |
        tar -C "$here" --null --ignore-failed-read -T - -cf - | tar -C "$src" -xf -
else
    tar -C "$here" --exclude=./.git --exclude='./build' --exclude='./build-*' -cf - . | tar -C "$src" -xf -
fi
arch=$(dpkg --print-architecture)

step "build dependencies"
if ! (cd "$src" && dpkg-checkbuilddeps >/dev/null 2>&1); then
    apt-get update -qq
    apt-get build-dep -y -qq "$src"
fi

step "dpkg-buildpackage"
mkdir -p "$out"
if ! (cd "$src" && nice dpkg-buildpackage -us -uc -Jauto) >"$out/build.log" 2>&1; then
    tail -n 40 "$out/build.log"
    fail "the package did not build (whole log: $out/build.log)"
fi
deb=$work/quorvid_${version}_${arch}.deb
[ -f "$deb" ] || fail "no $(basename "$deb") after the build"
cp "$work"/quorvid*_"$version"* "$out/"

step "lintian"
# The .changes names the binary packages and the source: lintian checks them all.
lintian --display-info --fail-on error,warning "$work/quorvid_${version}_${arch}.changes" |
    tee "$out/lintian.txt" || fail "lintian reports errors or warnings (above)"
echo "lintian: $(grep -c . "$out/lintian.txt" || true) line(s)"

step "apt-get install"
if dpkg-query -W -f='${Status}' quorvid 2>/dev/null | grep -q ' installed$\| config-files$'; then
    apt-get purge -y -qq quorvid
fi
apt-get install -y -qq "$deb"
dpkg -L quorvid | sort >"$work/files"

step "the installed program"
[ "$(command -v quorvid)" = /usr/bin/quorvid ] || fail "quorvid is not /usr/bin/quorvid"
printed=$(env -u DISPLAY quorvid --version)
[ "$printed" = "quorvid $version" ] || fail "quorvid --version printed \"$printed\", the package is $version"
gzip -t /usr/share/man/man1/quorvid.1.gz || fail "no manual page"
# shellcheck disable=SC2016
bash -c '. /usr/share/bash-completion/completions/quorvid; COMP_WORDS=(quorvid --ver); COMP_CWORD=1
         _quorvid; [ "${COMPREPLY[*]}" = --version ]' || fail "the installed completion does not complete --ver"

home=$work/home
media=$work/media
mkdir -p "$home" "$media"
ffmpeg -v error -f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i sine=duration=1 -shortest \
    "$media/clip.avi" || fail "the test clip could not be made"
# A converted file holds a video and an audio stream and lasts about the clip's second.
probe_output() {
    local file=$1 streams duration
    streams=$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 "$file" | sort | paste -sd ' ')
    duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$file")
    [ "$streams" = "audio video" ] || fail "$file holds \"$streams\", not audio and video"
    awk -v d="$duration" 'BEGIN { exit !(d > 0.9 && d < 1.2) }' || fail "$file lasts $duration s, not 1 s"
}

# A one-job batch list, run without a window.
printf '%s\n' "-y,-i,$media/clip.avi,-vcodec,mpeg4,-acodec,libmp3lame,$media/clip-run.avi" >"$media/list.btc"
env -u DISPLAY HOME="$home" quorvid --run "$media/list.btc" || fail "quorvid --run ended with status $?"
probe_output "$media/clip-run.avi"

# The same clip converted from the command line with the default preset.
mkdir -p "$media/out"
env -u DISPLAY HOME="$home" quorvid --convert "$media/clip.avi" --output-dir "$media/out" ||
    fail "quorvid --convert ended with status $?"
probe_output "$media/out/clip.mp4"

step "the window under Xvfb"
# Xvfb writes the display number it took to descriptor 3.
Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
DISPLAY=:$(cat "$work/display")
export DISPLAY
# The desktop's opener for files, replaced by one that notes what it was given.
mkdir "$work/bin"
printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"%s"\n' "$work/opened" >"$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"
HOME=$home PATH=$work/bin:$PATH QT_QPA_PLATFORM=xcb /usr/bin/quorvid 2>"$work/window.log" &
window_pid=$!
# No window manager runs here: wait until the window is mapped, not active.
window=$(timeout 30 xdotool search --sync --onlyvisible --name "^Quorvid ${version//./\\.}\$" | head -n 1) ||
    fail "no window \"Quorvid $version\" mapped within 30 s: $(cat "$work/window.log")"
# Hilfe -> Anleitung (F1) hands the installed manual to the opener.
xdotool windowfocus --sync "$window" key F1
for _ in $(seq 100); do [ -s "$work/opened" ] && break; sleep 0.1; done
opened=$(cat "$work/opened" 2>/dev/null || true)
[ "$opened" = file:///usr/share/quorvid/doc/index.html ] || fail "F1 opened \"$opened\""
[ -f /usr/share/quorvid/doc/index.html ] || fail "the manual is not installed"
# Ctrl+Q closes the window; the program ends with 0.
xdotool key ctrl+q
status=0
timeout 10 tail --pid="$window_pid" -f /dev/null || fail "the window did not close within 10 s"
wait "$window_pid" || status=$?
window_pid=
[ "$status" -eq 0 ] || fail "the window ended with status $status: $(cat "$work/window.log")"
kill "$xvfb_pid"
xvfb_pid=

step "apt-get purge"
apt-get purge -y -qq quorvid
! dpkg-query -W -f='${Status}' quorvid 2>/dev/null | grep -q ' installed$\| config-files$' ||
    fail "quorvid is still known to dpkg after the purge"
left=0
while IFS= read -r path; do
    [ "$path" = /. ] && continue
    [ -e "$path" ] || [ -L "$path" ] || continue
    # A folder may stay when another package owns it too.
    if [ -d "$path" ] && [ ! -L "$path" ] && dpkg -S "$path" >/dev/null 2>&1; then
        continue
    fi
    echo "left behind: $path"
    left=1
done <"$work/files"
[ "$left" -eq 0 ] || fail "files of the package are left after the purge"

step "package check ok: quorvid $version"
