#!/usr/bin/env bash
# Quorvid's presets against HandBrakeCLI's nearest built-in presets on generated
# clips: wall time (the two in alternating order), output size and SSIM to the
# source, one Markdown table per codec. HandBrakeCLI is installed here for the
# measurement only; Quorvid never uses it.
#   tools/encoderbench.sh QUORVID_BINARY [H.264 VP9 H.265 AV1]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
quorvid=$1
shift
# shellcheck source=tools/packages.sh
. "$here/tools/packages.sh"
need_packages handbrake-cli ffmpeg bc

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A home of its own: the AV1 preset below is a user preset there.
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data QT_QPA_PLATFORM=offscreen
mkdir -p "$XDG_CONFIG_HOME/quorvid/vorlagen"
cat >"$XDG_CONFIG_HOME/quorvid/vorlagen/av1.json" <<'EOF'
{"format": "quorvid-vorlage", "version": 1, "name": "AV1 (Messung)", "video": true,
 "videoCodec": "libsvtav1", "palDvd": false, "originalSize": true, "width": "320", "height": "240",
 "maxHeight": 2160, "frameRate": "", "aspect": "", "quality": 3, "videoBitrate": "1000",
 "targetSizeMB": 0, "deinterlace": "auto", "audio": true, "audioCodec": "libopus",
 "audioBitrate": "128k", "channels": 2}
EOF

# name, lavfi source, seconds: kinds of the size benchmark's clips, shorter.
clips=(
    "fast motion|testsrc2=size=640x360:rate=30,scroll=h=0.013:v=0.007|10"
    "fractal zoom|mandelbrot=size=480x270:rate=25|10"
    "phone, vertical|testsrc2=size=360x640:rate=30,noise=alls=6:allf=t|10"
    "1080p|testsrc2=size=1920x1080:rate=25,noise=alls=4:allf=t|5"
)
# Quorvid's preset | HandBrake's preset | HandBrake's container
declare -A pairs=(
    [H.264]="teilen|Fast 1080p30|mp4"
    [VP9]="web|VP9 MKV 1080p30|mkv"
    [H.265]="archiv|H.265 MKV 1080p30|mkv"
    [AV1]="AV1 (Messung)|AV1 MKV 2160p60 4K|mkv"
)
codecs=("$@")
[ ${#codecs[@]} -eq 0 ] && codecs=(H.264 VP9 H.265 AV1)

seconds_now() { date +%s.%N; }
ssim_of() { # output source
    ffmpeg -hide_banner -nostats -i "$1" -i "$2" -lavfi \
        "[0:v][1:v]scale2ref=flags=bicubic[o][r];[o]format=yuv420p[a];[r]format=yuv420p[b];[a][b]ssim" \
        -f null - 2>&1 | grep -o 'All:[0-9.]*' | tail -1 | cut -d: -f2
}

echo "Measured $(date -u +%Y-%m-%d) on $(nproc) cores ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs))," \
    "ffmpeg $(ffmpeg -version | head -1 | cut -d' ' -f3), $(HandBrakeCLI --version 2>/dev/null | head -1)"
for codec in "${codecs[@]}"; do
    IFS='|' read -r ours theirs container <<<"${pairs[$codec]}"
    echo
    echo "### $codec: Quorvid \"$ours\" against HandBrakeCLI \"$theirs\""
    echo
    echo "| Clip | Quorvid | HandBrakeCLI | Time | Quorvid size | HandBrakeCLI size | Size | SSIM Quorvid | SSIM HandBrakeCLI |"
    echo "|---|---|---|---|---|---|---|---|---|"
    round=0
    for clip in "${clips[@]}"; do
        IFS='|' read -r name graph length <<<"$clip"
        source=$work/source.mp4
        ffmpeg -v error -y -f lavfi -i "$graph" -f lavfi -i "anoisesrc=color=pink:amplitude=0.2" -t "$length" \
            -c:v libx264 -crf 12 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 192k "$source"
        rm -rf "$work/q" && mkdir -p "$work/q"
        hb=$work/hb.$container
        run_ours() {
            local start; start=$(seconds_now)
            "$quorvid" --convert "$source" --preset "$ours" --output-dir "$work/q" >/dev/null 2>&1
            ours_time=$(echo "$(seconds_now) - $start" | bc)
        }
        run_theirs() {
            local start; start=$(seconds_now)
            HandBrakeCLI -i "$source" -o "$hb" --preset "$theirs" >/dev/null 2>&1
            theirs_time=$(echo "$(seconds_now) - $start" | bc)
        }
        # Alternating order, so that neither always runs on a warmer machine.
        if [ $((round % 2)) -eq 0 ]; then run_ours; run_theirs; else run_theirs; run_ours; fi
        round=$((round + 1))
        out=$(find "$work/q" -type f | head -1)
        ours_size=$(stat -c %s "$out")
        theirs_size=$(stat -c %s "$hb")
        printf '| %s | %.1f s | %.1f s | %.2fx | %.2f MB | %.2f MB | %+.1f %% | %s | %s |\n' "$name" "$ours_time" \
            "$theirs_time" "$(echo "$ours_time / $theirs_time" | bc -l)" "$(echo "$ours_size / 1000000" | bc -l)" \
            "$(echo "$theirs_size / 1000000" | bc -l)" "$(echo "($ours_size / $theirs_size - 1) * 100" | bc -l)" \
            "$(ssim_of "$out" "$source")" "$(ssim_of "$hb" "$source")"
    done
done
