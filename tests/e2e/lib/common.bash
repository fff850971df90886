# common.bash - shared helpers of the end-to-end tests of the real program.
# Each test script is run as: bash SCRIPT DEMO_DIR

set -u

DEMO_DIR=${1:?usage: $0 DEMO_DIR}
WORK=$(mktemp -d)
DEMO_PID=
trap 'cleanup' EXIT

cleanup() {
    if [ -n "$DEMO_PID" ] && kill -0 "$DEMO_PID" 2>/dev/null; then
        kill -KILL "$DEMO_PID" 2>/dev/null
    fi
    rm -rf "$WORK"
}

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Re-runs the calling script inside a private X server unless one is set up.
ensure_display() {
    if [ -z "${E2E_IN_XVFB:-}" ]; then
        E2E_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1920x1080x24" bash "$0" "$DEMO_DIR"
    fi
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

# Waits for the demo's window; prints its id.
wait_for_window() {
    timeout 30 xdotool search --sync --limit 1 --name "lumikenno 2019 demo" 2>/dev/null | head -n 1
}

# Waits up to $1 seconds for the demo to end and sets EXIT_STATUS to its
# exit status, or to "timeout". Not for use in a subshell: only this shell
# can wait for its child.
wait_for_exit() {
    local limit=$1 i=0
    while kill -0 "$DEMO_PID" 2>/dev/null; do
        sleep 0.1
        i=$((i + 1))
        if [ $i -ge $((limit * 10)) ]; then
            EXIT_STATUS=timeout
            return
        fi
    done
    wait "$DEMO_PID"
    EXIT_STATUS=$?
    DEMO_PID=
}

screen_hash() {
    xwd -root -silent >"$WORK/screen.xwd" || fail "xwd could not grab the screen"
    md5sum <"$WORK/screen.xwd" | cut -d' ' -f1
}

# Starts the studio from directory $1 (working directory $2) in the
# background, with the rest of the arguments; its pid in DEMO_PID.
start_studio() {
    local dir=$1 cwd=$2
    shift 2
    (cd "$cwd" && exec "$dir/studio" "$@" >"$WORK/stdout" 2>"$WORK/stderr") &
    DEMO_PID=$!
}

# The id of the studio's mapped window, searched afresh each time (SDL may
# replace a window while it sets up its renderer); empty after 60 s.
studio_window() {
    timeout 60 xdotool search --sync --onlyvisible --limit 1 --pid "$DEMO_PID" 2>/dev/null | head -n 1
}

# Sends keys to the studio's window, found again right before.
studio_keys() {
    local wid
    wid=$(studio_window)
    [ -n "$wid" ] || fail "the studio's window is gone: $(cat "$WORK/stderr")"
    xdotool key --window "$wid" "$@" || fail "xdotool could not send $*"
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
    mv "$dir/$name" "$to" || fail "snapshot $name missing"
}
