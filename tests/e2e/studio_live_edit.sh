# The studio under Xvfb on a copy of the shipped timeline: keys seek to a
# known time, an edit of the "scene" key under the playhead changes the
# picture without a restart, a broken save shows its error and keeps the
# picture, and Escape ends it with status 0.
. "$(dirname "$0")/lib/common.bash"
ensure_display

SOURCE="$(cd "$(dirname "$0")/../.." && pwd)/data/timeline.txt"
mkdir -p "$WORK/cwd"
ln -s "$DEMO_DIR/music.ogg" "$WORK/cwd/music.ogg"
cp "$SOURCE" "$WORK/cwd/timeline.txt"
cp "$SOURCE" "$WORK/original.txt"
cd "$WORK/cwd"

start_studio "$DEMO_DIR" "$WORK/cwd" timeline.txt
wait_for_studio

# Pause, go to the start, two scene changes on (bar 12, 19.2 s: the
# landscape) and two beats on: 20.000 s, where the snapshot is named.
studio_keys space Home Next Next Right Right h
studio_snapshot . snapshot_00-20.000.png "$WORK/before.png"
window_hash() {
    xwd -id "$(studio_window)" -silent | md5sum | cut -d' ' -f1
}

snapshot_differs_from() { studio_snapshot . snapshot_00-20.000.png "$WORK/now.png"; ! cmp -s "$WORK/now.png" "$1"; }
snapshot_equals() { studio_snapshot . snapshot_00-20.000.png "$WORK/now.png"; cmp -s "$WORK/now.png" "$1"; }

# Scene 2 (the house) from bar 12 on, saved by renaming a new file in place.
grep -q '^  12:0    0     hold$' timeline.txt || fail "the timeline's bar 12 scene key moved"
sed -i 's/^  12:0    0     hold$/  12:0    2     hold/' timeline.txt
eventually snapshot_differs_from "$WORK/before.png" || fail "the edit never reached the picture"
cp "$WORK/now.png" "$WORK/house.png"
kill -0 "$DEMO_PID" 2>/dev/null || fail "the studio ended"

# Back to the landscape by truncating and writing: the same picture again.
cat "$WORK/original.txt" >timeline.txt
eventually snapshot_equals "$WORK/before.png" || fail "the reverted timeline did not give the first picture back"
# The frame of that snapshot may not be presented yet when its message
# comes; once a later snapshot is reported, it is.
snapshot_equals "$WORK/before.png" || fail "the picture changed by itself"
hash_clean=$(window_hash)

# A broken save: an unknown curve on a new last line. Its message comes on
# standard error, a box shows on the window, and the picture stays.
lines=$(wc -l <timeline.txt)
{ cat "$WORK/original.txt"; echo "  0:0 1 wobble"; } >timeline.txt
message="timeline.txt:$((lines + 1)): "
eventually grep -q "$message" "$WORK/stderr" || fail "no '$message' on stderr: $(cat "$WORK/stderr")"
box_shows() { [ "$(window_hash)" != "$hash_clean" ]; }
eventually box_shows || fail "the error box did not show"
snapshot_equals "$WORK/before.png" || fail "the broken save changed the picture"
[ "$(grep -c "$message" "$WORK/stderr")" = 1 ] || fail "the error was printed more than once"

# A good save again takes the box away.
cat "$WORK/original.txt" >timeline.txt
box_gone() { [ "$(window_hash)" = "$hash_clean" ]; }
eventually box_gone || fail "the error box stayed after a good save"

studio_keys Escape
wait_for_exit 60
[ "$EXIT_STATUS" = 0 ] || fail "Escape: exit status $EXIT_STATUS"
echo PASS
