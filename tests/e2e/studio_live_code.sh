# The studio under Xvfb with live scene code, on a copy of the sources and a
# build folder of the test's own (only the scene library, unoptimised, so
# that it builds quickly): a changed constant in the landscape reaches the
# picture while the music plays on; a syntax error shows the compiler's
# FILE:LINE in the error box and keeps the picture; mending it takes the box
# away; the original code back draws capture's pictures byte for byte (the
# landscape, the sphere); Escape ends the studio with status 0.
. "$(dirname "$0")/lib/common.bash"
ensure_display

make_live_sources
SCENE="$WORK/src/src/scenes/landscape.cpp"
grep -q 'BOTTOM_ROW = SCREEN_H - 2,' "$SCENE" || fail "the landscape's BOTTOM_ROW line moved"
cp "$SCENE" "$WORK/landscape.orig"

# The build at start finds the library up to date and loads it.
start_live_studio

# The music time a snapshot was named after, in whole milliseconds (the
# name's fraction has three digits or more: the exact time).
snapshot_ms() { # NAME
    local mm ss ms
    IFS='-.' read -r mm ss ms <<<"${1#snapshot_}"
    ms=${ms%%.*}
    echo $(((10#$mm * 60 + 10#$ss) * 1000 + 10#${ms:0:3}))
}
# Presses P while playing; prints the snapshot's music time in ms.
playing_snapshot() {
    local before name
    before=$(grep -c 'wrote snapshot_' "$WORK/stdout")
    studio_keys p
    eventually eval '[ "$(grep -c "wrote snapshot_" "$WORK/stdout")" -gt '"$before"' ]' ||
        fail "no snapshot while playing"
    name=$(grep -o 'wrote snapshot_[0-9.-]*png' "$WORK/stdout" | tail -n 1)
    rm -f "$WORK/cwd/${name#wrote }"
    snapshot_ms "${name#wrote }"
}
# Pauses at 20.000 s (two scene changes on from the start, bar 12 at 19.2 s
# is the landscape, then two beats) and takes the snapshot there as $1.
snapshot_at_20() {
    studio_keys Home Next Next Right Right
    studio_snapshot "$WORK/cwd" snapshot_00-20.000.png "$1"
}
window_hash() { xwd -id "$(studio_window)" -silent | md5sum | cut -d' ' -f1; }

studio_keys h space # the HUD off (the error box stays), paused
snapshot_at_20 "$WORK/before.png"

# One constant changed while the music plays: the strips stop 40 rows up.
studio_keys space
t_before=$(playing_snapshot)
sed -i 's/BOTTOM_ROW = SCREEN_H - 2,/BOTTOM_ROW = SCREEN_H - 40,/' "$SCENE"
cp "$SCENE" "$WORK/landscape.changed"
wait_rebuilt 1
t_after=$(playing_snapshot)
[ "$t_after" -gt "$t_before" ] || fail "the music did not go on across the swap: $t_before ms, then $t_after ms"
studio_keys space
snapshot_at_20 "$WORK/changed.png"
! cmp -s "$WORK/before.png" "$WORK/changed.png" || fail "the changed constant did not reach the picture"
hash_clean=$(window_hash)

# A syntax error on a new last line: FILE:LINE on standard error and in the
# box; the picture stays.
lines=$(wc -l <"$SCENE")
echo 'int broken = ;' >>"$SCENE"
message="src/scenes/landscape.cpp:$((lines + 1)): "
eventually grep -q "$message" "$WORK/stderr" || fail "no '$message' on stderr: $(cat "$WORK/stderr")"
box_shows() { [ "$(window_hash)" != "$hash_clean" ]; }
eventually box_shows || fail "the error box did not show"
snapshot_at_20 "$WORK/broken.png"
cmp -s "$WORK/broken.png" "$WORK/changed.png" || fail "the failed build changed the picture"

# Mended (back to the changed constant): the box goes, the picture is the same.
cp "$WORK/landscape.changed" "$SCENE"
wait_rebuilt 2
box_gone() { [ "$(window_hash)" = "$hash_clean" ]; }
eventually box_gone || fail "the error box stayed after a good build"
snapshot_at_20 "$WORK/mended.png"
cmp -s "$WORK/mended.png" "$WORK/changed.png" || fail "the mended build draws another picture"

# And the original source again gives the first picture back.
cp "$WORK/landscape.orig" "$SCENE"
wait_rebuilt 3
snapshot_at_20 "$WORK/back.png"
cmp -s "$WORK/back.png" "$WORK/before.png" || fail "the original code does not give the first picture back"
# Swapped code that is the program's own draws what capture draws.
(cd "$WORK/cwd" && exec "$DEMO_DIR/capture" --out shots --start 20 --frames 1) >/dev/null 2>&1 ||
    fail "capture failed"
cmp "$WORK/back.png" "$WORK/cwd/shots/frame-000000.png" || fail "the swapped library's picture differs from capture's"
# So does a scene that was not edited and draws its whole picture afresh
# every frame: the sphere at the fourth scene change (bar 36, 57.6 s). (The
# house, the streaks and the glyphs draw over the window as the last frame
# left it, the others keep a picture or a start: not comparable after seeks.)
studio_keys Home Next Next Next Next
studio_snapshot "$WORK/cwd" snapshot_00-57.600.png "$WORK/sphere.png"
rm -rf "$WORK/cwd/shots"
(cd "$WORK/cwd" && exec "$DEMO_DIR/capture" --out shots --start 57.6 --frames 1) >/dev/null 2>&1 ||
    fail "capture at 57.6 s failed"
cmp "$WORK/sphere.png" "$WORK/cwd/shots/frame-000000.png" || fail "the swapped library differs from capture at 57.6 s"

studio_keys Escape
wait_for_exit 60
[ "$EXIT_STATUS" = 0 ] || fail "Escape: exit status $EXIT_STATUS"
echo PASS
