# capture.sh CAPTURE DEMO_DIR - runs the sanitized offline renderer CAPTURE
# on the generated data of DEMO_DIR: the whole timeline at one frame a
# second, then sets of hostile track files, each rendered through all eight
# scenes. Any sanitizer report, or an exit status other than 0, fails.
set -u

CAPTURE=${1:?usage: capture.sh CAPTURE DEMO_DIR}
DEMO_DIR=${2:?usage: capture.sh CAPTURE DEMO_DIR}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The images come from the program's own directory: a scratch demo directory
# with the generated images and the sanitized capture.
mkdir -p "$WORK/demo"
for f in "$DEMO_DIR"/*.bmp; do
    ln "$f" "$WORK/demo/" 2>/dev/null || cp "$f" "$WORK/demo/"
done
cp "$CAPTURE" "$WORK/demo/capture"

TRACKS="scene clear.r clear.g clear.b clear.a cam.rot cam.dist cam.x cam.y cam.h cam.hori cam.scaleh"
VALUE_TRACKS=${TRACKS#scene }

# render LABEL CWD ARGS... : one sanitized run in working directory CWD.
render() {
    local label=$1 cwd=$2
    shift 2
    rm -rf "$WORK/shots"
    (cd "$cwd" && "$WORK/demo/capture" --out "$WORK/shots" "$@") >"$WORK/out" 2>"$WORK/err"
    local status=$?
    if grep -q -e 'runtime error' -e 'Sanitizer' "$WORK/err"; then
        cat "$WORK/err" >&2
        fail "$label: sanitizer report"
    fi
    [ "$status" = 0 ] || fail "$label: exit status $status: $(cat "$WORK/out" "$WORK/err")"
    echo "ok: $label"
}

# track FILE COUNT [ROW VALUE KIND]... : a .track file with this count and
# these keys (values may be nan, inf, -inf), written by perl, which Debian
# always has.
track() {
    perl -e 'open(my $f, ">", shift) or die; binmode $f; print $f pack("l<", shift);
             while (@ARGV) { my ($r, $v, $k) = splice(@ARGV, 0, 3); print $f pack("l<f<c", $r, $v, $k) }' "$@"
}

# A working directory whose scene track shows scene i in second i, 0 to 7.
new_set() {
    local dir=$WORK/set-$1
    mkdir -p "$dir"
    track "$dir/sync_scene.track" 8 0 0 0 20 1 0 40 2 0 60 3 0 80 4 0 100 5 0 120 6 0 140 7 0
    echo "$dir"
}

# 1. The whole timeline with the real tracks and music.
mkdir -p "$WORK/real"
cp "$DEMO_DIR"/sync_*.track "$WORK/real/"
ln -s "$DEMO_DIR/music.ogg" "$WORK/real/music.ogg"
render "the whole timeline at 1 frame a second" "$WORK/real" --frames 176 --fps 1

# 2. Every value track holding one extreme value, through all eight scenes.
for v in nan inf -inf 1e30 -1e30 3.4028235e38 -2147483648 255.99; do
    dir=$(new_set "value$v")
    for t in $VALUE_TRACKS; do track "$dir/sync_$t.track" 1 0 "$v" 0; done
    render "every value track $v" "$dir" --frames 8 --fps 1
done

# 3. Value tracks sweeping between extremes, every curve kind.
for kind in 1 2 3; do
    dir=$(new_set "sweep$kind")
    for t in $VALUE_TRACKS; do
        track "$dir/sync_$t.track" 3 0 -1e30 "$kind" 70 1e30 "$kind" 150 -3e38 0
    done
    render "value tracks sweeping -1e30 to 1e30, kind $kind" "$dir" --frames 16 --fps 2
done

# 4. Scenes and overlay lines out of range.
dir=$WORK/set-scenes
mkdir -p "$dir"
keys=()
row=0
for v in -1 8 9 -2147483648 2147483647 1e9 -1e30 1e30 nan inf -inf 7.99 -0.99; do
    keys+=($row "$v" 0)
    row=$((row + 20))
done
track "$dir/sync_scene.track" $((${#keys[@]} / 3)) "${keys[@]}"
keys=()
row=0
for v in -1 0 3 19 31 35 49 55 99 255 256 1e9 -1e9 nan inf; do
    keys+=($row "$v" 0)
    row=$((row + 10))
done
track "$dir/sync_clear.a.track" $((${#keys[@]} / 3)) "${keys[@]}"
render "scenes and overlay selectors out of range" "$dir" --frames 26 --fps 2

# 5. Broken files: unsorted and duplicate rows, negative and huge counts,
# files cut short, empty files, a directory in place of a track file, and a
# key kind outside the four curves.
dir=$(new_set unsorted)
for t in $VALUE_TRACKS; do
    track "$dir/sync_$t.track" 4 100 5 1 20 1e30 2 20 -1 3 -5 nan 1
done
render "unsorted and duplicate rows" "$dir" --frames 8 --fps 1

dir=$(new_set counts)
n=0
for t in $VALUE_TRACKS; do
    case $((n % 3)) in
        0) track "$dir/sync_$t.track" -1 0 100 1 50 0 0 ;;
        1) track "$dir/sync_$t.track" 2147483647 0 100 1 50 0 0 ;;
        2) track "$dir/sync_$t.track" -2147483648 ;;
    esac
    n=$((n + 1))
done
render "negative and huge key counts" "$dir" --frames 8 --fps 1

dir=$(new_set cut)
n=0
for t in $VALUE_TRACKS; do
    track "$dir/sync_$t.track" 5 0 100 1 50 200 2 90 1 7
    head -c $((4 + 9 * 2 + n % 9)) "$dir/sync_$t.track" >"$dir/cut" && mv "$dir/cut" "$dir/sync_$t.track"
    n=$((n + 1))
done
head -c 2 "$dir/sync_scene.track" >"$dir/cut" && mv "$dir/cut" "$dir/sync_scene.track"
render "files cut short" "$dir" --frames 8 --fps 1

dir=$WORK/set-dirs
mkdir -p "$dir"
for t in $TRACKS; do mkdir "$dir/sync_$t.track"; done
render "a directory in place of every track file" "$dir" --frames 2 --fps 1

dir=$(new_set empty)
for t in $VALUE_TRACKS; do : >"$dir/sync_$t.track"; done
track "$dir/sync_scene.track" 2 0 3 -1 40 5 127
render "empty files and unknown kinds" "$dir" --frames 4 --fps 1
echo PASS
