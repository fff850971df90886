# common.bash - shared helpers of the end-to-end tests of the real program.
# Each test script is run as: bash SCRIPT DEMO_DIR

set -u

DEMO_DIR=${1:?usage: $0 DEMO_DIR}
WORK=$(mktemp -d)
DEMO_PID=
X_PID=
trap 'cleanup' EXIT

cleanup() {
    if [ -n "$DEMO_PID" ] && kill -0 "$DEMO_PID" 2>/dev/null; then
        kill -KILL "$DEMO_PID" 2>/dev/null
    fi
    if [ -n "$X_PID" ]; then
        kill "$X_PID" 2>/dev/null
        wait "$X_PID" 2>/dev/null
    fi
    rm -rf "$WORK"
}

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Starts a private X server (Xvfb, 1920x1080) for the rest of the script,
# ended with it, and points DISPLAY and XAUTHORITY at it; the programs use
# SDL's x11 driver.
#
# The server never resets (-noreset). By default an X server resets when its
# last client leaves, and a client that connects during the reset cannot
# open the display: measured here, 12 of 300 connections failed while short
# clients came and went, none with -noreset. A demo started right after the
# previous one quit, or between two of the tests' xdotool and xwd calls, hit
# that window on a loaded machine; SDL then went on with its offscreen
# driver, drawing frames that no display shows, and the test saw no window
# for as long as it waited. With SDL_VIDEODRIVER=x11 a display that cannot
# be opened ends the program at start-up with its failure line instead.
#
# The server chooses its own display number (-displayfd): it takes the first
# number whose sockets it can bind, the abstract one included, and names it
# once it accepts connections. Picking a number by the lock files of /tmp, as
# xvfb-run -a does, sees only this root's servers: X servers of another root
# on the machine (sharing the network namespace, so the abstract sockets
# @/tmp/.X11-unix/XN) and servers starting at the same moment are found only
# by a failed start and a retry. Only clients with the cookie get in, so no
# program of another root that reaches this display shows up on it.
ensure_display() {
    local cookie display= deadline=$((SECONDS + PATIENCE))
    cookie=$(mcookie) || fail "mcookie failed"
    # The server takes every cookie of its file whatever display it names.
    xauth -q -f "$WORK/xauth" add :0 . "$cookie" 2>/dev/null || fail "xauth failed"
    Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset -auth "$WORK/xauth" \
        3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
    X_PID=$!
    until [ -n "$display" ]; do
        kill -0 "$X_PID" 2>/dev/null || fail "Xvfb did not start: $(cat "$WORK/xvfb.log")"
        [ $SECONDS -lt $deadline ] || fail "Xvfb named no display within ${PATIENCE}s"
        sleep 0.1
        read -r display <"$WORK/display" || display=
    done
    xauth -q -f "$WORK/xauth" add ":$display" . "$cookie" || fail "xauth failed"
    export DISPLAY=:$display XAUTHORITY=$WORK/xauth SDL_VIDEODRIVER=x11
}

# A demo directory of our own: hard links to the built files (the program
# finds its images next to its own executable), so single files can go.
make_demo_copy() {
    mkdir -p "$WORK/demo"
    cp -al "$DEMO_DIR"/. "$WORK/demo/" 2>/dev/null || cp -a "$DEMO_DIR"/. "$WORK/demo/"
}

# write_track FILE ROW VALUE_HEX_LE... : a one-key hold track.
# VALUE is the float's four little-endian bytes as \xNN escapes.
write_one_key_track() {
    local file=$1 value=$2
    printf '\x01\x00\x00\x00\x00\x00\x00\x00'"$value"'\x00' > "$file"
}

# Starts the demo from directory $1 (working directory $2) in the background.
start_demo() {
    local dir=$1 cwd=$2
    (cd "$cwd" && exec "$dir/demo" >"$WORK/stdout" 2>"$WORK/stderr") &
    DEMO_PID=$!
}

# How long the demo may take for anything a test waits for. Generous: the
# tests share a loaded machine, and every wait polls, so a quick machine
# never waits this long.
PATIENCE=${E2E_PATIENCE:-120}

# The id of the demo's window if it is mapped now, or nothing. SDL may
# replace its first window while it sets up the renderer, so an id found
# earlier can be gone: search again before every use.
demo_window() {
    xdotool search --all --onlyvisible --pid "$DEMO_PID" --name "lumikenno 2019 demo" \
        2>/dev/null | tail -n 1
}

# Prints on standard error where the demo is, for a wait that failed: the
# stack of each of its threads (when a debugger is at hand), the windows of
# the X server with their processes, and what the demo wrote.
show_where_stuck() {
    echo "--- the demo (pid $DEMO_PID) on display ${DISPLAY:-unset}:" >&2
    command -v gdb >/dev/null &&
        gdb -p "$DEMO_PID" -batch -ex "thread apply all bt" 2>&1 | grep -E '^(#|Thread)' >&2
    echo "--- its windows, mapped or not: $(xdotool search --pid "$DEMO_PID" 2>/dev/null | tr '\n' ' ')" >&2
    xwininfo -root -children 2>&1 | sed -n '1,12p' >&2
    echo "--- its output: $(cat "$WORK/stdout" "$WORK/stderr" 2>/dev/null)" >&2
}

