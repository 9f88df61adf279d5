#!/bin/bash
# The bash completion: what a Tab after each typed line offers, in a folder with
# a batch file, a video, a folder and a name that begins with a dash; and that
# it knows every option "quorvid --help" names.
#   completion_check.sh COMPLETION_FILE PROGRAM
set -u
# shellcheck source=/dev/null
. "$1"
program=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir Ordner && touch liste.btc 'mein film.avi' -- '--seltsam.avi'

status=0
# Completes the line as bash would at its end and prints the offers sorted, one a line.
offers() {
    local line=$1
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *' ' ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _quorvid
    printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd '|'
}
while IFS='#' read -r line expected; do
    got=$(offers "$line")
    [ "$got" = "$expected" ] || { echo "\"$line\": got \"$got\", expected \"$expected\""; status=1; }
done <<'TABLE'
quorvid --k#--keep-going
quorvid --ver#--version
quorvid --run #Ordner|liste.btc
quorvid --run l#liste.btc
quorvid --run =#Ordner|liste.btc
quorvid --run = l#liste.btc
quorvid --jobs 1 --keep-going --overwrite --run #Ordner|liste.btc
quorvid mein#mein film.avi
quorvid #--seltsam.avi|Ordner|liste.btc|mein film.avi
quorvid -- --#--seltsam.avi
quorvid --overwrite O#Ordner
quorvid --convert mein film.avi --output-dir #Ordner
quorvid --watch #Ordner
quorvid --re#--recursive
quorvid --watch Ordner --settle #
TABLE

# Numbers from 1 after --jobs.
[ "$(offers 'quorvid --jobs ' | cut -d'|' -f1)" = 1 ] || { echo "--jobs offers no 1"; status=1; }

# Lines a program prints are offered whole, spaces and all (for values the
# program lists itself).
COMP_WORDS=(printf)
_quorvid_lines 'Film' 'Film HD\nFilm SD\nAudio\n'
[ "$(printf '%s|' "${COMPREPLY[@]}")" = 'Film HD|Film SD|' ] || { echo "lines: ${COMPREPLY[*]}"; status=1; }

# Presets by their short forms, from the program's own list (a home of its own:
# no user presets).
if [ "$(PATH="$(dirname "$program"):$PATH" HOME=$work offers 'quorvid --preset ')" != \
     'Archiv|DVD|E-Mail|FLAC|MP3|Teilen|Web' ] ||
   [ "$(PATH="$(dirname "$program"):$PATH" HOME=$work offers 'quorvid --preset = F')" != 'FLAC' ]; then
    echo "--preset: $(PATH="$(dirname "$program"):$PATH" HOME=$work offers 'quorvid --preset ')"
    status=1
fi

# Every long option of the program's help is completed, and no other.
helped=$("$program" --help | grep -o -- '--[a-z][a-z-]*' | sort -u | paste -sd ' ')
# shellcheck disable=SC2154 # set by the sourced completion file
completed=$(tr ' ' '\n' <<<"$_quorvid_options" | sort -u | paste -sd ' ')
[ "$helped" = "$completed" ] || { echo "help names \"$helped\", completion \"$completed\""; status=1; }

[ "$status" -eq 0 ] && echo "completion ok"
exit "$status"
