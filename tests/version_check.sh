#!/bin/sh
# The version is set once, in CMakeLists.txt; the program prints it. The files
# that name it as well must agree: the package's changelog, the newest release of
# the metainfo, and the manual's title.
#   version_check.sh VERSION SOURCE_DIR PROGRAM
set -u
version=$1
source_dir=$2
program=$3
status=0
check() { # what, found
    if [ "$2" != "$version" ]; then
        echo "$1 says \"$2\", CMakeLists.txt says \"$version\""
        status=1
    fi
}
printed=$("$program" --version)
check "quorvid --version" "${printed#quorvid }"
check "debian/changelog" "$(sed -n '1s/^quorvid (\([^)]*\)).*/\1/p' "$source_dir/debian/changelog")"
check "the metainfo's newest release" \
      "$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$source_dir/data/org.example.quorvid.metainfo.xml" | head -n 1)"
check "the manual's title" "$(sed -n 's|.*<title>Quorvid \(.*\) – Anleitung</title>.*|\1|p' "$source_dir/doc/index.html")"
[ "$status" -eq 0 ] && echo "version $version everywhere"
exit "$status"
