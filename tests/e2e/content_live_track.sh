# A track declared in a scene's own code, live in the studio, on a copy of
# the sources and the shipped timeline: the landscape reads "fog.density"
# as an offset of its camera's x. Declared, with no section yet, it reads
# 0 and the picture stays; a key typed on its column in the studio opens its
# section and moves the camera, and undo takes both back; a section misnamed
# is refused with the declared names; the section named right moves the
# camera.
. "$(dirname "$0")/lib/common.bash"
ensure_display

make_live_sources
SCENE="$WORK/src/src/scenes/landscape.cpp"
grep -q '^    paint_landscape(current_scene_frame(time), ' "$SCENE" || fail "the landscape's paint line moved"
cp "$(cd "$(dirname "$0")/../.." && pwd)/data/timeline.txt" "$WORK/cwd/timeline.txt"

start_live_studio timeline.txt
snapshot_at_20() {
    studio_keys Home Next Next Right Right
    studio_snapshot "$WORK/cwd" snapshot_00-20.000.png "$1"
}
studio_keys h space
snapshot_at_20 "$WORK/before.png"

sed -i -e 's/^    paint_landscape(current_scene_frame(time), /    SceneFrame f = current_scene_frame(time);\n    f.values.cam_x += scene_track_value(fog_density, time);\n    paint_landscape(f, /' \
    -e 's|^#include "scenes/scenes.h"$|#include "scenes/scenes.h"\n#include "scenes/scene_track.h"\n\nDEMO_SCENE_TRACK(fog_density, "fog.density");|' \
    "$SCENE"
eventually grep -q 'studio: scenes rebuilt in' "$WORK/stdout" || fail "no rebuilt library: $(cat "$WORK/stderr")"
snapshot_at_20 "$WORK/declared.png"
cmp -s "$WORK/before.png" "$WORK/declared.png" || fail "a declared track without keys changed the picture"
moved() {
    snapshot_at_20 "$WORK/keyed.png"
    ! cmp -s "$WORK/before.png" "$WORK/keyed.png"
}

# Keyed in the studio: the cursor onto the declared column (the last, left
# of the first); a value typed on the playhead's line opens the section and
# moves the camera; undo gives the file's bytes back.
cp "$WORK/cwd/timeline.txt" "$WORK/unkeyed.txt"
studio_keys ctrl+Left 3 0 Return
eventually grep -q '^track fog.density$' "$WORK/cwd/timeline.txt" ||
    fail "the typed key opened no section: $(tail -n 3 "$WORK/cwd/timeline.txt") $(cat "$WORK/stderr")"
grep -A1 '^track fog.density$' "$WORK/cwd/timeline.txt" | grep -Eq '^ +12:2 +30 ' ||
    fail "the typed key's line: $(tail -n 3 "$WORK/cwd/timeline.txt")"
eventually moved || fail "the typed key did not reach the picture"
studio_keys ctrl+z
eventually cmp -s "$WORK/unkeyed.txt" "$WORK/cwd/timeline.txt" ||
    fail "undo left: $(tail -n 3 "$WORK/cwd/timeline.txt")"

printf 'track fog.densty\n  0 30 hold\n' >>"$WORK/cwd/timeline.txt"
eventually grep -q "unknown track 'fog.densty' (declared: fog.density)" "$WORK/stderr" ||
    fail "no message for the misnamed section: $(cat "$WORK/stderr")"
sed -i 's/^track fog.densty$/track fog.density/' "$WORK/cwd/timeline.txt"
eventually moved || fail "the declared track's keys did not reach the picture"

studio_keys Escape
wait_for_exit 60
[ "$EXIT_STATUS" = 0 ] || fail "Escape: exit status $EXIT_STATUS"
echo PASS
