# The studio's key editor under Xvfb, from the keyboard: started at 13 s, the
# grid shown and its "scene" column selected, a key inserted at the playhead
# and another scene number typed into it. The picture becomes that scene's
# (capture's picture of the saved file at the same time, byte for byte) and
# the file on disk holds the new key; undo puts the file back to its
# original bytes and the picture back too.
. "$(dirname "$0")/lib/common.bash"
ensure_display

SOURCE="$(cd "$(dirname "$0")/../.." && pwd)/data/timeline.txt"
TIMELINE_TOOL="$DEMO_DIR/../tools/timeline"
mkdir -p "$WORK/cwd" "$WORK/edited"
ln -s "$DEMO_DIR/music.ogg" "$WORK/cwd/music.ogg"
cp "$SOURCE" "$WORK/cwd/timeline.txt"
cp "$SOURCE" "$WORK/original.txt"
cd "$WORK/cwd"

# The command line: --help lists the options, a bad one is named (exit 2).
"$DEMO_DIR/studio" --help >"$WORK/help.txt" 2>&1 || fail "studio --help: exit status $?"
grep -q -- "--start" "$WORK/help.txt" || fail "--help does not list --start: $(cat "$WORK/help.txt")"
"$DEMO_DIR/studio" --start soon >/dev/null 2>"$WORK/bad.txt"
status=$?
[ $status = 2 ] || fail "a bad --start: exit status $status"
head -n 1 "$WORK/bad.txt" | grep -q -- "--start" || fail "the bad option is not named: $(cat "$WORK/bad.txt")"

export SDL_RENDER_DRIVER=software
start_studio "$DEMO_DIR" "$WORK/cwd" timeline.txt --start 13
wait_for_studio

# Pause; eight bars and a beat from the start: 13.2 s, row 264 (8:1), in
# the house scene (2) that starts at 6:0.
studio_keys space Home
for i in $(seq 8); do studio_keys shift+Right; done
studio_keys Right
studio_snapshot . snapshot_00-13.200.png "$WORK/before.png"

file_has() { grep -q "$1" timeline.txt; }
file_is_original() { cmp -s timeline.txt "$WORK/original.txt"; }

# The grid, its first column ("scene", one to the right and back), a key
# holding the value at the playhead, then 4 (the sphere) typed into it.
studio_keys Tab ctrl+Right ctrl+Left Return
eventually file_has '^  8:1     2     hold$' || fail "no key inserted: $(diff "$WORK/original.txt" timeline.txt)"
studio_keys 4 Return
eventually file_has '^  8:1     4     hold$' || fail "the typed value is not in the file: $(diff "$WORK/original.txt" timeline.txt)"
[ "$(diff "$WORK/original.txt" timeline.txt | grep -c '^[<>]')" = 1 ] ||
    fail "more than the new key changed: $(diff "$WORK/original.txt" timeline.txt)"

# The same picture as capture gives for the saved file at 13.2 s.
"$TIMELINE_TOOL" compile timeline.txt "$WORK/edited" >/dev/null || fail "the saved file does not compile"
ln -s "$DEMO_DIR/music.ogg" "$WORK/edited/music.ogg"
(cd "$WORK/edited" && "$DEMO_DIR/capture" --out shots --start 13.2 --frames 1 >/dev/null 2>&1) ||
    fail "capture failed"
snapshot_is() { studio_snapshot . snapshot_00-13.200.png "$WORK/now.png"; cmp -s "$WORK/now.png" "$1"; }
eventually snapshot_is "$WORK/edited/shots/frame-000000.png" || fail "the picture is not the sphere's"
cmp -s "$WORK/now.png" "$WORK/before.png" && fail "the picture did not change"

# Undo twice (the typed value, then the key): the original bytes, and the
# first picture.
studio_keys ctrl+z
eventually file_has '^  8:1     2     hold$' || fail "undo did not restore the inserted key's value"
studio_keys ctrl+z
eventually file_is_original || fail "undo did not give the original bytes back: $(diff "$WORK/original.txt" timeline.txt)"
eventually snapshot_is "$WORK/before.png" || fail "undo did not give the first picture back"
grep -q "timeline.txt" "$WORK/stderr" && fail "the studio's own saves were reported: $(cat "$WORK/stderr")"

studio_keys Escape
wait_for_exit 60
[ "$EXIT_STATUS" = 0 ] || fail "Escape: exit status $EXIT_STATUS"
echo PASS
