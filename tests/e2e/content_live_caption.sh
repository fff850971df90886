# A caption's words changed while the studio plays, on a copy of the sources
# and a build folder of the test's own (only the scene library): the text
# table comes with the rebuilt library, the music goes on across the swap,
# and the picture first differs from before in the caption's rows (the
# landscape at 24 s under "Not_living_and_not_yet_dead", pen y 508); the
# original words back draw capture's picture byte for byte.
. "$(dirname "$0")/lib/common.bash"
ensure_display

make_live_sources
CAPTIONS="$WORK/src/src/text/captions.cpp"
grep -q '"____Not_living_and_not_yet_dead____"' "$CAPTIONS" || fail "caption line 16 moved"
cp "$CAPTIONS" "$WORK/captions.orig"

start_live_studio
music_ms() { # the music time of the newest snapshot while playing, in ms
    local before name mm ss ms
    before=$(grep -c 'wrote snapshot_' "$WORK/stdout")
    studio_keys p
    eventually eval '[ "$(grep -c "wrote snapshot_" "$WORK/stdout")" -gt '"$before"' ]' || fail "no snapshot"
    name=$(grep -o 'wrote snapshot_[0-9.-]*png' "$WORK/stdout" | tail -n 1)
    rm -f "$WORK/cwd/${name#wrote }"
    name=${name#wrote snapshot_}
    IFS='-.' read -r mm ss ms <<<"$name"
    echo $(((10#$mm * 60 + 10#$ss) * 1000 + 10#${ms:0:3}))
}
snapshot_at_24() { # paused at bar 15 (24 s: the landscape, caption 16)
    studio_keys Home Next Next shift+Right shift+Right shift+Right
    studio_snapshot "$WORK/cwd" snapshot_00-24.000.png "$1"
}
# The first picture row in which two PNG files of the same size differ, or
# -1. Rows are compared as stored (filter byte and filtered bytes): equal
# stored rows from the top are equal pixel rows, so the first stored row
# that differs is the first pixel row that does.
first_different_row() {
    python3 - "$1" "$2" <<'PY'
import struct, sys, zlib
def rows(path):
    data = open(path, 'rb').read()
    pos, idat, width = 8, b'', 0
    while pos < len(data):
        n, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if kind == b'IHDR':
            width = struct.unpack('>I', body[:4])[0]
        elif kind == b'IDAT':
            idat += body
        pos += 12 + n
    raw, stride = zlib.decompress(idat), 1 + 3 * width
    return [raw[i:i + stride] for i in range(0, len(raw), stride)]
a, b = rows(sys.argv[1]), rows(sys.argv[2])
print(next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), -1))
PY
}

studio_keys h space # the HUD off, paused
snapshot_at_24 "$WORK/before.png"

# New words while the music plays.
studio_keys space
t_before=$(music_ms)
sed -i 's/"____Not_living_and_not_yet_dead____"/"____Not_living_and_not_yet_done____"/' "$CAPTIONS"
wait_rebuilt 1
t_after=$(music_ms)
[ "$t_after" -gt "$t_before" ] || fail "the music did not go on across the swap: $t_before ms, then $t_after ms"
studio_keys space
snapshot_at_24 "$WORK/changed.png"
row=$(first_different_row "$WORK/before.png" "$WORK/changed.png")
# The text's glyphs: 64 rows from pen y 504 (the text 4 above its shadow at 508).
[ "$row" -ge 504 ] && [ "$row" -lt 572 ] ||
    fail "the changed words did not reach the caption's rows (first different row: $row)"
grep "studio: scenes rebuilt in" "$WORK/stdout" | head -n 1 | sed "s/^/caption change: /"

# The words back: capture's picture, byte for byte.
cp "$WORK/captions.orig" "$CAPTIONS"
wait_rebuilt 2
snapshot_at_24 "$WORK/back.png"
(cd "$WORK/cwd" && exec "$DEMO_DIR/capture" --out shots --start 24 --frames 1) >/dev/null 2>&1 ||
    fail "capture failed"
cmp "$WORK/back.png" "$WORK/cwd/shots/frame-000000.png" || fail "the original words do not draw capture's picture"

studio_keys Escape
wait_for_exit 60
[ "$EXIT_STATUS" = 0 ] || fail "Escape: exit status $EXIT_STATUS"
echo PASS
