# measure_follow.sh - what following the studio costs and how closely the
# follower keeps up, under Xvfb on the loopback address (figures for the
# report and docs; no test asserts them):
#
#   bash tools/studio/measure/measure_follow.sh build/demo
#
# The follower's own figures come from its reports, which the studio prints
# with STUDIO_LINK_REPORTS=1 (docs/link-protocol.md, "Reports"):
#
# 1. The studio's frame time while playing (STUDIO_FRAME_TIMES, its last 256
#    frames, software renderer) with 0, 1 and 8 followers; the followers are
#    scripted ones (follow_probe.py: they ask for every track and read all),
#    so only the link's cost is in the figure, not eight demos' drawing.
# 2. A demo following the playing studio for 60 s: the studio's music when
#    it reads a report minus the follower's when it sent it, from its reports
#    (about one a second), median and max; and the same less the most the
#    report can have waited to be read (a lower bound).
# 3. Edit to the follower's picture, over 20 block edits (as
#    measure_studio.sh: Ctrl+Up/Down on a block on the sphere): from the
#    studio sending the changed track to its reading the report of the first
#    follower frame that shows it, in ms and in the follower's frames; and
#    the same less the most the report can have waited (a lower bound).
# 4. Reconnection: the studio killed and started again, 5 times: from the
#    new studio's start to its "follower N follows" line.
# 5. Bytes sent for one edit on a large timeline (make_big_timeline.py,
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
fstats() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {printf "median %.3f, min %.3f, max %.3f", v[int((NR + 1) / 2)], v[1], v[NR]}'; }

# ---- 1. Frame time with 0, 1 and 8 followers --------------------------------

frame_times() {
    local followers=$1 seconds=$2 i pids=()
    cp "$SOURCE" timeline.txt
    STUDIO_FRAME_TIMES=1 start_studio "$DEMO_DIR" "$WORK/cwd" timeline.txt --start 30 --no-live-code --serve "$WHERE"
    wait_for_studio
    for i in $(seq "$followers"); do
        python3 "$PROBE" "$WHERE" "$((seconds + 2))" --quiet &
        pids+=($!)
    done
    sleep "$seconds"
    studio_keys Escape
    wait_for_exit
    for i in "${pids[@]}"; do wait "$i"; done
    echo "$followers followers: $(grep 'last .* frames' "$WORK/stdout" | sed 's/^studio: //')"
}
frame_times 0 10
frame_times 1 10
frame_times 8 10

start_follower() {
    (exec "$DEMO_DIR/demo" --follow "$WHERE" >"$WORK/follower.out" 2>"$WORK/follower.err") &
    FOLLOWER=$!
    trap 'kill -KILL "$FOLLOWER" 2>/dev/null; cleanup' EXIT
    following() { grep -q "following the studio" "$WORK/follower.err"; }
    eventually following || fail "the demo does not follow: $(cat "$WORK/follower.err")"
}

# ---- 2. The follower's time against the studio's, playing -----------------------

cp "$SOURCE" timeline.txt
STUDIO_LINK_REPORTS=1 start_studio "$DEMO_DIR" "$WORK/cwd" timeline.txt --start 30 --no-live-code --serve "$WHERE"
wait_for_studio
start_follower
sleep 3
from=$(grep -c 'behind' "$WORK/stderr")
sleep 60
lines=$(tail -n +"$((from + 1))" "$WORK/stderr" | grep '^serve: follower 1 behind ')
behind=($(echo "$lines" | sed 's/^serve: follower 1 behind \([-0-9.]*\) ms, .*/\1/'))
least=($(echo "$lines" | sed 's/^serve: follower 1 behind \([-0-9.]*\) ms, the report waited up to \([0-9.]*\) ms$/\1 \2/' |
         awk '{printf "%.3f\n", $1 - $2}'))
echo "follower's time against the studio's, playing 60 s, ${#behind[@]} reports: studio minus follower $(fstats "${behind[@]}") ms; less the report's wait $(fstats "${least[@]}") ms"
studio_keys Escape
wait_for_exit
kill -TERM "$FOLLOWER"
wait "$FOLLOWER"

# ---- 3. Edit to the follower's picture ------------------------------------------

cp "$SOURCE" timeline.txt
STUDIO_LINK_REPORTS=1 start_studio "$DEMO_DIR" "$WORK/cwd" timeline.txt --no-live-code --serve "$WHERE"
wait_for_studio
studio_keys space Home Next Next Next Next h
studio_keys Tab g g g
for i in $(seq 5); do studio_keys ctrl+Right; done
studio_keys shift+Down shift+Down shift+Down ctrl+shift+Right Prior
start_follower
sleep 3
shown() { grep -c 'showed change' "$WORK/stderr"; }
took=()
frames=()
least=()
for i in $(seq 20); do
    n=$(shown)
    key=ctrl+Up
    [ $((i % 2)) = 0 ] && key=ctrl+Down
    xdotool key --window "$(studio_window)" $key
    t0=$SECONDS
    until [ "$(shown)" -gt "$n" ]; do
        [ $((SECONDS - t0)) -lt 10 ] || fail "edit $i: the follower showed no change within 10 s"
        sleep 0.02
    done
    line=$(grep 'showed change' "$WORK/stderr" | tail -n 1)
    took+=($(echo "$line" | sed 's/.* after \([0-9]*\) ms, .*/\1/'))
    frames+=($(echo "$line" | sed 's/.* ms, \([0-9]*\) frames of .*/\1/'))
    least+=($(echo "$line" | sed 's/.* after \([0-9]*\) ms, .* waited up to \([0-9.]*\) ms$/\1 \2/' | awk '{printf "%d\n", $1 - $2}'))
    sleep 0.3
done
echo "edit to the follower's picture, 20 edits: $(stats "${took[@]}") ms, $(stats "${frames[@]}") follower frames ($(grep 'showed change' "$WORK/stderr" | tail -n 1 | sed 's/.* frames of \([0-9.]*\) ms;.*/\1/') ms a frame); less the report's wait $(stats "${least[@]}") ms"

# ---- 4. Reconnection -------------------------------------------------------------

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

# ---- 5. Bytes per edit on a large timeline ----------------------------------------

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
