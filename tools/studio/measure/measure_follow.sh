# measure_follow.sh - what following the studio costs and how closely the
# follower keeps up, under Xvfb on the loopback address (figures for the
# report and docs; no test asserts them):
#
#   bash tools/studio/measure/measure_follow.sh build/demo
#
# 1. The studio's frame time while playing (STUDIO_FRAME_TIMES, its last 256
#    frames, software renderer) with 0, 1 and 8 followers; the followers are
#    scripted ones (follow_probe.py: they ask for every track and read all),
#    so only the link's cost is in the figure, not eight demos' drawing.
#    The 1-follower run lasts 60 s and also gives how far each transport's
#    time is from the time a follower estimates from the one before.
# 2. Key press in the studio to a changed picture in a following demo, over
#    20 block edits (as measure_studio.sh: Ctrl+Up/Down on a block on the
#    sphere, HUD off), in ms and in 60 Hz frames. The polling takes about one
#    window read per step, so the figures carry that much more.
# 3. Reconnection: the studio killed and started again, 5 times: from the
#    new studio's start to its "follower N follows" line.
# 4. Bytes sent for one edit on a large timeline (make_big_timeline.py,
#    1,000,000 keys over the twelve tracks): one key's value changed in the
#    file, what a follower receives.
. "$(dirname "$0")/../../../tests/e2e/lib/common.bash"
ensure_display

HERE="$(cd "$(dirname "$0")" && pwd)"
SOURCE="$HERE/../../../data/timeline.txt"
PROBE="$HERE/follow_probe.py"
mkdir -p "$WORK/cwd"
ln -s "$DEMO_DIR/music.ogg" "$WORK/cwd/music.ogg"
cd "$WORK/cwd"
export SDL_RENDER_DRIVER=software
PORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
WHERE=127.0.0.1:$PORT
now_ms() { echo $(($(date +%s%N) / 1000000)); }
stats() { printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {printf "median %d, max %d", v[int((NR + 1) / 2)], v[NR]}'; }

# ---- 1. Frame time with 0, 1 and 8 followers --------------------------------

frame_times() {
    local followers=$1 seconds=$2 i pids=()
    cp "$SOURCE" timeline.txt
    STUDIO_FRAME_TIMES=1 start_studio "$DEMO_DIR" "$WORK/cwd" timeline.txt --start 30 --no-live-code --serve "$WHERE"
    wait_for_studio
    for i in $(seq "$followers"); do
        if [ "$i" = 1 ] && [ "$followers" = 1 ]; then
            python3 "$PROBE" "$WHERE" "$((seconds + 2))" >"$WORK/probe.txt" &
        else
            python3 "$PROBE" "$WHERE" "$((seconds + 2))" --quiet &
        fi
        pids+=($!)
    done
    sleep "$seconds"
    studio_keys Escape
    wait_for_exit
    for i in "${pids[@]}"; do wait "$i"; done
    echo "$followers followers: $(grep 'last .* frames' "$WORK/stdout" | sed 's/^studio: //')"
    [ "$followers" = 1 ] && echo "  transports (one follower, ${seconds} s playing): $(cat "$WORK/probe.txt")"
}
frame_times 0 10
frame_times 1 60
frame_times 8 10

# ---- 2. Edit to the follower's picture ------------------------------------------

cp "$SOURCE" timeline.txt
start_studio "$DEMO_DIR" "$WORK/cwd" timeline.txt --no-live-code --serve "$WHERE"
wait_for_studio
studio_keys space Home Next Next Next Next h
studio_keys Tab g g g
for i in $(seq 5); do studio_keys ctrl+Right; done
studio_keys shift+Down shift+Down shift+Down ctrl+shift+Right Prior
(exec "$DEMO_DIR/demo" --follow "$WHERE" >"$WORK/follower.out" 2>"$WORK/follower.err") &
FOLLOWER=$!
trap 'kill -KILL "$FOLLOWER" 2>/dev/null; cleanup' EXIT
following() { grep -q "following the studio" "$WORK/follower.err"; }
eventually following || fail "the demo does not follow: $(cat "$WORK/follower.err")"
sleep 3
fwid=$(xdotool search --all --onlyvisible --pid "$FOLLOWER" --name "lumikenno 2019 demo" | tail -n 1)
xdotool windowraise "$fwid"
window_sum() { xwd -id "$fwid" -silent | md5sum; }
took=()
for i in $(seq 20); do
    p0=$(window_sum)
    key=ctrl+Up
    [ $((i % 2)) = 0 ] && key=ctrl+Down
    t0=$(now_ms)
    xdotool key --window "$(studio_window)" $key
    while [ "$(window_sum)" = "$p0" ]; do
        [ $(($(now_ms) - t0)) -lt 10000 ] || fail "edit $i: the follower's picture did not change within 10 s"
    done
    took+=($(($(now_ms) - t0)))
    sleep 0.3
done
step_t0=$(now_ms)
window_sum >/dev/null
step=$(($(now_ms) - step_t0))
frames=()
for ms in "${took[@]}"; do frames+=($(((ms * 60 + 999) / 1000))); done
echo "key press to the follower's picture, 20 edits: $(stats "${took[@]}") ms ($(stats "${frames[@]}") frames at 60 Hz); one window read $step ms"

# ---- 3. Reconnection -------------------------------------------------------------

gaps=()
for i in $(seq 5); do
    kill -TERM "$DEMO_PID"
    wait "$DEMO_PID"
    eventually grep -q -c "the studio closed the link" "$WORK/follower.err" || fail "the demo did not notice"
    sleep 1
    t0=$(now_ms)
    start_studio "$DEMO_DIR" "$WORK/cwd" --no-live-code --serve "$WHERE"
    follows() { grep -q "follower 1 follows" "$WORK/stderr"; }
    until follows; do
        [ $(($(now_ms) - t0)) -lt 20000 ] || fail "no reconnection within 20 s"
        sleep 0.01
    done
    gaps+=($(($(now_ms) - t0)))
done
echo "studio started again to the follower following, 5 times: $(stats "${gaps[@]}") ms"
kill -TERM "$DEMO_PID"
wait "$DEMO_PID"
kill -TERM "$FOLLOWER"
wait "$FOLLOWER"

# ---- 4. Bytes per edit on a large timeline ----------------------------------------

python3 "$HERE/make_big_timeline.py" big.txt >/dev/null
start_studio "$DEMO_DIR" "$WORK/cwd" big.txt --no-live-code --serve "$WHERE"
wait_for_studio
python3 "$PROBE" "$WHERE" 30 >"$WORK/probe.txt" &
probe=$!
sleep 10
# One key's value, in the middle of the file, changed; the file renamed into place.
python3 - big.txt <<'PY'
import os, re, sys
lines = open(sys.argv[1]).read().split("\n")
i = len(lines) // 2
while not re.match(r"^\s*\S+\s+-?[0-9.]+\s+\w+\s*$", lines[i]):
    i += 1
parts = lines[i].split()
parts[1] = repr(float(parts[1]) + 1.0)
lines[i] = "  " + "  ".join(parts)
open(sys.argv[1] + ".new", "w").write("\n".join(lines))
os.rename(sys.argv[1] + ".new", sys.argv[1])
PY
wait "$probe"
echo "large timeline (1,000,000 keys), one key changed: $(cat "$WORK/probe.txt")"
studio_keys Escape
wait_for_exit
