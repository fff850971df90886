#!/usr/bin/env bash
# bench_video.sh - speed of the release video against the PNG route, on the
# same frames: 1920x1080, 60 fps, H.264.
#
#   tools/capture/bench_video.sh DEMO_DIR [SECONDS]
#
# With no SECONDS the whole demo is rendered once each way. With SECONDS,
# a clip of that length from the middle of every scene instead (eight
# clips, one start-up each, the same for both routes).
#   video route: capture --video clip.mp4                (timed end to end)
#   PNG route:   capture --out DIR, then the ffmpeg program encodes the PNGs
#                with libx264 at the same preset and CRF  (timed together)
# Prints frames per second of both, their ratio, the file sizes and the mean
# PSNR (RGB, BT.709 limited range decoded as the video player would, bilinear
# chroma) of the video's frames against the PNG frames. Needs the ffmpeg
# program, which only this benchmark uses.
set -euo pipefail

demo=$(cd "${1:?usage: $0 DEMO_DIR [SECONDS]}" && pwd)
seconds=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$demo"/sync_*.track "$demo"/music.ogg .

# Start times: the middle of each scene's first stretch in the timeline
# (bars of 1.6 s): image sequence, house, landscape, sprites, sphere, streak,
# fire, glyph field.
if [ -n "$seconds" ]; then
    starts=(4.0 14.4 32.0 51.2 64.0 76.8 96.0 113.6)
    frames=$(awk -v s="$seconds" 'BEGIN { printf "%d", s * 60 + 0.5 }')
    frame_arg=(--frames "$frames")
else
    starts=(0)
    frame_arg=()
fi

now() { date +%s.%N; }
video_time=0 png_time=0 total=0 video_bytes=0 png_bytes=0 psnr_sum=0 psnr_n=0
for i in "${!starts[@]}"; do
    s=${starts[$i]}
    t0=$(now)
    "$demo/capture" --video "v$i.mp4" --start "$s" "${frame_arg[@]}" 2>"v$i.log"
    t1=$(now)
    n=$(sed -n 's/^capture: \([0-9]*\) frames.*/\1/p' "v$i.log")
    "$demo/capture" --out "png$i" --start "$s" --frames "$n" 2>"p$i.log"
    ffmpeg -v error -y -framerate 60 -i "png$i/frame-%06d.png" -c:v libx264 -preset veryfast \
        -crf 18 -pix_fmt yuv420p -color_primaries bt709 -color_trc bt709 -colorspace bt709 "p$i.mp4"
    t2=$(now)
    psnr=$(ffmpeg -v info -i "v$i.mp4" -framerate 60 -i "png$i/frame-%06d.png" -lavfi \
        "[0:v]scale=in_color_matrix=bt709:in_range=tv:flags=bilinear+accurate_rnd+full_chroma_int,format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr=shortest=1" \
        -f null - 2>&1 | sed -n 's/.*PSNR.* average:\([0-9.inf]*\).*/\1/p')
    echo "clip $i from ${s}s: $n frames, video $(awk -v a="$t0" -v b="$t1" -v n="$n" 'BEGIN{printf "%.1f", n/(b-a)}') fps," \
         "PNG route $(awk -v a="$t1" -v b="$t2" -v n="$n" 'BEGIN{printf "%.1f", n/(b-a)}') fps, PSNR $psnr dB"
    video_time=$(awk -v x="$video_time" -v a="$t0" -v b="$t1" 'BEGIN{print x + b - a}')
    png_time=$(awk -v x="$png_time" -v a="$t1" -v b="$t2" 'BEGIN{print x + b - a}')
    total=$((total + n))
    video_bytes=$((video_bytes + $(stat -c %s "v$i.mp4")))
    png_bytes=$((png_bytes + $(stat -c %s "p$i.mp4")))
    psnr_sum=$(awk -v x="$psnr_sum" -v p="$psnr" 'BEGIN{print x + p}')
    psnr_n=$((psnr_n + 1))
    rm -rf "png$i"
done
awk -v n="$total" -v vt="$video_time" -v pt="$png_time" -v vb="$video_bytes" -v pb="$png_bytes" \
    -v ps="$psnr_sum" -v pn="$psnr_n" 'BEGIN {
    printf "%d frames: video %.1f fps (%.1f s), PNG route %.1f fps (%.1f s), %.2fx\n", n, n/vt, vt, n/pt, pt, pt/vt
    printf "sizes: video %.1f MB, PNG route %.1f MB; mean PSNR against the PNGs %.2f dB\n", vb/1e6, pb/1e6, ps/pn
}'
