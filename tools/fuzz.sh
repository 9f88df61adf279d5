#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while, starting from
# the seed corpus in tests/fuzz/corpus. Any crash or sanitizer report fails.
#   tools/fuzz.sh [SECONDS]     (default 30 per target)
#   QUORVID_FUZZ_TARGETS="fuzz_runfiles" tools/fuzz.sh 20   (only the targets named)
set -euo pipefail

seconds=${1:-30}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUORVID_FUZZ_BUILD_DIR:-$here/build-fuzz}

# shellcheck source=tools/packages.sh
. "$here/tools/packages.sh"
need_packages clang libclang-rt-14-dev qt6-base-dev cmake ninja-build

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
      -DQUORVID_FUZZ=ON -DQUORVID_TESTS=OFF
targets=(fuzz_progress fuzz_info fuzz_outputname fuzz_batchfile fuzz_runfiles)
# QUORVID_FUZZ_TARGETS="fuzz_runfiles" runs only the ones named.
read -r -a targets <<<"${QUORVID_FUZZ_TARGETS:-${targets[*]}}"
cmake --build "$build" --parallel --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in "${targets[@]}"; do
    name=${target#fuzz_}
    work=$build/corpus/$name
    mkdir -p "$work"
    echo "== $target: $seconds s"
    status=0
    "$build/tests/fuzz/$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/$name-" "$work" "$here/tests/fuzz/corpus/$name" \
        >"$build/$name.log" 2>&1 || status=$?
    grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|SUMMARY|Done)" "$build/$name.log" || true
    if [ "$status" -ne 0 ]; then
        tail -60 "$build/$name.log" >&2
        echo "$target found a fault (exit $status); the input is in $build/$name-*" >&2
        exit 1
    fi
done
echo "All fuzz targets ran without a finding."
