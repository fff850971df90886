# Without "music.ogg" and without any usable sound output the demo still
# runs, silently, and quits normally.
. "$(dirname "$0")/lib/common.bash"
ensure_display

# No music.ogg here; the image sequence as the scene, so the picture only
# changes if the music position advances by the clock.
mkdir -p "$WORK/cwd"
write_one_key_track "$WORK/cwd/sync_scene.track" '\x00\x00\xe0\x40' # 7.0f
(cd "$WORK/cwd" && SDL_AUDIODRIVER=nonexistent exec "$DEMO_DIR/demo" >"$WORK/stdout" 2>"$WORK/stderr") &
DEMO_PID=$!
wid=$(wait_for_window)
[ -n "$wid" ] || fail "no window without music: $(cat "$WORK/stdout" "$WORK/stderr")"
sleep 1
first=$(screen_hash)
sleep 0.5
second=$(screen_hash)
[ "$first" != "$second" ] || fail "the picture stood still without music"
kill -0 "$DEMO_PID" 2>/dev/null || fail "the demo ended without music"
xdotool key --window "$wid" Escape
wait_for_exit 10
[ "$EXIT_STATUS" = 0 ] || fail "exit status $EXIT_STATUS"
[ ! -s "$WORK/stdout" ] || fail "unexpected output: $(cat "$WORK/stdout")"
echo PASS
