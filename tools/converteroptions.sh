#!/usr/bin/env bash
# Writes resources/converteroptions.txt: which words of the converter's command
# line are options and whether each takes a value. The write check reads it to
# tell an option's value from an output name. Measured, not guessed: every option
# of the converter's own table is tried once with "-v debug", whose log says how
# the command line was split; the names of codec, format and resampler options
# (all of which take a value) come from "-h full".
#   tools/converteroptions.sh [FFMPEG]
set -euo pipefail

ffmpeg=${1:-ffmpeg}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$here/resources/converteroptions.txt
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" # "-report" and the like write into the working folder

help=$work/help.txt
"$ffmpeg" -hide_banner -h full >"$help" 2>&1
version=$("$ffmpeg" -version | head -1)

# Try one option (with the word "debug", which -v and -loglevel accept too):
# "value" when the word after it was taken as its value, "flag"
# when not, "bool" when "-noNAME" is taken as well.
measure() {
    local name=$1 log -
    # The converter ends with status 1 here (no output named); only its log counts.
    set +o pipefail
    log=$(timeout 10 "$ffmpeg" -hide_banner -v debug "-$name" debug </dev/null 2>&1 || true)
    if grep -qF -e "Reading option '-$name' ... matched as option '$name' (" <<<"$log"; then
        if grep -qF -e "Reading option '-$name' ... matched as option '$name' (" <<<"$log" &&
            grep -F -e "Reading option '-$name'" <<<"$log" | grep -qF "with argument 'debug'"; then
            echo value
        elif timeout 10 "$ffmpeg" -hide_banner -v debug "-no$name" </dev/null 2>&1 | grep -F "Reading option '-no$name'" |
            grep -qF "with argument 0"; then
            echo bool
        else
            echo flag
        fi
    elif grep -F -e "Reading option '-$name'" <<<"$log" | grep -qF "matched as input url"; then
        echo value
    else
        echo unknown
    fi
}

{
    echo "# Options of the converter's command line, as $version splits it."
    echo "# Made by tools/converteroptions.sh; do not edit. One per line: KIND NAME"
    echo "#   value: takes the next word as its value; flag: takes none;"
    echo "#   bool: takes none and is also known as noNAME (set to 0);"
    echo "#   avoption: a codec, format or resampler option (takes a value; a stream"
    echo "#   specifier after ':' is allowed)."
    echo "#   image2, hls, dash: file name extensions the converter writes with that muxer."
    # The converter's own options: every line starting with "-" before the first
    # option table of a library.
    sed -n '1,/^AVCodecContext AVOptions:$/p' "$help" | grep -E '^-[A-Za-z0-9_]' | awk '{print substr($1, 2)}' |
        sort -u | while read -r name; do
        kind=$(measure "$name")
        [ "$kind" = unknown ] && { echo "no measurement for -$name" >&2; exit 1; }
        echo "$kind $name"
    done
    # Codec, format (with protocols), scaler and resampler options; filter and
    # bitstream filter options follow "AVFilter AVOptions:" and are no command
    # line options.
    sed -n '/^AVCodecContext AVOptions:$/,/^AVFilter AVOptions:$/p' "$help" | grep -E '^  -[A-Za-z0-9_]' |
        awk '{print "avoption " substr($1, 2)}' | sort -u
    # A codec option of the general codec table also works with a leading v, a or s.
    sed -n '/^AVCodecContext AVOptions:$/,/^[^ ].*AVOptions:$/{/^  -/p}' "$help" |
        awk '{n = substr($1, 2); print "avoption v" n; print "avoption a" n; print "avoption s" n}' | sort -u
    for muxer in image2 hls dash; do
        extensions=$("$ffmpeg" -hide_banner -h muxer=$muxer 2>&1 | sed -n 's/^ *Common extensions: \(.*\)\.$/\1/p')
        echo "$muxer ${extensions//,/ }"
    done
} >"$out.new"
mv "$out.new" "$out"
echo "$(grep -c . "$out") lines in $out"
