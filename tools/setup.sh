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
# What the program needs to build and run; the tests need a few more.
program_packages="qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev cmake g++ ninja-build ffmpeg fonts-dejavu-core
                  qt6-translations-l10n"
test_packages="libx11-dev xvfb xauth x11-utils desktop-file-utils appstream util-linux dbus-daemon locales espeak-ng"

case "$mode" in
run)
    # Find out first whether there is anywhere to show the window, before any
    # package is installed or anything is built.
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "There is no display to show Quorvid's window on." >&2
        echo "Start this from a desktop session, or with DISPLAY set to a running X server." >&2
        exit 1
    fi
    # shellcheck disable=SC2086
    need_packages $program_packages
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVID_TESTS=OFF ${QUORVID_CMAKE_ARGS:-}
    cmake --build "$build" --parallel --target quorvid
    exec "$build/quorvid"
    ;;
test)
    # shellcheck disable=SC2086
    need_packages $program_packages $test_packages
    # The number fields are tested under a German locale as well; the tests skip
    # that, saying so, where the locale cannot be made.
    if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
        if [ "$(id -u)" -eq 0 ]; then
            localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "Could not make the locale de_DE.UTF-8." >&2
        else
            echo "The locale de_DE.UTF-8 is missing; its tests will be skipped. As root:" >&2
            echo "  localedef -i de_DE -f UTF-8 de_DE.UTF-8" >&2
        fi
    fi
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVID_TESTS=ON ${QUORVID_CMAKE_ARGS:-}
    cmake --build "$build" --parallel
    cd "$build"
    exec ctest --output-on-failure --timeout 900
    ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
