#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine for Quorvid, builds it, and then either starts
# the program ("run") or runs every test ("test").
#   tools/setup.sh run     build and start Quorvid
#   tools/setup.sh test    build and run all tests
set -euo pipefail

mode=${1:-run}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUORVID_BUILD_DIR:-$here/build}

packages=(qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev libx11-dev cmake g++ ninja-build
          ffmpeg xvfb xauth fonts-dejavu-core x11-utils desktop-file-utils appstream util-linux)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -eq 0 ]; then
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends "${missing[@]}"
    else
        echo "Quorvid needs these Debian packages. Install them with:" >&2
        echo "  sudo apt-get install ${missing[*]}" >&2
        exit 1
    fi
fi

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
