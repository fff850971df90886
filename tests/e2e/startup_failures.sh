# Start-up failures print exactly one line on standard output, naming the
# failed step, and end with exit status 1 before any frame is drawn. An image
# that cannot be loaded is named in that line, with the reason.
. "$(dirname "$0")/lib/common.bash"
ensure_display

make_demo_copy
mkdir -p "$WORK/cwd"

# expect_failure PATTERN ENV... : run the copied demo, expect status 1 and
# one line matching the shell pattern PATTERN.
expect_failure() {
    local pattern=$1
    shift
    local status
    (cd "$WORK/cwd" && env "$@" timeout 300 "$WORK/demo/demo" >"$WORK/out" 2>"$WORK/err")
    status=$?
    [ "$status" = 1 ] || fail "$pattern: exit status $status (out: $(cat "$WORK/out"))"
    [ "$(wc -l <"$WORK/out")" = 1 ] || fail "$pattern: expected one line, got: $(cat "$WORK/out")"
    # shellcheck disable=SC2254 # the pattern's * and ? are meant
    case "$(cat "$WORK/out")" in
        $pattern) ;;
        *) fail "expected a line matching '$pattern', got: $(cat "$WORK/out")" ;;
    esac
}

# Puts the built image back in place of a broken one.
restore() {
    rm -rf "${WORK:?}/demo/$1"
    ln "$DEMO_DIR/$1" "$WORK/demo/$1" 2>/dev/null || cp "$DEMO_DIR/$1" "$WORK/demo/"
}

expect_failure "SDL_Init Error: nonexistent not available" SDL_VIDEODRIVER=nonexistent
expect_failure "SDL_CreateRenderer Error: *" SDL_VIDEODRIVER=dummy

BMP="SDL_LoadBMP Error: $WORK/demo"

rm "$WORK/demo/smear2.bmp"
expect_failure "$BMP/smear2.bmp: cannot be opened: No such file or directory"
restore smear2.bmp

rm "$WORK/demo/0007.bmp"
expect_failure "$BMP/0007.bmp: cannot be opened: No such file or directory"
restore 0007.bmp

# A file of the right name that is not a BMP fails like a missing one.
rm "$WORK/demo/house.bmp"
echo "not a picture" >"$WORK/demo/house.bmp"
expect_failure "$BMP/house.bmp: not a BMP file (it does not start with \"BM\")"
restore house.bmp

rm "$WORK/demo/c1.bmp"
mkdir "$WORK/demo/c1.bmp"
expect_failure "$BMP/c1.bmp: is a directory, not a file"
restore c1.bmp

: >"$WORK/demo/d1.bmp.new" && mv "$WORK/demo/d1.bmp.new" "$WORK/demo/d1.bmp"
expect_failure "$BMP/d1.bmp: not a BMP file (shorter than its signature)"
restore d1.bmp

# Cut short, as by a broken download.
head -c 5000 "$DEMO_DIR/font.bmp" >"$WORK/demo/font.bmp.new" && mv "$WORK/demo/font.bmp.new" "$WORK/demo/font.bmp"
expect_failure "$BMP/font.bmp: the file is cut short: 5000 bytes of the * its header announces"
restore font.bmp

# A bare header that claims 20000 x 20000 pixels is refused before loading.
{ head -c 18 "$DEMO_DIR/textureloop.bmp"; printf '\x20\x4e\x00\x00\x20\x4e\x00\x00'
  tail -c +27 "$DEMO_DIR/textureloop.bmp" | head -c 28; } >"$WORK/demo/textureloop.bmp.new"
mv "$WORK/demo/textureloop.bmp.new" "$WORK/demo/textureloop.bmp"
expect_failure "$BMP/textureloop.bmp: 20000x20000 pixels, larger than the 16384x16384 this program accepts"
echo PASS
