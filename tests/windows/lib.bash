# lib.bash - helpers for running the Windows programs under Wine, shared by
# the Windows tests and by anything else that runs demo.exe (a release zip
# unpacked somewhere, say). Source it; it sets nothing up by itself.
#
#   wine_setup PREFIX     use (and on first use create) the Wine prefix PREFIX
#   win_path PATH         the Windows name of a Linux path (Z:\...)
#   start_demo_exe EXE CWD OUT ERR
#                         starts EXE under Wine in the background, working
#                         directory CWD, standard output to OUT and standard
#                         error to ERR; its pid in DEMO_PID
#   demo_exe_window       the X window id of the demo's mapped window, or nothing
#   wait_for_demo_window  waits (up to WIN_PATIENCE s) for that window and two
#                         changes of the picture
#   press_key KEY         sends KEY to the demo's window
#   wait_for_demo_exit    waits for the program's end; EXIT_STATUS is its exit
#                         status (or "timeout")
#   stop_demo_exe         kills a program still running (for traps)
# A display (an X server such as xvfb-run's) is needed only for the window
# helpers; `win_fail` reports a failure and exits 1.

WIN_PATIENCE=${WIN_PATIENCE:-180}
DEMO_PID=

win_fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Quiet Wine, and no offers to install its .NET and HTML engines into a new
# prefix (they would wait for a click).
wine_setup() {
    export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        DISPLAY= wine wineboot --init >/dev/null 2>&1 || win_fail "wineboot could not create $WINEPREFIX"
    fi
    # A Wine server left from an earlier run lingers for a few seconds, with
    # the display (or none) that run had: a window opened through it would
    # go to the wrong X server and the program would end at once. Each run
    # starts its own server.
    wineserver -k >/dev/null 2>&1
    wineserver -w
}

win_path() {
    winepath -w "$1" 2>/dev/null
}

start_demo_exe() {
    local exe=$1 cwd=$2 out=$3 err=$4
    (cd "$cwd" && exec wine "$exe" >"$out" 2>"$err") &
    DEMO_PID=$!
}

demo_exe_window() {
    xdotool search --all --onlyvisible --name "^lumikenno 2019 demo$" 2>/dev/null | tail -n 1
}

# An md5 of the whole screen; status 1 when the grab failed.
win_screen_hash() {
    local grab=${TMPDIR:-/tmp}/win-screen.$$
    xwd -root -screen -silent >"$grab" 2>/dev/null || { rm -f "$grab"; return 1; }
    md5sum <"$grab" | cut -d' ' -f1
    rm -f "$grab"
}

wait_for_demo_window() {
    local deadline=$((SECONDS + WIN_PATIENCE)) last= next changes=2
    until [ -n "$(demo_exe_window)" ]; do
        kill -0 "$DEMO_PID" 2>/dev/null || win_fail "the program ended before its window appeared"
        [ $SECONDS -lt $deadline ] || win_fail "no window appeared within ${WIN_PATIENCE}s"
        sleep 0.2
    done
    deadline=$((SECONDS + WIN_PATIENCE))
    while [ $changes -gt 0 ]; do
        kill -0 "$DEMO_PID" 2>/dev/null || win_fail "the program ended while frames were expected"
        [ $SECONDS -lt $deadline ] || win_fail "the picture stood still for ${WIN_PATIENCE}s"
        next=$(win_screen_hash) || continue
        if [ -n "$last" ] && [ "$next" != "$last" ]; then
            changes=$((changes - 1))
        fi
        last=$next
    done
}

# Focuses the window and types through the XTEST extension, as a real
# keyboard would.
press_key() {
    local wid
    wid=$(demo_exe_window)
    [ -n "$wid" ] || win_fail "the demo's window is gone"
    xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid" 2>/dev/null
    xdotool key --clearmodifiers "$1"
}

wait_for_demo_exit() {
    local deadline=$((SECONDS + WIN_PATIENCE))
    while kill -0 "$DEMO_PID" 2>/dev/null; do
        if [ $SECONDS -ge $deadline ]; then
            EXIT_STATUS=timeout
            return
        fi
        sleep 0.2
    done
    wait "$DEMO_PID"
    EXIT_STATUS=$?
    DEMO_PID=
}

stop_demo_exe() {
    if [ -n "$DEMO_PID" ] && kill -0 "$DEMO_PID" 2>/dev/null; then
        kill -KILL "$DEMO_PID" 2>/dev/null
        wait "$DEMO_PID" 2>/dev/null
    fi
    DEMO_PID=
}
