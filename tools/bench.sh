#!/usr/bin/env bash
# Builds Quorvid optimized and prints the benchmark table (Markdown). Run
# tools/setup.sh once before, so that the Debian packages are there.
#   tools/bench.sh [startup|single|batch|lists|parsing|jobs|recovery ...]
#   tools/bench.sh xvfb [batch ...]   (on an X server of its own: start-up and memory from outside,
#                                      then the named parts with the window shown)
#   tools/bench.sh sizes [x264 x265 VP9 AV1] [still fast noise animation fractal phone 1080p long]
#                                              (outputs made to a size against the size; about two
#                                               hours on two cores, VP9 alone about one)
#   tools/bench.sh encoders [H.264 VP9 H.265 AV1]  (presets against HandBrakeCLI's, which it installs
#                                               as root; about 20 minutes on two cores)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUORVID_BENCH_BUILD_DIR:-$here/build-bench}
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVID_TESTS=OFF >/dev/null
if [ "${1:-}" = encoders ]; then
    cmake --build "$build" --parallel --target quorvid
    shift
    exec nice "$here/tools/encoderbench.sh" "$build/quorvid" "$@"
fi
if [ "${1:-}" = xvfb ]; then
    # On a real X server of its own: start-up and memory measured from outside
    # against the floor, then the named parts of the benchmark (the batch run by
    # default) with the window shown there.
    shift
    cmake --build "$build" --parallel --target quorvid quorvid_bench quorvid_xstartup
    scratch=$(mktemp -d)
    trap 'kill "$xvfb" 2>/dev/null; rm -rf "$scratch"' EXIT
    Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
    xvfb=$!
    for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
    export DISPLAY=":$(cat "$scratch/display")" QT_QPA_PLATFORM=xcb
    export XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data"
    status=0
    printf "| Measure | Result | Target | Met |\n|---|---|---|---|\n"
    "$build/bench/quorvid_xstartup" "$build/bench/bench_startup_floor" "$build/quorvid" || status=1
    "$build/bench/quorvid_bench" "${@:-batch}" || status=1
    exit $status
fi
if [ "${1:-}" = sizes ]; then
    cmake --build "$build" --parallel --target quorvid_sizebench
    shift
    exec nice "$build/bench/quorvid_sizebench" "$@"
fi
cmake --build "$build" --parallel --target quorvid_bench
exec "$build/bench/quorvid_bench" "$@"
