# demo.exe under Wine in a private X server: its window appears and the
# picture changes, Escape ends it with status 0 and nothing on standard
# output; with an image missing, the one failure line arrives on redirected
# standard output and the status is 1; without "music.ogg" it runs on the
# clock.
#   bash test_demo.sh WIN_DEMO_DIR [NATIVE_DEMO_DIR]
set -u
WIN_DIR=${1:?usage: $0 WIN_DEMO_DIR}
# -noreset: a program that connects while the X server resets (after its
# last client left) cannot open the display.
if [ -z "${WIN_IN_XVFB:-}" ]; then
    WIN_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" bash "$0" "$@"
fi
. "$(dirname "$0")/lib.bash"
WORK=$(mktemp -d)
trap 'stop_demo_exe; rm -rf "$WORK"' EXIT
wine_setup "${WINEPREFIX:?WINEPREFIX must name the prefix}"

# A demo folder of our own (hard links), so single files can go.
mkdir -p "$WORK/demo"
cp -al "$WIN_DIR"/. "$WORK/demo/" 2>/dev/null || cp -a "$WIN_DIR"/. "$WORK/demo/"

# run_and_quit CWD: starts the demo, waits for its window (covering the
# 1920x1080 screen) and a changing picture, presses Escape and expects status 0 with nothing on standard output.
run_and_quit() {
    start_demo_exe "$WORK/demo/demo.exe" "$1" "$WORK/out" "$WORK/err"
    wait_for_demo_window
    local size
    size=$(xdotool getwindowgeometry --shell "$(demo_exe_window)" | grep -E '^(WIDTH|HEIGHT)=' | tr '\n' ' ')
    [ "$size" = "WIDTH=1920 HEIGHT=1080 " ] || win_fail "the window is not the full 1920x1080 screen: $size"
    press_key Escape
    wait_for_demo_exit
    [ "$EXIT_STATUS" = 0 ] || win_fail "Escape gave exit status $EXIT_STATUS ($(cat "$WORK/out" "$WORK/err"))"
    [ ! -s "$WORK/out" ] || win_fail "standard output: $(cat "$WORK/out")"
}

run_and_quit "$WORK/demo"
echo "window, changing picture, Escape: status 0"

# Without music.ogg in the working directory (the tracks are there).
mkdir "$WORK/silent"
cp "$WORK/demo"/sync_*.track "$WORK/silent/"
run_and_quit "$WORK/silent"
echo "without music.ogg: runs on the clock, Escape: status 0"

# A missing image: the loader's line, naming the file by its Windows path
# (SDL gives the program's folder with a trailing backslash). The Windows C
# library ends a line on a redirected text stream with CR LF, its own
# line end.
rm "$WORK/demo/smear2.bmp"
dir=$(win_path "$WORK/demo")
[ -n "$dir" ] || win_fail "winepath cannot name $WORK/demo"
expected="SDL_LoadBMP Error: ${dir%\\}\\smear2.bmp: cannot be opened: No such file or directory"
(cd "$WORK/demo" && timeout 300 wine ./demo.exe >"$WORK/out" 2>"$WORK/err")
status=$?
[ "$status" = 1 ] || win_fail "missing image: exit status $status ($(cat "$WORK/out"))"
printf '%s\r\n' "$expected" | cmp -s - "$WORK/out" ||
    win_fail "missing image: expected the line '$expected', got: $(od -c "$WORK/out" | head -n 20)"
echo "missing image: the line on standard output, status 1"
