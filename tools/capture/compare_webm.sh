#!/usr/bin/env bash
# compare_webm.sh - size and picture quality of capture's WebM beside its MP4,
# on the same frames: both are compared with the PNG frames of the same
# music times.
#
#   tools/capture/compare_webm.sh DEMO_DIR [FRAMES] [WEBM_QUALITY...]
#
# Takes FRAMES frames (default 600) as eight clips, one from the middle of
# each scene's first stretch, at 60 fps; renders them as PNG frames, as an
# MP4 at its default quality and as a WebM at its default quality (or at
# each WEBM_QUALITY given), and prints for each video its size, the time it
# took and its mean PSNR (RGB, the video decoded as a player would, BT.709
# limited range) against the PNGs. Needs the ffmpeg program, which only this
# measurement uses.
set -euo pipefail

demo=$(cd "${1:?usage: $0 DEMO_DIR [FRAMES] [WEBM_QUALITY...]}" && pwd)
total=${2:-600}
shift $(($# > 1 ? 2 : 1))
qualities=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$demo"/sync_*.track "$demo"/music.ogg .

starts=(4.0 14.4 32.0 51.2 64.0 76.8 96.0 113.6)
clip=$((total / ${#starts[@]}))
now() { date +%s.%N; }

# One video per clip, joined in the order of the clips; prints "bytes seconds".
make_video() { # NAME EXTENSION [capture options...]
    local name=$1 ext=$2 bytes=0 t0 t1
    shift 2
    t0=$(now)
    for i in "${!starts[@]}"; do
        "$demo/capture" --video "$name-$i.$ext" --start "${starts[$i]}" --frames "$clip" "$@" 2>/dev/null
        bytes=$((bytes + $(stat -c %s "$name-$i.$ext")))
    done
    t1=$(now)
    echo "$bytes $(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", b - a }')"
}

# Mean PSNR of all clips of a video against the PNGs, weighted by frames.
psnr_of() { # NAME EXTENSION
    local sum=0 i p
    for i in "${!starts[@]}"; do
        p=$(ffmpeg -v info -i "$1-$i.$2" -framerate 60 -i "png$i/frame-%06d.png" -lavfi \
            "[0:v]scale=in_color_matrix=bt709:in_range=tv:flags=bilinear+accurate_rnd+full_chroma_int,format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr=shortest=1" \
            -f null - 2>&1 | sed -n 's/.*PSNR.* average:\([0-9.inf]*\).*/\1/p')
        sum=$(awk -v s="$sum" -v p="$p" 'BEGIN { print s + p }')
    done
    awk -v s="$sum" -v n="${#starts[@]}" 'BEGIN { printf "%.2f", s / n }'
}

for i in "${!starts[@]}"; do
    "$demo/capture" --out "png$i" --start "${starts[$i]}" --frames "$clip" 2>/dev/null
done
report() { # LABEL NAME EXTENSION [capture options...]
    local label=$1 name=$2 ext=$3 r
    shift 3
    r=$(make_video "$name" "$ext" "$@")
    echo "$label: $(awk -v b="${r% *}" 'BEGIN { printf "%.2f MB", b / 1e6 }'), ${r#* } s," \
         "PSNR $(psnr_of "$name" "$ext") dB"
}
echo "$((clip * ${#starts[@]})) frames in ${#starts[@]} clips of $clip at 1920x1080, 60 fps"
report "MP4 (default)" mp4 mp4
if [ ${#qualities[@]} -eq 0 ]; then
    report "WebM (default)" webm webm
fi
for q in "${qualities[@]}"; do
    report "WebM --quality $q" "webm$q" webm --quality "$q"
done
