# With the HUD off and the software renderer, the studio's picture at a
# music time is capture's picture at that time, byte for byte.
. "$(dirname "$0")/lib/common.bash"
ensure_display

mkdir -p "$WORK/cwd"
ln -s "$DEMO_DIR/music.ogg" "$WORK/cwd/music.ogg"
cp "$DEMO_DIR"/sync_*.track "$WORK/cwd/"
cd "$WORK/cwd"

(cd "$WORK/cwd" && exec "$DEMO_DIR/capture" --out shots --start 24 --frames 1) >/dev/null 2>&1 ||
    fail "capture failed"

export SDL_RENDER_DRIVER=software
start_studio "$DEMO_DIR" "$WORK/cwd"
wait_for_studio
# Pause, start, fifteen bars on: 24.000 s, the landscape with its caption.
studio_keys space Home h
for i in $(seq 15); do studio_keys shift+Right; done
studio_snapshot . snapshot_00-24.000.png "$WORK/studio.png"
cmp "$WORK/studio.png" shots/frame-000000.png || fail "the studio's picture differs from capture's"

studio_keys Escape
wait_for_exit 60
[ "$EXIT_STATUS" = 0 ] || fail "Escape: exit status $EXIT_STATUS"
echo PASS
