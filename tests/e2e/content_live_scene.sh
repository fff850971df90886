# A ninth scene added while the studio plays, on a copy of the sources: a
# new unit in the scene folder and its line in the scene table, saved. The
# studio's build configures again (the folder's list of units changed),
# the library swaps in with nine scenes under the same state layout, the
# "scene" track takes 8 at 20 s (12:2), the key goes into the timeline and
# the picture there is the new scene's; a save of the new unit then draws.
# A change to the state's layout is refused, naming the header.
. "$(dirname "$0")/lib/common.bash"
ensure_display

make_live_sources
SCENES="$WORK/src/src/scenes"
grep -q '^    {"sequence", draw_image_sequence, true},$' "$SCENES/scene_table.cpp" || fail "the scene table's last line moved"
cp "$(cd "$(dirname "$0")/../.." && pwd)/data/timeline.txt" "$WORK/cwd/timeline.txt"

start_live_studio timeline.txt

# The share of a snapshot's pixels, in per cent, of one colour.
colour_share() { # PNG R G B
    python3 - "$(dirname "$0")/lib" "$@" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
from same_picture import png_pixels
w, h, pixels = png_pixels(sys.argv[2])
print(pixels.count(bytes(int(v) for v in sys.argv[3:6])) * 100 // (w * h))
PY
}
snapshot_at_20() {
    studio_keys Home Next Next Right Right
    studio_snapshot "$WORK/cwd" snapshot_00-20.000.png "$1"
}
studio_keys h space # the HUD off, paused
snapshot_at_20 "$WORK/before.png"
[ "$(colour_share "$WORK/before.png" 20 200 40)" -lt 50 ] || fail "the picture is green before the scene exists"

cat >"$WORK/ninth.cpp" <<'CPP'
// ninth.cpp - a plain green picture.
#include "gfx/render_context.h"
#include "state/state.h"

void draw_ninth(const FrameTime &)
{
    SDL_SetRenderDrawColor(renderer, 20, 200, 40, 255);
    SDL_RenderClear(renderer);
}
CPP
sed -e 's|^    {"sequence", draw_image_sequence, true},$|&\n    {"ninth", draw_ninth, false},|' \
    -e 's|^#include "scenes/scenes.h"$|&\n\nvoid draw_ninth(const FrameTime \&);|' "$SCENES/scene_table.cpp" >"$WORK/scene_table.cpp"
mv "$WORK/ninth.cpp" "$SCENES/ninth.cpp"
mv "$WORK/scene_table.cpp" "$SCENES/scene_table.cpp"

# Keyed once the library with nine scenes draws (a build may first swap in
# the unit without the table's line).
keyed() {
    studio_keys 8 Return
    snapshot_at_20 "$WORK/after.png"
    [ "$(colour_share "$WORK/after.png" 20 200 40)" -ge 90 ]
}
eventually keyed || fail "the ninth scene was not drawn: $(cat "$WORK/stderr")"
grep -q 'live_scenes.dir/src/scenes/ninth.cpp' "$WORK/build/build.ninja" ||
    fail "the build folder does not build the new unit"
grep -q "refused" "$WORK/stderr" && fail "a library was refused: $(cat "$WORK/stderr")"
grep "studio: scenes rebuilt in" "$WORK/stdout" | sed "s/^/new scene: /"

# The new unit is watched from then on: its next save draws.
sed -i 's/20, 200, 40, 255/200, 20, 40, 255/' "$SCENES/ninth.cpp"
red() {
    snapshot_at_20 "$WORK/red.png"
    [ "$(colour_share "$WORK/red.png" 200 20 40)" -ge 90 ]
}
eventually red || fail "a save of the new unit did not reach the picture: $(cat "$WORK/stderr")"

# A change to the state's layout still needs a restart: the refusal names
# the header.
printf 'extern int LayoutProbe;\n' >>"$WORK/src/src/state/state.h"
eventually grep -q 'src/state/state.h changed, rebuild and restart the studio' "$WORK/stderr" ||
    fail "the layout's refusal does not name the header: $(cat "$WORK/stderr")"

studio_keys Escape
wait_for_exit 60
[ "$EXIT_STATUS" = 0 ] || fail "Escape: exit status $EXIT_STATUS"
sed -n '/^track scene$/,/^track /p' "$WORK/cwd/timeline.txt" | grep -Eq '^ +12:2 +8 ' ||
    fail "the key is not in the timeline's scene section: $(sed -n '/^track scene$/,/^track /p' "$WORK/cwd/timeline.txt")"
echo PASS
