#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine for Quorvid, builds it, and then either starts
# the program ("run") or runs every test ("test").
#   tools/setup.sh run     build and start Quorvid
#   tools/setup.sh test    build and run all tests
set -euo pipefail

mode=${1:-run}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUORVID_BUILD_DIR:-$here/build}

# shellcheck source=tools/packages.sh
. "$here/tools/packages.sh"
need_packages qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev libx11-dev cmake g++ ninja-build \
              ffmpeg xvfb xauth fonts-dejavu-core x11-utils desktop-file-utils appstream util-linux \
              qt6-translations-l10n dbus-daemon

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${QUORVID_CMAKE_ARGS:-}
cmake --build "$build" --parallel

case "$mode" in
run)
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "Quorvid is built ($build/quorvid), but there is no display to show its window on." >&2
        echo "Start it from a desktop session, or with DISPLAY set to a running X server." >&2
        exit 1
    fi
    exec "$build/quorvid"
    ;;
test)
    cd "$build"
    exec ctest --output-on-failure --timeout 900
    ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