# Waits until the demo has a mapped window and is presenting frames (the
# picture changes), so that its window is final. Fails if it never does.
wait_for_window() {
    local deadline=$((SECONDS + PATIENCE))
    until [ -n "$(demo_window)" ]; do
        kill -0 "$DEMO_PID" 2>/dev/null ||
            fail "the demo ended before its window appeared: $(cat "$WORK/stdout" "$WORK/stderr" 2>/dev/null)"
        if [ $SECONDS -ge $deadline ]; then
            show_where_stuck
            fail "no window appeared within ${PATIENCE}s"
        fi
        sleep 0.1
    done
    wait_for_picture_changes 1
}

# Waits until the screen has changed $1 times after this call, each change
# against the previous grab. Every new picture comes from a frame that began
# after the previous one was shown, so two changes prove that the demo polled
# its events after the call began.
wait_for_picture_changes() {
    local count=$1 deadline=$((SECONDS + PATIENCE)) last= next
    while [ "$count" -gt 0 ]; do
        kill -0 "$DEMO_PID" 2>/dev/null || fail "the demo ended while frames were expected"
        if [ $SECONDS -ge $deadline ]; then
            show_where_stuck
            fail "the picture stood still for ${PATIENCE}s (last grab $last)"
        fi
        next=$(screen_hash) || continue
        if [ -z "$last" ]; then
            last=$next
        elif [ "$next" != "$last" ]; then
            count=$((count - 1))
            last=$next
        fi
    done
}

# Sends xdotool's key command (key, keyup, ...) with its keys to the demo's
# window, found again right before sending; a send that fails because the
# window went away is retried with the window found anew.
send_to_demo() {
    local deadline=$((SECONDS + PATIENCE)) wid
    while :; do
        wid=$(demo_window)
        if [ -n "$wid" ] && xdotool "$1" --window "$wid" "${@:2}" 2>/dev/null; then
            return 0
        fi
        [ $SECONDS -lt $deadline ] || fail "could not send $* to the demo's window"
        sleep 0.1
    done
}

# Waits for the demo to end and sets EXIT_STATUS to its exit status, or to
# "timeout" after $PATIENCE seconds. Not for use in a subshell: only this
# shell can wait for its child.
wait_for_exit() {
    local deadline=$((SECONDS + PATIENCE))
    while kill -0 "$DEMO_PID" 2>/dev/null; do
        if [ $SECONDS -ge $deadline ]; then
            EXIT_STATUS=timeout
            return
        fi
        sleep 0.1
    done
    wait "$DEMO_PID"
    EXIT_STATUS=$?
    DEMO_PID=
}

# Prints an md5 of the whole screen; status 1 when the grab failed (xwd
# fails now and then when a window goes away during the grab).
screen_hash() {
    xwd -root -screen -silent >"$WORK/screen.xwd" 2>/dev/null || return 1
    md5sum <"$WORK/screen.xwd" | cut -d' ' -f1
}

# Waits up to 60 s for command "$@" to succeed.
eventually() {
    local i=0
    until "$@"; do
        sleep 0.2
        i=$((i + 1))
        [ $i -lt 300 ] || return 1
    done
}

# One line on standard error of what a wait or a send did and saw, with the
# seconds since the script began: a failed run's log tells what took effect.
trace() {
    echo "[${SECONDS}s] $*" >&2
}

# A copy of the sources in $WORK/src with a build folder of the test's own,
# $WORK/build (only the scene library, unoptimised, so that it builds
# quickly), built once; $WORK/cwd holds links to the demo's music and tracks.
make_live_sources() {
    local root f
    root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
    mkdir -p "$WORK/src/tools/studio/live" "$WORK/cwd"
    cp -r "$root/CMakeLists.txt" "$root/VERSION" "$root/cmake" "$root/src" "$WORK/src/"
    cp -r "$root/tools/studio/live/scene_library.h" "$root/tools/studio/live/scene_library" "$WORK/src/tools/studio/live/"
    cmake -S "$WORK/src" -B "$WORK/build" -G Ninja -DDEMO_SCENES_LIBRARY_ONLY=ON \
        -DCMAKE_BUILD_TYPE=None >"$WORK/configure.log" 2>&1 || fail "configure: $(cat "$WORK/configure.log")"
    nice cmake --build "$WORK/build" --target live_scenes >"$WORK/build.log" 2>&1 ||
        fail "first build: $(cat "$WORK/build.log")"
    for f in "$DEMO_DIR"/music.ogg "$DEMO_DIR"/sync_*.track; do
        ln -s "$f" "$WORK/cwd/"
    done
}

