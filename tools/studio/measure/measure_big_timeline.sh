#!/bin/bash
# measure_big_timeline.sh DEMO_DIR TIMELINE [TRACK] [CYCLES] - the studio's
# editor on a large timeline (tools/studio/measure/make_big_timeline.py writes one),
# measured under Xvfb with --no-live-code and the dummy audio driver; no
# test asserts the figures:
#
#   bash tools/studio/measure/measure_big_timeline.sh build/demo /tmp/big.txt cam.rot
#
# CYCLES (default 10) times, at row 3 + 8 i of TRACK (default "scene"; a row
# that make_big_timeline.py leaves free), ten edits by key, each waited for
# until the file on disk changes (the key was handled and the edit saved):
# a new key of 3 (typed, Enter), nudge (Ctrl+Up), type 0 (Enter), next curve
# kind (K), move a beat later (Alt+Shift+Down), nudge, move back, large nudge
# (Ctrl+Shift+Up), type 0, nudge. Each changes the value (upward only, so
# the scene track stays in its table).
#
# Two runs of the studio on a copy of TIMELINE:
# 1. the edits, then quit: the studio's resident memory (VmRSS) before and
#    after them and its peak (VmHWM), key press to file per edit (median and
#    max, polled every 20 ms or so), the studio's STUDIO_FRAME_TIMES figures
#    (its last 256 frames, so the end of the edits), and whether the edited
#    file compiles (build/tools/timeline compile, found beside DEMO_DIR) and
#    differs from TIMELINE only by one added key line a cycle.
# 2. the edits again, then as many Ctrl+Z, each waited for on the file; then
#    whether the file is byte for byte TIMELINE again, and the frame figures
#    of the undos.
# An edit whose file did not change within 20 s counts as refused or lost.
. "$(dirname "$0")/../../../tests/e2e/lib/common.bash"
SOURCE=$(realpath "${2:?usage: $0 DEMO_DIR TIMELINE [TRACK] [CYCLES]}")
TRACK=${3:-scene}
CYCLES=${4:-10}
DEMO_DIR=$(realpath "$DEMO_DIR")
TIMELINE_TOOL=$DEMO_DIR/../tools/timeline
# The track's column: its place in the track list of src/base/facts.h.
COLUMN=$(grep -o 'X([A-Z0-9_]*, *[a-z0-9_]*, *"[^"]*")' "$(dirname "$0")/../../../src/base/facts.h" |
    sed 's/.*"\(.*\)")/\1/' | grep -nx -F "$TRACK" | cut -d: -f1)
[ -n "$COLUMN" ] || fail "no track $TRACK"
ensure_display
export SDL_AUDIODRIVER=dummy SDL_RENDER_DRIVER=${SDL_RENDER_DRIVER:-software}

mkdir -p "$WORK/cwd"
ln -s "$DEMO_DIR/music.ogg" "$WORK/cwd/music.ogg"
cd "$WORK/cwd"

now_ms() { echo $(($(date +%s%N) / 1000000)); }
rss() { awk -v k="$1:" '$1 == k {print $2 / 1024 " MiB"}' "/proc/$DEMO_PID/status"; }
file_id() { stat -c '%i %s %.9Y' timeline.txt; }
stats() { printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {printf "median %d ms, max %d ms", v[int((NR + 1) / 2)], v[NR]}'; }
LATENCIES=() LOST=0 RSS_TRAIL=()
# keys...: sends them, waits for the file to change.
edit() {
    local f0 t0 wid
    f0=$(file_id)
    t0=$(now_ms)
    studio_keys "$@"
    while [ "$(file_id)" = "$f0" ]; do
        if [ $(($(now_ms) - t0)) -gt 20000 ]; then
            LOST=$((LOST + 1))
            echo "  no change on disk after: $*" >&2
            return
        fi
        sleep 0.02
    done
    LATENCIES+=($(($(now_ms) - t0)))
}
go_to_row() { studio_keys ctrl+g $(echo "$1" | sed 's/./& /g') Return; }

start() {
    cp "$SOURCE" timeline.txt
    local t0
    t0=$(now_ms)
    STUDIO_FRAME_TIMES=1 start_studio "$DEMO_DIR" "$WORK/cwd" timeline.txt --no-live-code
    [ -n "$(studio_window)" ] || fail "no studio window: $(cat "$WORK/stderr")"
    studio_keys space Tab
    for _ in $(seq $((COLUMN - 1))); do studio_keys ctrl+Right; done
    echo "  window up after $(($(now_ms) - t0)) ms; VmRSS $(rss VmRSS)"
}

edits() {
    local c r
    for c in $(seq 0 $((CYCLES - 1))); do
        r=$((3 + 8 * c))
        go_to_row $r
        sleep 0.2
        edit 3 Return
        edit ctrl+Up
        edit 0 Return
        edit k
        edit alt+shift+Down
        edit ctrl+Up
        edit alt+shift+Up
        edit ctrl+shift+Up
        edit 0 Return
        edit ctrl+Up
        RSS_TRAIL+=("$(awk '$1 == "VmRSS:" {print int($2 / 1024)}' "/proc/$DEMO_PID/status")")
    done
}

quit() {
    studio_keys Escape Escape
    wait_for_exit
    [ "$EXIT_STATUS" = 0 ] || echo "  studio exit status $EXIT_STATUS: $(tail -3 "$WORK/stderr")"
    echo "  $(grep 'last .* frames' "$WORK/stdout" | sed 's/^studio: //')"
}

echo "$SOURCE ($(stat -c %s "$SOURCE") bytes), track $TRACK, $((CYCLES * 10)) edits; load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "run 1: edits"
start
edits
echo "  after the edits: VmRSS $(rss VmRSS), VmHWM $(rss VmHWM); VmRSS (MiB) after each ten: ${RSS_TRAIL[*]}"
echo "  key press to file: $(stats "${LATENCIES[@]}"); no change: $LOST"
quit
if "$TIMELINE_TOOL" compile timeline.txt "$WORK/out" >"$WORK/compile.log" 2>&1; then
    echo "  edited file compiles; against TIMELINE, lines added: $(diff "$SOURCE" timeline.txt | grep -c '^>'), removed: $(diff "$SOURCE" timeline.txt | grep -c '^<')"
else
    echo "  edited file does NOT compile: $(head -3 "$WORK/compile.log")"
fi

echo "run 2: edits, then undo each"
LATENCIES=() LOST=0
start
edits
LATENCIES=() LOST=0
for _ in $(seq $((CYCLES * 10))); do edit ctrl+z; done
echo "  undo, key press to file: $(stats "${LATENCIES[@]}"); no change: $LOST; VmHWM $(rss VmHWM)"
if cmp -s timeline.txt "$SOURCE"; then echo "  after the undos the file is TIMELINE again"; else echo "  after the undos the file DIFFERS: $(cmp timeline.txt "$SOURCE")"; fi
quit
echo "load $(cut -d' ' -f1-3 /proc/loadavg)"
