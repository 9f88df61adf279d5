#!/usr/bin/env bash
# Measures `quorvid --watch` on a folder of 10,000 files that the journal
# already lists as done: the time from the start of the process to "überwacht",
# its memory against a watch of an empty folder, and its processor time while
# nothing arrives. Prints the README's rows.
#   tools/watchbench.sh [PROGRAM] [SECONDS]     (defaults: build/quorvid, 60)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
program=${1:-$here/build/quorvid}
seconds=${2:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/big" "$work/empty" "$work/out" "$work/home-big" "$work/home-empty"

# 10,000 files and a journal that lists each as done, in the form the program
# writes (times in nanoseconds).
journal=$work/home-big/.local/share/quorvid/watch-journal
mkdir -p "$(dirname "$journal")"
for i in $(seq -w 0 9999); do printf 'x' >"$work/big/clip$i.avi"; done
find "$work/big" -type f -printf '%p\t%s\t%T@\n' | while IFS=$'\t' read -r path size time; do
    fraction=${time#*.}
    modified=${time%.*}${fraction:0:9}
    printf '{"outcome":"done","input":"%s","size":"%s","modified":"%s","output":"%s"}\n' \
        "$path" "$size" "$modified" "$work/out/$(basename "${path%.*}").mp3"
done >"$journal"

ticks=$(getconf CLK_TCK)
# Starts a watch; prints milliseconds to "überwacht", resident kB, and CPU
# milliseconds over the given seconds.
measure()
{
    local folder=$1 home=$2 wait=$3
    local err=$work/err.$$ start now pid
    start=$(date +%s%N)
    HOME=$home XDG_DATA_HOME= "$program" --watch "$folder" --output-dir "$work/out" --preset mp3 \
        >"$work/lines" 2>"$err" &
    pid=$!
    until grep -q 'überwacht' "$err" 2>/dev/null; do sleep 0.01; done
    now=$(date +%s%N)
    local ready_ms=$(((now - start) / 1000000))
    sleep 1
    local cpu0 cpu1
    cpu0=$(awk '{print $14 + $15}' "/proc/$pid/stat")
    sleep "$wait"
    cpu1=$(awk '{print $14 + $15}' "/proc/$pid/stat")
    local rss
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")
    kill -TERM "$pid"
    wait "$pid" || true
    # A file taken as new would be a job: there must be none.
    if [ -s "$work/lines" ]; then
        echo "files were taken although done:" >&2
        head -3 "$work/lines" >&2
        exit 1
    fi
    echo "$ready_ms $rss $(((cpu1 - cpu0) * 1000 / ticks))"
}

read -r empty_ms empty_rss _ < <(measure "$work/empty" "$work/home-empty" 1)
read -r big_ms big_rss big_cpu < <(measure "$work/big" "$work/home-big" "$seconds")
added=$(awk -v a="$big_rss" -v b="$empty_rss" 'BEGIN {printf "%.1f", (a - b) / 1024}')
share=$(awk -v c="$big_cpu" -v s="$seconds" 'BEGIN {printf "%.2f", c / (s * 10)}')
echo "| Watch 10,000 done files: start to watching (empty folder $empty_ms ms) | $big_ms ms | ≤ 2000 ms |"
echo "| Watch 10,000 done files: memory added (empty folder $((empty_rss / 1024)) MB) | $added MB | ≤ 50 MB |"
echo "| Watch 10,000 done files: CPU while nothing arrives, over $seconds s | $share % ($big_cpu ms) | ≈ 0 % |"
