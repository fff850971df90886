#!/bin/bash
# measure_live_code.sh DEMO_DIR [SAVES] [SWAPS] - figures of the studio's live
# scene code, under Xvfb: the studio of DEMO_DIR plays with --build on a
# scene-library build folder of a copy of the sources (RelWithDebInfo, as
# the project's own build), and the landscape's source is saved SWAPS times
# (default 50), each time with another value of one constant.
#
# Prints, for the first SAVES saves (default 10), the time from the save to
# the swap (the new code draws from the frame after it) as the script sees
# it, median and max; the longest frame while a build ran and the longest
# swap, as the studio reports them; and the studio's resident memory after
# the first, the tenth and the last swap; the compile of the saved unit and
# the link as Ninja logged them, and the build command's own cost. Then, in
# a second studio paused in the landscape, the time from saving an endless
# loop into it to drawing again (the build, then the scene's time bound of
# --scene-timeout 2). Also the machine's load.
set -eu
DEMO_DIR=$(cd "${1:?usage: $0 DEMO_DIR [SAVES] [SWAPS]}" && pwd)
SAVES=${2:-10}
SWAPS=${3:-50}
if [ -z "${MEASURE_IN_XVFB:-}" ]; then
    MEASURE_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1920x1080x24" bash "$0" "$DEMO_DIR" "$SAVES" "$SWAPS"
fi
ROOT="$(cd "$(dirname "$0")/../../.." && pwd)"
WORK=$(mktemp -d)
PID=
trap '[ -n "$PID" ] && kill "$PID" 2>/dev/null; rm -rf "$WORK"' EXIT

mkdir -p "$WORK/src/tools/studio/live" "$WORK/cwd"
cp -r "$ROOT/CMakeLists.txt" "$ROOT/VERSION" "$ROOT/cmake" "$ROOT/src" "$WORK/src/"
cp -r "$ROOT/tools/studio/live/scene_library.h" "$ROOT/tools/studio/live/scene_library" "$WORK/src/tools/studio/live/"
cmake -S "$WORK/src" -B "$WORK/build" -G Ninja -DDEMO_SCENES_LIBRARY_ONLY=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
nice cmake --build "$WORK/build" --target live_scenes >/dev/null
for f in "$DEMO_DIR"/music.ogg "$DEMO_DIR"/sync_*.track; do
    ln -s "$f" "$WORK/cwd/"
done
SCENE="$WORK/src/src/scenes/landscape.cpp"

(cd "$WORK/cwd" && exec "$DEMO_DIR/studio" --build "$WORK/build" >"$WORK/stdout" 2>"$WORK/stderr") &
PID=$!
timeout 120 xdotool search --sync --onlyvisible --limit 1 --pid "$PID" >/dev/null
until grep -q 'studio: scenes on disk loaded in' "$WORK/stdout"; do # the build at start
    kill -0 "$PID" || { echo "the studio ended: $(cat "$WORK/stderr")" >&2; exit 1; }
    sleep 0.1
done
sleep 2 # past the first frames and the dependency listing

rss_kb() { awk '/^VmRSS/ { print $2 }' "/proc/$PID/status"; }
swaps() { grep -c 'studio: scenes rebuilt in' "$WORK/stdout" || true; }
times=()
rss1=- rss10=-
for i in $(seq 1 "$SWAPS"); do
    before=$(swaps)
    t0=$(date +%s%N)
    sed -i "s/BOTTOM_ROW = SCREEN_H - [0-9]*,/BOTTOM_ROW = SCREEN_H - $((2 + i % 2)),/" "$SCENE"
    until [ "$(swaps)" -gt "$before" ]; do
        kill -0 "$PID" || { echo "the studio ended: $(cat "$WORK/stderr")" >&2; exit 1; }
        grep -q 'build failed' "$WORK/stderr" && { cat "$WORK/stderr" >&2; exit 1; }
        sleep 0.02
    done
    t1=$(date +%s%N)
    [ "$i" -le "$SAVES" ] && times+=($(((t1 - t0) / 1000000)))
    case $i in 1) rss1=$(rss_kb) ;; 10) rss10=$(rss_kb) ;; esac
done
rss_last=$(rss_kb)
kill "$PID"
wait "$PID" || true
PID=

