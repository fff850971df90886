# A demo following the studio under Xvfb shows the studio's seek and edit
# byte for byte: the studio paused at 13.2 s, the demo's window holds
# capture's picture of the shipped timeline at 13.2 s; a key typed into the
# studio's "scene" track there, the demo's window holds capture's picture of
# the saved, edited timeline at that time. Both scenes draw from the time
# alone (no picture history), so the pictures must be equal.
. "$(dirname "$0")/lib/common.bash"
ensure_display

FOLLOWER_PID=
trap '[ -n "$FOLLOWER_PID" ] && kill -KILL "$FOLLOWER_PID" 2>/dev/null; cleanup' EXIT

SOURCE="$(cd "$(dirname "$0")/../.." && pwd)/data/timeline.txt"
SAME_PICTURE="$(dirname "$0")/lib/same_picture.py"
mkdir -p "$WORK/cwd" "$WORK/edited"
ln -s "$DEMO_DIR/music.ogg" "$WORK/cwd/music.ogg"
ln -s "$DEMO_DIR/music.ogg" "$WORK/edited/music.ogg"
cp "$SOURCE" "$WORK/cwd/timeline.txt"
(cd "$DEMO_DIR" && ./capture --out "$WORK/shipped" --start 13.2 --frames 1 >/dev/null 2>&1) ||
    fail "capture of the shipped tracks failed"
export SDL_RENDER_DRIVER=software

PORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
WHERE=127.0.0.1:$PORT
start_studio "$DEMO_DIR" "$WORK/cwd" timeline.txt --start 13 --no-live-code --serve "$WHERE"
wait_for_studio

(cd "$WORK/cwd" && exec "$DEMO_DIR/demo" --follow "$WHERE" >"$WORK/follower.out" 2>"$WORK/follower.err") &
FOLLOWER_PID=$!
following() { grep -q -F "follow $WHERE: following the studio" "$WORK/follower.err"; }
eventually following || fail "the demo does not follow: $(cat "$WORK/follower.err")"

# The follower's window, dumped and compared with the PNG $1. Without a
# window manager the window is mapped at 8,8 and so partly off the screen:
# it is moved to the corner and raised first, for the dump to hold all of it.
follower_shows() {
    local wid
    wid=$(xdotool search --all --onlyvisible --pid "$FOLLOWER_PID" --name "lumikenno 2019 demo" 2>/dev/null | tail -n 1)
    [ -n "$wid" ] && xdotool windowmove --sync "$wid" 0 0 windowraise "$wid" 2>/dev/null &&
        xwd -id "$wid" -silent >"$WORK/follower.xwd" 2>/dev/null &&
        python3 "$SAME_PICTURE" "$1" "$WORK/follower.xwd" >"$WORK/compared" 2>&1
}

# The seek: paused, eight bars and a beat from the start, 13.2 s (the house).
studio_keys space Home
for i in $(seq 8); do studio_keys shift+Right; done
studio_keys Right
eventually follower_shows "$WORK/shipped/frame-000000.png" ||
    fail "the follower does not show capture's picture at 13.2 s: $(cat "$WORK/compared")"
trace "the follower shows 13.2 s"

# The edit: a key at the playhead in the "scene" column, 4 (the sphere).
studio_keys Tab ctrl+Right ctrl+Left Return
studio_keys 4 Return
file_has() { grep -q "$1" "$WORK/cwd/timeline.txt"; }
eventually file_has '^  8:1     4     hold$' || fail "the key is not in the file: $(diff "$SOURCE" "$WORK/cwd/timeline.txt")"
"$DEMO_DIR/../tools/timeline" compile "$WORK/cwd/timeline.txt" "$WORK/edited" >/dev/null ||
    fail "the saved file does not compile"
(cd "$WORK/edited" && "$DEMO_DIR/capture" --out shots --start 13.2 --frames 1 >/dev/null 2>&1) ||
    fail "capture of the edited tracks failed"
cmp -s "$WORK/shipped/frame-000000.png" "$WORK/edited/shots/frame-000000.png" && fail "the edit changes no picture"
eventually follower_shows "$WORK/edited/shots/frame-000000.png" ||
    fail "the follower does not show the edited picture: $(cat "$WORK/compared")"

kill -TERM "$FOLLOWER_PID"
wait "$FOLLOWER_PID" || fail "the demo's exit status $?: $(cat "$WORK/follower.err")"
FOLLOWER_PID=
studio_keys Escape
wait_for_exit
[ "$EXIT_STATUS" = 0 ] || fail "the studio's exit status $EXIT_STATUS"
echo PASS
