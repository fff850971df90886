# measure_studio.sh - what the studio's editor costs, measured under Xvfb on
# a copy of the shipped timeline (for the figures of docs/studio.md; no test asserts
# them):
#
#   bash tools/studio/measure/measure_studio.sh build/demo
#
# 1. The frame time, and of it the interface (built, then flushed through
#    the renderer), with the HUD alone, with the key grid, and with the grid
#    and a 2-track x 1-bar block selected, through the software and the
#    opengl renderer (the studio's STUDIO_FRAME_TIMES figures of its last 256
#    frames, paused on the sphere at 36:0).
# 2. Key press to file and to picture over 20 block edits (Ctrl+Up/Down on
#    that block: cam.rot and cam.dist nudged): the time until the file's
#    bytes change and until the window's pixels change (HUD off, so only the
#    picture changes). The polling takes about one window read per step, so
#    the figures carry that much more.
. "$(dirname "$0")/../../../tests/e2e/lib/common.bash"
ensure_display

SOURCE="$(cd "$(dirname "$0")/../../.." && pwd)/data/timeline.txt"
mkdir -p "$WORK/cwd"
ln -s "$DEMO_DIR/music.ogg" "$WORK/cwd/music.ogg"
cd "$WORK/cwd"

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Paused at 36:0, the grid at 8 rows a line on cam.rot, a block of cam.rot
# and cam.dist over the bar (as tests/e2e/studio_block_paste.sh selects it).
to_sphere() { studio_keys space Home Next Next Next Next; }
select_block() {
    studio_keys Tab g g g
    for i in $(seq 5); do studio_keys ctrl+Right; done
    studio_keys shift+Down shift+Down shift+Down ctrl+shift+Right
    studio_keys Prior # back to 36:0, the block's first line
}

frame_times() {
    local renderer=$1 state=$2
    cp "$SOURCE" timeline.txt
    SDL_RENDER_DRIVER=$renderer STUDIO_FRAME_TIMES=1 start_studio "$DEMO_DIR" "$WORK/cwd" timeline.txt
    [ -n "$(studio_window)" ] || fail "no studio window: $(cat "$WORK/stderr")"
    to_sphere
    case $state in
    grid) studio_keys Tab ;;
    block) select_block ;;
    esac
    sleep 8
    studio_keys Escape Escape
    wait_for_exit 60
    echo "$renderer, $state: $(grep 'last .* frames' "$WORK/stdout" | sed 's/^studio: //')"
}

for renderer in software opengl; do
    for state in hud grid block; do
        frame_times $renderer $state
    done
done

# ---- Key press to file and to picture ----------------------------------------------

cp "$SOURCE" timeline.txt
SDL_RENDER_DRIVER=software start_studio "$DEMO_DIR" "$WORK/cwd" timeline.txt
wid=$(studio_window)
[ -n "$wid" ] || fail "no studio window: $(cat "$WORK/stderr")"
to_sphere
select_block
studio_keys h
sleep 2
window_sum() { xwd -id "$wid" -silent | md5sum; }
file_sum() { md5sum <timeline.txt; }
files=() pictures=()
for i in $(seq 20); do
    f0=$(file_sum) p0=$(window_sum)
    key=ctrl+Up
    [ $((i % 2)) = 0 ] && key=ctrl+Down
    t0=$(now_ms)
    xdotool key --window "$wid" $key
    tf='' tp=''
    while [ -z "$tf" ] || [ -z "$tp" ]; do
        [ -z "$tf" ] && [ "$(file_sum)" != "$f0" ] && tf=$(now_ms)
        [ -z "$tp" ] && [ "$(window_sum)" != "$p0" ] && tp=$(now_ms)
        [ $(($(now_ms) - t0)) -lt 10000 ] || fail "edit $i: no change within 10 s"
    done
    files+=($((tf - t0)))
    pictures+=($((tp - t0)))
    sleep 0.3
done
step_ms() { local t0; t0=$(now_ms); window_sum >/dev/null; file_sum >/dev/null; echo $(($(now_ms) - t0)); }
stats() { printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {printf "median %d ms, max %d ms", v[int((NR + 1) / 2)], v[NR]}'; }
echo "key press to file, 20 block edits: $(stats "${files[@]}")"
echo "key press to picture, 20 block edits: $(stats "${pictures[@]}")"
echo "one polling step (window read and file sum): $(step_ms) ms; load: $(cut -d' ' -f1-3 /proc/loadavg)"
studio_keys Escape Escape
wait_for_exit 60
