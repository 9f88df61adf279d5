#!/bin/sh
# "tools/setup.sh run" without a display says so at once: it installs nothing and
# builds nothing (a fresh build folder stays absent).
set -u
source_dir=$1
build=$(mktemp -d)/build
output=$(env -u DISPLAY -u WAYLAND_DISPLAY QUORVID_BUILD_DIR="$build" timeout 60 bash "$source_dir/tools/setup.sh" run 2>&1)
status=$?
[ "$status" -eq 1 ] || { echo "exit status $status, expected 1: $output"; exit 1; }
echo "$output" | grep -q "no display" || { echo "no word of the display: $output"; exit 1; }
[ ! -e "$build" ] || { echo "it built in $build without a display"; exit 1; }
rm -rf "$(dirname "$build")"
echo "setup without display ok"
