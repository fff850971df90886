# The real program under Xvfb: it starts, keeps presenting frames, ignores
# other keys and Escape releases, and exits 0 on an Escape press and on a
# window close (SIGTERM, which SDL turns into its quit event).
. "$(dirname "$0")/lib/common.bash"
ensure_display

# Working directory with the music and a scene track of our own: scene 2,
# the house, whose reflection ripples with the music's position, so each
# frame differs from the one before at any frame rate.
mkdir -p "$WORK/cwd"
ln -s "$DEMO_DIR/music.ogg" "$WORK/cwd/music.ogg"
write_one_key_track "$WORK/cwd/sync_scene.track" '\x00\x00\x00\x40' # 2.0f

start_demo "$DEMO_DIR" "$WORK/cwd"
wait_for_window
# Frames keep coming: the picture changes over time.
wait_for_picture_changes 4

# Other keys and a bare Escape release do not end it: three new pictures
# after the keys were sent mean the demo has polled its events since.
send_to_demo key a space Return F1
send_to_demo keyup Escape
wait_for_picture_changes 3
kill -0 "$DEMO_PID" 2>/dev/null || fail "the demo ended on a key other than an Escape press"

send_to_demo key Escape
wait_for_exit
[ "$EXIT_STATUS" = 0 ] || fail "Escape: exit status $EXIT_STATUS"
[ ! -s "$WORK/stdout" ] || fail "unexpected output: $(cat "$WORK/stdout")"

# A window close: SIGTERM becomes SDL's quit event. Once the window shows
# frames, SDL's signal handling is in place.
start_demo "$DEMO_DIR" "$WORK/cwd"
wait_for_window
kill -TERM "$DEMO_PID"
wait_for_exit
[ "$EXIT_STATUS" = 0 ] || fail "SIGTERM: exit status $EXIT_STATUS"
echo PASS
