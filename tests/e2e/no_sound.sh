# Without "music.ogg" and without any usable sound output the demo still
# runs, silently, and quits normally.
. "$(dirname "$0")/lib/common.bash"
ensure_display

# No music.ogg here; the house as the scene, whose reflection ripples with
# the music position: the picture changes, at any frame rate, only if the
# position advances by the clock.
mkdir -p "$WORK/cwd"
write_one_key_track "$WORK/cwd/sync_scene.track" '\x00\x00\x00\x40' # 2.0f
(cd "$WORK/cwd" && SDL_AUDIODRIVER=nonexistent exec "$DEMO_DIR/demo" >"$WORK/stdout" 2>"$WORK/stderr") &
DEMO_PID=$!
wait_for_window
# The picture keeps changing: the position runs on the clock.
wait_for_picture_changes 3
send_to_demo key Escape
wait_for_exit
[ "$EXIT_STATUS" = 0 ] || fail "exit status $EXIT_STATUS"
[ ! -s "$WORK/stdout" ] || fail "unexpected output: $(cat "$WORK/stdout")"

# A "music.ogg" that is no Ogg Vorbis stream: the show goes on by the clock,
# with one line on standard error and nothing on standard output.
echo "not a sound" >"$WORK/cwd/music.ogg"
start_demo "$DEMO_DIR" "$WORK/cwd"
wait_for_window
wait_for_picture_changes 2
send_to_demo key Escape
wait_for_exit
[ "$EXIT_STATUS" = 0 ] || fail "not Ogg: exit status $EXIT_STATUS"
[ ! -s "$WORK/stdout" ] || fail "not Ogg: unexpected output: $(cat "$WORK/stdout")"
grep -Fxq "music.ogg: the music file is not an Ogg Vorbis stream; the show goes on by the clock" "$WORK/stderr" ||
    fail "not Ogg: no line on standard error: $(cat "$WORK/stderr")"
echo PASS
