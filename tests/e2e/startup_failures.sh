# Start-up failures print exactly one line on standard output, naming the
# failed step, and end with exit status 1 before any frame is drawn.
. "$(dirname "$0")/lib/common.bash"
ensure_display

make_demo_copy
mkdir -p "$WORK/cwd"

# expect_failure PREFIX ENV... : run the copied demo, expect one line
# beginning with PREFIX and status 1.
expect_failure() {
    local prefix=$1
    shift
    local status
    (cd "$WORK/cwd" && env "$@" timeout 60 "$WORK/demo/demo" >"$WORK/out" 2>"$WORK/err")
    status=$?
    [ "$status" = 1 ] || fail "$prefix: exit status $status (out: $(cat "$WORK/out"))"
    [ "$(wc -l <"$WORK/out")" = 1 ] || fail "$prefix: expected one line, got: $(cat "$WORK/out")"
    case "$(cat "$WORK/out")" in
        "$prefix"*) ;;
        *) fail "expected a line beginning '$prefix', got: $(cat "$WORK/out")" ;;
    esac
}

expect_failure "SDL_Init Error: nonexistent not available" SDL_VIDEODRIVER=nonexistent
expect_failure "SDL_CreateRenderer Error: " SDL_VIDEODRIVER=dummy

rm "$WORK/demo/smear2.bmp"
expect_failure "SDL_LoadBMP Error: "
ln "$DEMO_DIR/smear2.bmp" "$WORK/demo/smear2.bmp" 2>/dev/null || cp "$DEMO_DIR/smear2.bmp" "$WORK/demo/"

rm "$WORK/demo/0007.bmp"
expect_failure "SDL_LoadBMP Error: "
ln "$DEMO_DIR/0007.bmp" "$WORK/demo/0007.bmp" 2>/dev/null || cp "$DEMO_DIR/0007.bmp" "$WORK/demo/"

# A file of the right name that is not a BMP fails like a missing one.
rm "$WORK/demo/house.bmp"
echo "not a picture" >"$WORK/demo/house.bmp"
expect_failure "SDL_LoadBMP Error: "
echo PASS
