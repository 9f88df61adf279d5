#!/usr/bin/env bash
# Builds Quorvid optimized and prints the benchmark table (Markdown). Run
# tools/setup.sh once before, so that the Debian packages are there.
#   tools/bench.sh [startup|single|batch|lists|parsing|jobs|recovery ...]
#   tools/bench.sh sizes [x264 x265 VP9 AV1]   (outputs made to a size against the size; about two
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
if [ "${1:-}" = sizes ]; then
    cmake --build "$build" --parallel --target quorvid_sizebench
    shift
    exec nice "$build/bench/quorvid_sizebench" "$@"
fi
cmake --build "$build" --parallel --target quorvid_bench
exec "$build/bench/quorvid_bench" "$@"
