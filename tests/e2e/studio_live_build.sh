# The studio's scene build under Xvfb, on a copy of the sources and a build
# folder of the test's own (only the scene library, unoptimised): sources
# newer than the library are built at start and their code draws without a
# save; a FIFO put in a source's place is refused by its name and nothing
# waits on it; a removed build/live is made again at the next save, whose
# code then draws capture's picture byte for byte; the folder of copies of a
# killed studio is removed by the next studio, which says so.
. "$(dirname "$0")/lib/common.bash"
ensure_display

make_live_sources
SCENE="$WORK/src/src/scenes/landscape.cpp"
OTHER="$WORK/src/src/scenes/fire.cpp"
grep -q 'BOTTOM_ROW = SCREEN_H - 2,' "$SCENE" || fail "the landscape's BOTTOM_ROW line moved"
cp "$SCENE" "$WORK/landscape.orig"

# Capture's picture at 20 s: the scenes built into the programs.
(cd "$WORK/cwd" && exec "$DEMO_DIR/capture" --out shots --start 20 --frames 1) >/dev/null 2>&1 ||
    fail "capture failed"
mv "$WORK/cwd/shots/frame-000000.png" "$WORK/capture.png"
rm -rf "$WORK/cwd/shots"

snapshot_at_20() { # Pauses at 20.000 s (the landscape) and takes the snapshot there as $1.
    studio_keys Home Next Next Right Right
    studio_snapshot "$WORK/cwd" snapshot_00-20.000.png "$1"
}
saw() { grep -q "$1" "$WORK/$2"; }
within_patience() { # Waits up to PATIENCE seconds for "$@" to succeed.
    local deadline=$((SECONDS + PATIENCE))
    until "$@"; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.2
    done
}
rebuilt_at_least() { [ "$(grep -c 'studio: scenes rebuilt in' "$WORK/stdout")" -ge "$1" ]; }

# The sources changed after the library was built: no save is needed.
sed -i 's/BOTTOM_ROW = SCREEN_H - 2,/BOTTOM_ROW = SCREEN_H - 40,/' "$SCENE"
start_studio "$DEMO_DIR" "$WORK/cwd" --build "$WORK/build"
wait_for_studio
within_patience saw 'studio: scenes on disk loaded in' stdout ||
    fail "the code on disk was not loaded at start: $(cat "$WORK/stdout" "$WORK/stderr")"
studio_keys h space
snapshot_at_20 "$WORK/start.png"
! cmp -s "$WORK/start.png" "$WORK/capture.png" || fail "the studio drew its own scenes, not the code on disk"

# A FIFO in another source's place: named, and no build waits on it.
mv "$OTHER" "$WORK/fire.cpp"
mkfifo "$OTHER"
eventually saw 'studio: src/scenes/fire.cpp: not a regular file (a FIFO)' stderr ||
    fail "the FIFO was not refused by name: $(cat "$WORK/stderr")"
rm "$OTHER"
cp "$WORK/fire.cpp" "$OTHER"
within_patience rebuilt_at_least 1 || fail "no rebuild once the FIFO was gone: $(cat "$WORK/stdout" "$WORK/stderr")"

# build/live removed, the original source back: built and loaded again, and
# the picture is capture's.
rm -rf "$WORK/build/live"
cp "$WORK/landscape.orig" "$SCENE"
within_patience rebuilt_at_least 2 ||
    fail "no rebuild after build/live was removed: $(cat "$WORK/stdout" "$WORK/stderr")"
snapshot_at_20 "$WORK/back.png"
cmp "$WORK/back.png" "$WORK/capture.png" || fail "the rebuilt library's picture differs from capture's"

# Killed, the studio leaves its folder of copies; the next one removes it.
killed=$DEMO_PID
kill -KILL "$killed"
wait "$killed" 2>/dev/null
[ -d "$WORK/build/live/loaded-$killed" ] || fail "no folder of copies of the killed studio: $(ls "$WORK/build/live")"
start_studio "$DEMO_DIR" "$WORK/cwd" --build "$WORK/build"
eventually saw "studio: removed 1 temporary file of ended processes from $WORK/build/live" stderr ||
    fail "the killed studio's folder was not removed: $(cat "$WORK/stderr")"
[ ! -e "$WORK/build/live/loaded-$killed" ] || fail "the killed studio's folder is still there"
within_patience saw 'studio: scenes on disk loaded in' stdout || fail "no load at the second start"
wait_for_studio
studio_keys Escape
wait_for_exit 60
[ "$EXIT_STATUS" = 0 ] || fail "Escape: exit status $EXIT_STATUS"
[ -z "$(ls -d "$WORK"/build/live/loaded-* 2>/dev/null)" ] || fail "a folder of copies stayed after Escape"
echo PASS
