# The real program under Xvfb: it starts, keeps presenting frames, ignores
# other keys and Escape releases, and exits 0 on an Escape press and on a
# window close (SIGTERM, which SDL turns into its quit event).
. "$(dirname "$0")/lib/common.bash"
ensure_display

# Working directory with the music and a scene track of our own: scene 7,
# the image sequence, which changes picture 20 times a second.
mkdir -p "$WORK/cwd"
ln -s "$DEMO_DIR/music.ogg" "$WORK/cwd/music.ogg"
write_one_key_track "$WORK/cwd/sync_scene.track" '\x00\x00\xe0\x40' # 7.0f

start_demo "$DEMO_DIR" "$WORK/cwd"
wid=$(wait_for_window)
[ -n "$wid" ] || fail "no window appeared: $(cat "$WORK/stdout" "$WORK/stderr")"

# Frames keep coming: the picture changes over time.
sleep 1
hashes=""
for i in 1 2 3 4 5; do
    hashes="$hashes $(screen_hash)"
    sleep 0.3
done
distinct=$(echo $hashes | tr ' ' '\n' | sort -u | wc -l)
[ "$distinct" -ge 2 ] || fail "the picture did not change: $hashes"

# Other keys and a bare Escape release do not end it.
xdotool key --window "$wid" a space Return F1
xdotool keyup --window "$wid" Escape
sleep 1
kill -0 "$DEMO_PID" 2>/dev/null || fail "the demo ended on a key other than an Escape press"

xdotool key --window "$wid" Escape
wait_for_exit 10
[ "$EXIT_STATUS" = 0 ] || fail "Escape: exit status $EXIT_STATUS"
[ ! -s "$WORK/stdout" ] || fail "unexpected output: $(cat "$WORK/stdout")"

# A window close: SIGTERM becomes SDL's quit event.
start_demo "$DEMO_DIR" "$WORK/cwd"
wid=$(wait_for_window)
[ -n "$wid" ] || fail "no window appeared the second time"
sleep 0.5
kill -TERM "$DEMO_PID"
wait_for_exit 10
[ "$EXIT_STATUS" = 0 ] || fail "SIGTERM: exit status $EXIT_STATUS"
echo PASS
