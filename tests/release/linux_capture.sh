#!/usr/bin/env bash
# linux_capture.sh DEMO_DIR CAPTURE - capture as the release builds it
# (CAPTURE: build-release/linux/demo/capture, made in the Debian 11 root
# against the release's static libraries) gives, run in that root with its
# C library and libm, the same PNG bytes as the desktop build's capture in
# DEMO_DIR (build/demo), for a frame of each scene: the middle of its first
# stretch on the timeline (build/tools/scene_times, the release's screenshot
# times) and a frame 2.5 s later. Nothing stays mounted in the root after.
set -u
here=$(cd "$(dirname "$0")" && pwd)
demo_dir=$(cd "${1:?usage: linux_capture.sh DEMO_DIR CAPTURE}" && pwd)
capture=${2:?usage: linux_capture.sh DEMO_DIR CAPTURE}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
[ -x "$capture" ] || fail "no program $capture"
[ -x "$demo_dir/capture" ] || fail "no program $demo_dir/capture"
in_root=("$here/../../tools/deps/debian11_root.sh" run --bind "$work")

# The release's capture beside a copy of the data (it reads its images from
# its own folder, the tracks and music from the working directory).
mkdir "$work/old"
cp -al "$demo_dir"/. "$work/old/" 2>/dev/null || cp -a "$demo_dir"/. "$work/old/"
rm -f "$work/old/capture"
cp "$capture" "$work/old/capture"

scenes=$(cd "$demo_dir" && ../tools/scene_times) || fail "scene_times failed"
[ "$(wc -l <<<"$scenes")" -ge 2 ] || fail "scene_times named too few scenes: $scenes"
count=0
while read -r t name; do
    (cd "$demo_dir" && ./capture --out "$work/new-$name" --start "$t" --frames 2 --fps 0.4 \
        >"$work/log" 2>&1) || fail "the desktop capture failed at $t s: $(cat "$work/log")"
    (cd "$work/old" && "${in_root[@]}" ./capture --out "$work/old-$name" --start "$t" --frames 2 --fps 0.4 \
        >"$work/log" 2>&1) || fail "the release's capture failed in the Debian 11 root at $t s: $(cat "$work/log")"
    for f in frame-000000.png frame-000001.png; do
        [ -s "$work/new-$name/$f" ] || fail "the desktop capture wrote no $f at $t s"
        cmp -s "$work/new-$name/$f" "$work/old-$name/$f" ||
            fail "$name ($t s, $f): the release's capture in the Debian 11 root gives other bytes than the desktop's"
        count=$((count + 1))
    done
done <<<"$scenes"
# Every command ran in a mount namespace of its own: nothing of the root is
# mounted here afterwards (a folder bound into the root and left so would
# be emptied along with an old root).
root=$("$here/../../tools/deps/debian11_root.sh" path) || fail "no Debian 11 root"
if grep -F " $root/" /proc/self/mounts; then
    fail "folders stay mounted inside the Debian 11 root after the commands ended"
fi
echo "PASS: $count frames alike"