# Starts the studio of $DEMO_DIR on those sources' build folder (working
# directory $WORK/cwd, the rest of the arguments before --build) and waits
# until its build at start has loaded the library on disk.
start_live_studio() {
    start_studio "$DEMO_DIR" "$WORK/cwd" "$@" --build "$WORK/build"
    wait_for_studio
    eventually grep -q 'studio: scenes on disk loaded in' "$WORK/stdout" ||
        fail "the library was not loaded at start: $(cat "$WORK/stdout" "$WORK/stderr")"
}

# The studio's swaps of a rebuilt scene library so far, and a wait (up to
# $PATIENCE s) until there are at least COUNT of them.
rebuilt_count() { grep -c 'studio: scenes rebuilt in' "$WORK/stdout"; }
wait_rebuilt() { # COUNT
    local deadline=$((SECONDS + PATIENCE))
    until [ "$(rebuilt_count)" -ge "$1" ]; do
        [ $SECONDS -lt $deadline ] || fail "no rebuilt scenes: $(cat "$WORK/stdout" "$WORK/stderr")"
        sleep 0.2
    done
}

# Starts the studio from directory $1 (working directory $2) in the
# background, with the rest of the arguments; its pid in DEMO_PID.
start_studio() {
    local dir=$1 cwd=$2
    shift 2
    (cd "$cwd" && exec "$dir/studio" "$@" >"$WORK/stdout" 2>"$WORK/stderr") &
    DEMO_PID=$!
    STUDIO_CWD=$cwd
}

# Waits until keys sent to the studio reach its frame loop. SDL replaces the
# first window it maps while it sets up the renderer (the software renderer
# shows its picture through an accelerated one), and keys sent to that
# window before it is gone are lost without an error: on a loaded machine a
# pause, a seek and ten steps went that way, and only the P after them
# arrived. So P is sent, to the window found afresh, again whenever the
# window it went to has been replaced, until the studio reports the
# snapshot; from then on its window is the final one. That snapshot is
# removed again.
wait_for_studio() {
    local deadline=$((SECONDS + PATIENCE)) before wid sent= name
    before=$(grep -c 'wrote snapshot_' "$WORK/stdout")
    while [ "$(grep -c 'wrote snapshot_' "$WORK/stdout")" -le "$before" ]; do
        kill -0 "$DEMO_PID" 2>/dev/null || fail "the studio ended: $(cat "$WORK/stdout" "$WORK/stderr")"
        if [ $SECONDS -ge $deadline ]; then
            show_where_stuck
            fail "the studio took no key within ${PATIENCE}s (P sent to window $sent)"
        fi
        wid=$(studio_window)
        if [ -n "$wid" ] && [ "$wid" != "$sent" ]; then
            trace "P to the studio's window $wid${sent:+ (it replaced $sent)}"
            xdotool key --window "$wid" p 2>/dev/null && sent=$wid
        fi
        sleep 0.1
    done
    name=$(grep -o 'wrote snapshot_[^ ]*png' "$WORK/stdout" | tail -n 1)
    name=${name#wrote }
    trace "the studio took keys at window $sent: $name"
    rm -f "$STUDIO_CWD/$name"
}

# The id of the studio's mapped window, searched afresh each time (SDL may
# replace a window while it sets up its renderer); empty after 60 s.
studio_window() {
    timeout 60 xdotool search --sync --onlyvisible --limit 1 --pid "$DEMO_PID" 2>/dev/null | head -n 1
}

# Sends keys to the studio's window, found again right before; when the
# window went away in between (SDL may replace its first window), the keys
# went nowhere and are sent again to the window found anew.
studio_keys() {
    local wid deadline=$((SECONDS + PATIENCE))
    while :; do
        wid=$(studio_window)
        [ -n "$wid" ] || fail "the studio's window is gone: $(cat "$WORK/stderr")"
        trace "keys $* to window $wid"
        xdotool key --window "$wid" "$@" 2>"$WORK/xdotool.err" && return 0
        grep -q BadWindow "$WORK/xdotool.err" && [ $SECONDS -lt $deadline ] ||
            fail "xdotool could not send $*: $(cat "$WORK/xdotool.err")"
        sleep 0.1
    done
}

# Presses P and waits (up to 60 s) for the studio to report the snapshot $2
# written in directory $1; moves it to $3.
studio_snapshot() {
    local dir=$1 name=$2 to=$3 i=0 before
    before=$(grep -c "wrote $name" "$WORK/stdout")
    studio_keys p
    while [ "$(grep -c "wrote $name" "$WORK/stdout")" -le "$before" ]; do
        sleep 0.1
        i=$((i + 1))
        [ $i -lt 600 ] || fail "no snapshot $name: $(ls "$dir") $(cat "$WORK/stdout" "$WORK/stderr")"
    done
    trace "snapshot $name"
    mv "$dir/$name" "$to" || fail "snapshot $name missing"
}
