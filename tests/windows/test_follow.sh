# demo.exe under Wine follows the desktop build's studio on the loopback
# address, in a private X server. Started before the studio, it names
# Winsock's refusal in its line and plays on; it finds the studio once that
# serves, is served its tracks, and once the studio is paused at 13.2 s its
# window holds the desktop capture's picture at 13.2 s, pixel for pixel (the
# house: drawn from the time alone). The studio quits: demo.exe says so on
# standard error and plays on; Escape ends it with status 0.
#   bash test_follow.sh WIN_DEMO_DIR NATIVE_DEMO_DIR
set -u
WIN_DIR=${1:?usage: $0 WIN_DEMO_DIR NATIVE_DEMO_DIR}
NATIVE_DIR=${2:?usage: $0 WIN_DEMO_DIR NATIVE_DEMO_DIR}
HERE=$(cd "$(dirname "$0")" && pwd)
# The studio's helpers (its own X server, keys to its window) are the
# desktop end-to-end tests'; they take the desktop build's folder. Their
# DEMO_PID is the studio; demo.exe's pid is FOLLOWER_PID.
set -- "$NATIVE_DIR"
. "$HERE/../e2e/lib/common.bash"
. "$HERE/lib.bash"
FOLLOWER_PID=
trap '[ -n "$FOLLOWER_PID" ] && kill -KILL "$FOLLOWER_PID" 2>/dev/null; wineserver -k >/dev/null 2>&1; cleanup' EXIT
ensure_display
wine_setup "${WINEPREFIX:?WINEPREFIX must name the prefix}"

mkdir -p "$WORK/cwd"
ln -s "$NATIVE_DIR/music.ogg" "$WORK/cwd/music.ogg"
cp "$NATIVE_DIR"/sync_*.track "$WORK/cwd/"
(cd "$NATIVE_DIR" && ./capture --out "$WORK/shots" --start 13.2 --frames 1 >/dev/null 2>&1) || fail "capture failed"
export SDL_RENDER_DRIVER=software

PORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
WHERE=127.0.0.1:$PORT
(cd "$WORK/cwd" && SDL_VIDEODRIVER= exec wine "$WIN_DIR/demo.exe" --follow "$WHERE" >"$WORK/follower.out" 2>"$WORK/follower.err") &
FOLLOWER_PID=$!
said() { { tr -d '\r' <"$1"; } 2>/dev/null | grep -q -E "$2"; }
eventually said "$WORK/follower.err" "^follow $WHERE: cannot reach the studio \(Connection refused\); playing on alone" ||
    fail "no line for the refused connection: $(cat "$WORK/follower.out" "$WORK/follower.err")"

start_studio "$NATIVE_DIR" "$WORK/cwd" --start 13 --no-live-code --serve "$WHERE"
wait_for_studio
eventually said "$WORK/follower.err" "^follow $WHERE: following the studio$" ||
    fail "demo.exe does not follow: $(cat "$WORK/follower.out" "$WORK/follower.err")"
eventually said "$WORK/stderr" "^serve: follower 1 follows$" || fail "the studio does not serve: $(cat "$WORK/stderr")"

# Paused, eight bars and a beat from the start: 13.2 s.
studio_keys space Home
for i in $(seq 8); do studio_keys shift+Right; done
studio_keys Right
# demo.exe's window, in the corner and above the studio's, dumped and
# compared with capture's picture.
follower_shows() {
    local wid
    wid=$(demo_exe_window)
    [ -n "$wid" ] && xdotool windowmove --sync "$wid" 0 0 windowraise "$wid" 2>/dev/null &&
        xwd -id "$wid" -silent >"$WORK/follower.xwd" 2>/dev/null &&
        python3 "$HERE/../e2e/lib/same_picture.py" "$WORK/shots/frame-000000.png" "$WORK/follower.xwd" \
            >"$WORK/compared" 2>&1
}
eventually follower_shows || fail "demo.exe does not show the picture at 13.2 s: $(cat "$WORK/compared")"

# The studio quits: one line, and demo.exe plays on until Escape.
studio_keys Escape
wait_for_exit
[ "$EXIT_STATUS" = 0 ] || fail "the studio's exit status $EXIT_STATUS"
eventually said "$WORK/follower.err" "^follow $WHERE: the studio closed the link" ||
    fail "demo.exe did not notice: $(cat "$WORK/follower.err")"
kill -0 "$FOLLOWER_PID" 2>/dev/null || fail "demo.exe ended with the link: $(cat "$WORK/follower.err")"
DEMO_PID=$FOLLOWER_PID
press_key Escape
wait_for_demo_exit
FOLLOWER_PID=
[ "$EXIT_STATUS" = 0 ] || fail "Escape gave demo.exe exit status $EXIT_STATUS: $(cat "$WORK/follower.err")"
[ ! -s "$WORK/follower.out" ] || fail "demo.exe wrote on standard output: $(cat "$WORK/follower.out")"
echo PASS
