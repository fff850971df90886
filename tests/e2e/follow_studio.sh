# A demo follows the studio under Xvfb, on the loopback address: it is
# greeted and served, says so when the studio quits, plays on, and follows
# again once a studio serves at that port; the studio refuses a second
# listener on a port in use and goes on; a studio serving every address
# refuses the demo without its token and serves one with it; the demos quit
# with status 0.
. "$(dirname "$0")/lib/common.bash"
ensure_display

FOLLOWER_PID=
SECOND=
trap 'for p in $FOLLOWER_PID $SECOND; do kill -KILL "$p" 2>/dev/null; done; cleanup' EXIT

mkdir -p "$WORK/cwd"
ln -s "$DEMO_DIR/music.ogg" "$WORK/cwd/music.ogg"
cp "$DEMO_DIR"/sync_*.track "$WORK/cwd/"
export SDL_RENDER_DRIVER=software

# A port that is free now, on the loopback address.
PORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
WHERE=127.0.0.1:$PORT

start_studio "$DEMO_DIR" "$WORK/cwd" --no-live-code --serve "$WHERE"
[ -n "$(studio_window)" ] || fail "no studio window: $(cat "$WORK/stdout" "$WORK/stderr")"

(cd "$WORK/cwd" && exec "$DEMO_DIR/demo" --follow "$WHERE" >"$WORK/follower.out" 2>"$WORK/follower.err") &
FOLLOWER_PID=$!
said() { grep -c -F -- "$2" "$1" 2>/dev/null; }
at_least() { [ "$(said "$1" "$2")" -ge "$3" ]; }

eventually at_least "$WORK/follower.err" "follow $WHERE: following the studio" 1 ||
    fail "the demo does not follow: $(cat "$WORK/follower.err")"
eventually at_least "$WORK/stderr" "serve: follower 1 follows" 1 ||
    fail "the studio does not serve: $(cat "$WORK/stderr")"

# A second studio on the same port: one line, and it runs on.
(cd "$WORK/cwd" && exec timeout 60 "$DEMO_DIR/studio" --no-live-code --serve "$WHERE" \
    >"$WORK/second.out" 2>"$WORK/second.err") &
SECOND=$!
eventually at_least "$WORK/second.err" "not serving followers: cannot listen on $WHERE" 1 ||
    fail "no line for the port in use: $(cat "$WORK/second.err")"
kill -0 "$SECOND" 2>/dev/null || fail "the second studio ended: $(cat "$WORK/second.err")"
kill -TERM "$SECOND"
wait "$SECOND"
SECOND=

# The studio quits: the demo says so once and plays on.
kill -TERM "$DEMO_PID"
wait "$DEMO_PID" || fail "the studio's exit status $?"
eventually at_least "$WORK/follower.err" "follow $WHERE: the studio closed the link" 1 ||
    fail "the demo did not notice: $(cat "$WORK/follower.err")"
kill -0 "$FOLLOWER_PID" 2>/dev/null || fail "the demo ended with the link: $(cat "$WORK/follower.err")"

# A new studio at that port: the demo finds it by itself.
start_studio "$DEMO_DIR" "$WORK/cwd" --no-live-code --serve "$WHERE"
eventually at_least "$WORK/follower.err" "follow $WHERE: following the studio" 2 ||
    fail "the demo did not follow again: $(cat "$WORK/follower.err")"
eventually at_least "$WORK/stderr" "serve: follower 1 follows" 1 ||
    fail "the new studio does not serve: $(cat "$WORK/stderr")"

# A studio on every address: it prints its token and refuses the demo
# without it; a demo given the token follows.
kill -TERM "$DEMO_PID"
wait "$DEMO_PID" || fail "the studio's exit status $?"
start_studio "$DEMO_DIR" "$WORK/cwd" --no-live-code --serve "0.0.0.0:$PORT"
token_line() { grep -o "serving followers on 0.0.0.0:$PORT with the token [!-~]*" "$WORK/stdout"; }
eventually token_line || fail "no token printed: $(cat "$WORK/stdout" "$WORK/stderr")"
TOKEN=$(token_line | sed 's/.* //')
eventually at_least "$WORK/follower.err" "follow $WHERE: the studio closed the link: no token" 1 ||
    fail "the demo without the token was not refused: $(cat "$WORK/follower.err")"
(cd "$WORK/cwd" && exec "$DEMO_DIR/demo" --follow "$WHERE" --token "$TOKEN" >"$WORK/second.out" 2>"$WORK/second.err") &
SECOND=$!
# (the refused demo is greeted too, before the bye; only the served one follows)
served() { grep -q -E "^serve: follower [0-9]+ follows" "$WORK/stderr"; }
eventually served || fail "the demo with the token is not served: $(cat "$WORK/second.err" "$WORK/stderr")"
kill -TERM "$SECOND"
wait "$SECOND" || fail "the second demo's exit status $?: $(cat "$WORK/second.err")"
SECOND=

kill -TERM "$FOLLOWER_PID"
wait "$FOLLOWER_PID" || fail "the demo's exit status $?: $(cat "$WORK/follower.err")"
FOLLOWER_PID=
[ ! -s "$WORK/follower.out" ] || fail "the demo wrote on standard output: $(cat "$WORK/follower.out")"
echo "PASS"
