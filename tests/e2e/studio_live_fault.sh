# The studio under Xvfb with live scene code on a copy of the sources, the
# music looping over a bar of the landscape: a null write saved into the
# landscape's drawing is caught (the error box and standard error name the
# scene, SIGSEGV and the source line) and the studio draws on; an endless
# loop saved next is stopped after --scene-timeout with its line; the mended
# source draws again. The music position moves throughout, the timeline file
# is never touched, and SIGTERM ends the studio (status 0) while a scene
# loops, long before the bound.
. "$(dirname "$0")/lib/common.bash"
ensure_display

ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
make_live_sources
cp "$ROOT/data/timeline.txt" "$WORK/cwd/timeline.txt"
timeline_sum=$(md5sum <"$WORK/cwd/timeline.txt")
SCENE="$WORK/src/src/scenes/landscape.cpp"
cp "$SCENE" "$WORK/landscape.orig"
# The first line of the landscape's drawing, inside its braces.
body=$(($(grep -n '^void draw_landscape(const FrameTime &time)$' "$SCENE" | cut -d: -f1) + 2))
[ "$body" -gt 2 ] && [ "$(sed -n "$((body - 1))p" "$SCENE")" = "{" ] || fail "draw_landscape moved"
# Saves the landscape with LINE as the first line of its drawing.
save_with() {
    sed "$((body - 1))a\\$1" "$WORK/landscape.orig" >"$WORK/landscape.new"
    cp "$WORK/landscape.new" "$SCENE"
}

start_studio "$DEMO_DIR" "$WORK/cwd" timeline.txt --build "$WORK/build" --scene-timeout 10
wait_for_studio

# Playing, looped over bar 12 (19.2-20.8 s, the landscape): the landscape
# draws all along while the music moves.
studio_keys space Home Next Next l l space

# Presses P while playing; prints the snapshot's music time in ms.
playing_snapshot() {
    local before name mm ss ms
    before=$(grep -c 'wrote snapshot_' "$WORK/stdout")
    studio_keys p
    eventually eval '[ "$(grep -c "wrote snapshot_" "$WORK/stdout")" -gt '"$before"' ]' ||
        fail "no snapshot while playing: the picture stands still? $(cat "$WORK/stderr")"
    name=$(grep -o 'wrote snapshot_[0-9.-]*png' "$WORK/stdout" | tail -n 1)
    rm -f "$WORK/cwd/${name#wrote }"
    name=${name#wrote snapshot_}
    IFS='-.' read -r mm ss ms <<<"$name"
    echo $(((10#$mm * 60 + 10#$ss) * 1000 + 10#${ms:0:3}))
}
# The music moves: two snapshots at two music times, both in the loop.
music_moves() {
    local a b
    a=$(playing_snapshot)
    b=$(playing_snapshot)
    [ "$a" != "$b" ] || fail "the music stood at $a ms"
    for t in $a $b; do
        [ "$t" -ge 19200 ] && [ "$t" -le 20800 ] || fail "the music left the loop: $t ms"
    done
}
said() { grep -c "$1" "$WORK/stderr"; }
music_moves

# A null write: caught, named, and the studio's own scenes draw on.
save_with '    { volatile int *volatile nowhere = nullptr; *nowhere = 1; }'
wait_rebuilt 1
crash="scene \"landscape\" crashed: SIGSEGV, a bad memory access at 0x0, at src/scenes/landscape.cpp:$body in draw_landscape(FrameTime const&)"
eventually grep -qF "$crash" "$WORK/stderr" || fail "no '$crash': $(cat "$WORK/stderr")"
music_moves
[ "$(said 'crashed: SIGSEGV')" = 1 ] || fail "the set-aside library was called again: $(cat "$WORK/stderr")"

# An endless loop: stopped after the bound, at its line.
save_with '    fputs("landscape loops\\n", stderr); for (;;) std::rand();'
wait_rebuilt 2
hang="scene \"landscape\" did not return within 10.0 s and was stopped, at src/scenes/landscape.cpp:$body in draw_landscape(FrameTime const&)"
eventually grep -qF "$hang" "$WORK/stderr" || fail "no '$hang': $(cat "$WORK/stderr")"
music_moves

# Mended: the library is taken and draws; nothing more is caught.
cp "$WORK/landscape.orig" "$SCENE"
wait_rebuilt 3
music_moves
[ "$(said 'studio: scene "landscape"')" = 2 ] || fail "more faults than two: $(cat "$WORK/stderr")"

# The loop once more, and SIGTERM once it loops: the studio quits.
save_with '    fputs("landscape loops\\n", stderr); for (;;) std::rand();'
eventually eval '[ "$(said "landscape loops")" = 2 ]' || fail "the second loop did not start: $(cat "$WORK/stderr")"
kill -TERM "$DEMO_PID"
wait_for_exit
[ "$EXIT_STATUS" = 0 ] || fail "SIGTERM during a loop: exit status $EXIT_STATUS: $(cat "$WORK/stderr")"
grep -q 'scene "landscape" was stopped after [0-9.]* s to quit, at src/scenes/landscape.cpp:' "$WORK/stderr" ||
    fail "the loop was not stopped for the quit: $(cat "$WORK/stderr")"
[ "$(md5sum <"$WORK/cwd/timeline.txt")" = "$timeline_sum" ] || fail "the timeline file changed"
grep -h "studio: scene" "$WORK/stderr"
echo PASS
