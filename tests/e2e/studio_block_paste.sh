# The studio's block editing under Xvfb, from the keyboard, on a copy of the
# shipped timeline: a block of two tracks (cam.rot, cam.dist) by one bar
# (36:0, where the sphere starts) is selected with Shift+Down and
# Ctrl+Shift+Right, copied, and pasted four bars later (40:0). The file's
# diff is exactly the two pasted key lines, the sphere at 42:0 turns
# differently (capture's picture of the saved file, byte for byte), and one
# undo gives the original bytes, takes the playhead to the pasted keys and
# gives the first picture back.
. "$(dirname "$0")/lib/common.bash"
ensure_display

SOURCE="$(cd "$(dirname "$0")/../.." && pwd)/data/timeline.txt"
TIMELINE_TOOL="$DEMO_DIR/../tools/timeline"
mkdir -p "$WORK/cwd" "$WORK/edited"
ln -s "$DEMO_DIR/music.ogg" "$WORK/cwd/music.ogg"
cp "$SOURCE" "$WORK/cwd/timeline.txt"
cp "$SOURCE" "$WORK/original.txt"
cd "$WORK/cwd"

# The block this test copies holds one key of each track, and neither
# track has a key at 40:0.
section_rows() { awk -v t="track $1" '$0 == t {f = 1; next} /^track / {f = 0} f && /^ +[0-9]/ {print $1}' timeline.txt; }
section_rows cam.rot | grep -qx 36:0 && section_rows cam.dist | grep -qx 36:0 &&
    ! section_rows cam.rot | grep -qx 40:0 && ! section_rows cam.dist | grep -qx 40:0 ||
    fail "the shipped timeline's keys around 36:0 changed; choose another block"

export SDL_RENDER_DRIVER=software
start_studio "$DEMO_DIR" "$WORK/cwd" timeline.txt
wait_for_studio

# Pause; four scene changes from the start are 6:0, 12:0, 28:0 and 36:0
# (57.6 s); six bars on is 42:0, 67.2 s.
studio_keys space Home Next Next Next Next
for i in $(seq 6); do studio_keys shift+Right; done
studio_snapshot . snapshot_01-07.200.png "$WORK/before.png"

# Back to 36:0; the grid at 8 rows a line, the cam.rot column (the sixth);
# three lines down and one track right: rows 36:0-36:3 of cam.rot, cam.dist.
studio_keys Prior Tab g g g
for i in $(seq 5); do studio_keys ctrl+Right; done
studio_keys shift+Down shift+Down shift+Down ctrl+shift+Right ctrl+c
for i in $(seq 4); do studio_keys shift+Right; done
studio_keys ctrl+v

changed_lines() { diff "$WORK/original.txt" timeline.txt | grep '^[<>]'; }
two_lines_added() { [ "$(changed_lines | wc -l)" = 2 ]; }
eventually two_lines_added || fail "the paste did not reach the file: $(diff "$WORK/original.txt" timeline.txt)"
[ "$(changed_lines)" = "$(printf '>   40:0    16      linear\n>   40:0    10      hold')" ] ||
    fail "the file's diff is not the two pasted keys: $(diff "$WORK/original.txt" timeline.txt)"

# The picture at 42:0 is capture's of the saved file, and not the first.
"$TIMELINE_TOOL" compile timeline.txt "$WORK/edited" >/dev/null || fail "the saved file does not compile"
ln -s "$DEMO_DIR/music.ogg" "$WORK/edited/music.ogg"
(cd "$WORK/edited" && "$DEMO_DIR/capture" --out shots --start 67.2 --frames 1 >/dev/null 2>&1) ||
    fail "capture failed"
studio_keys shift+Right shift+Right
snapshot_is() { studio_snapshot . snapshot_01-07.200.png "$WORK/now.png"; cmp -s "$WORK/now.png" "$1"; }
studio_keys h # the snapshot has no HUD anyway; the grid off keeps the frame cheap
eventually snapshot_is "$WORK/edited/shots/frame-000000.png" || fail "the picture at 42:0 is not the pasted keys'"
cmp -s "$WORK/now.png" "$WORK/before.png" && fail "the paste did not change the picture"

# One undo: the original bytes; the playhead goes to the changed keys
# (40:0, 64 s), and two bars on the first picture is back.
studio_keys ctrl+z
file_is_original() { cmp -s timeline.txt "$WORK/original.txt"; }
eventually file_is_original || fail "undo did not give the original bytes: $(diff "$WORK/original.txt" timeline.txt)"
studio_snapshot . snapshot_01-04.000.png "$WORK/at_undo.png"
studio_keys shift+Right shift+Right
eventually snapshot_is "$WORK/before.png" || fail "undo did not give the first picture back"

studio_keys Escape Escape # the block, then the studio
wait_for_exit 60
[ "$EXIT_STATUS" = 0 ] || fail "Escape: exit status $EXIT_STATUS"
echo PASS