sorted=$(printf '%s\n' "${times[@]}" | sort -n)
n=${#times[@]}
median=$(sed -n "$(((n + 1) / 2))p" <<<"$sorted")
echo "save to swap over $n saves: median ${median} ms, max $(tail -n 1 <<<"$sorted") ms ($(tr '\n' ' ' <<<"$sorted"))"
# "(swap 0.0 ms, its frame 17 ms; longest frame while building 20 ms, before
# 18 ms; loaded beside the frames in 1.2 ms)" (older studios end at "before")
sed -n 's/.*(swap \([0-9.]*\) ms, its frame \([0-9]*\) ms; longest frame while building \([0-9]*\) ms, before \([0-9]*\) ms\(; loaded beside the frames in \([0-9.]*\) ms\)\{0,1\})/\1 \2 \3 \4 \6/p' \
    "$WORK/stdout" | sort -n -k3 | awk '
    { if ($1 > s) s = $1; if ($2 > f) f = $2; if ($3 > b) b = $3; if ($4 > q) q = $4; if ($5 > l) l = $5; all[NR] = $3 }
    END { printf "longest swap %.1f ms, longest frame of a swap %s ms; longest frame while building %s ms (median over builds %s ms), while not %s ms; longest load beside the frames %s ms\n", s, f, b, all[int((NR + 1) / 2)], q, l + 0 }'
echo "resident memory: ${rss1} kB after 1 swap, ${rss10} kB after 10, ${rss_last} kB after $SWAPS"
# Where a save's time goes: the compile of the saved unit and the link, as
# Ninja logged them (each build after the first), and the build command's
# own cost when there is nothing to do (median of 5).
awk -F'\t' '$4 ~ /landscape\.cpp\.o$/ { c[++nc] = $2 - $1 } $4 ~ /live_scenes\.so$/ { l[++nl] = $2 - $1 }
    function median(a, n,   i, j, t) {
        for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j - 1] > a[j]; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
        return a[int((n + 1) / 2)]
    }
    END {
        for (i = 2; i <= nc; i++) cc[i - 1] = c[i]; for (i = 2; i <= nl; i++) ll[i - 1] = l[i]
        printf "per save, median: compile of the unit %d ms, link %d ms\n", median(cc, nc - 1), median(ll, nl - 1)
    }' "$WORK/build/.ninja_log"
noop=()
for i in 1 2 3 4 5; do
    t0=$(date +%s%N)
    nice cmake --build "$WORK/build" --target live_scenes >/dev/null
    t1=$(date +%s%N)
    noop+=($(((t1 - t0) / 1000000)))
done
echo "the build command with nothing to do: median $(printf '%s\n' "${noop[@]}" | sort -n | sed -n 3p) ms"
# A save that hangs the landscape: from the save to the guard's line (the
# frame after it draws with the library before).
(cd "$WORK/cwd" && exec "$DEMO_DIR/studio" --start 25 --scene-timeout 2 --build "$WORK/build" \
    >"$WORK/stdout" 2>"$WORK/stderr") &
PID=$!
WID=$(timeout 120 xdotool search --sync --onlyvisible --limit 1 --pid "$PID")
until grep -q 'studio: scenes on disk loaded in' "$WORK/stdout"; do sleep 0.1; done
sleep 2
xdotool key --window "$WID" space # paused in the landscape (19.2-44.8 s), which draws every frame
sleep 1
body=$(($(grep -n '^void draw_landscape()$' "$SCENE" | cut -d: -f1) + 1))
t0=$(date +%s%N)
sed -i "${body}a\\    for (;;) std::rand();" "$SCENE"
until grep -q 'did not return within' "$WORK/stderr"; do
    kill -0 "$PID" || { echo "the studio ended: $(cat "$WORK/stderr")" >&2; exit 1; }
    sleep 0.02
done
t1=$(date +%s%N)
echo "a hanging save to drawing again: $(((t1 - t0) / 1000000)) ms (bound 2 s)"
kill "$PID"
wait "$PID" || true
PID=
echo "library: $(stat -c %s "$WORK/build/live/live_scenes.so") bytes; load: $(cut -d' ' -f1-3 /proc/loadavg)"
