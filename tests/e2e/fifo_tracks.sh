# Track files that are no regular files: a FIFO with no writer (an ordinary
# open would wait for one for ever) and a directory named like track files.
# The demo starts, plays and quits as with those files missing, and prints
# nothing.
. "$(dirname "$0")/lib/common.bash"
ensure_display

# The house as the scene: its reflection ripples with the music position, so
# the picture changes at any frame rate.
mkdir -p "$WORK/cwd"
ln -s "$DEMO_DIR/music.ogg" "$WORK/cwd/music.ogg"
write_one_key_track "$WORK/cwd/sync_scene.track" '\x00\x00\x00\x40' # 2.0f
mkfifo "$WORK/cwd/sync_cam.x.track" "$WORK/cwd/sync_clear.a.track"
mkdir "$WORK/cwd/sync_cam.y.track"

start_demo "$DEMO_DIR" "$WORK/cwd"
wait_for_window
wait_for_picture_changes 3
send_to_demo key Escape
wait_for_exit
[ "$EXIT_STATUS" = 0 ] || fail "exit status $EXIT_STATUS"
[ ! -s "$WORK/stdout" ] || fail "unexpected output: $(cat "$WORK/stdout")"
echo PASS
