#!/usr/bin/env bash
# linux_archive.sh ARCHIVE - the release's Linux archive, unpacked into an
# empty folder outside the build tree, as a user would: `ldd demo` names no
# SDL, Vorbis or Ogg library (they are linked in) and nothing beyond the C
# and C++ runtime is linked, and the demo started from
# that folder under Xvfb opens its window, the picture changes, and Escape
# ends it with status 0.
. "$(dirname "$0")/../e2e/lib/common.bash"
ensure_display

archive=$(cd "$(dirname "$DEMO_DIR")" && pwd)/$(basename "$DEMO_DIR")
mkdir "$WORK/unpacked"
(cd "$WORK/unpacked" && tar -xzf "$archive") || fail "cannot unpack $archive"
dir=$(find "$WORK/unpacked" -mindepth 1 -maxdepth 1 -type d)
[ -n "$dir" ] && [ -x "$dir/demo" ] || fail "no folder with a demo program in $archive"

libs=$(ldd "$dir/demo") || fail "ldd failed on the unpacked demo"
if grep -Ei 'sdl|vorbis|ogg' <<<"$libs"; then
    fail "the demo needs the libraries above at run time"
fi
if grep -q 'not found' <<<"$libs"; then
    fail "the demo needs a library this machine lacks: $libs"
fi

# Nothing beyond the C and C++ runtime is linked; SDL opens its back ends
# itself when it runs.
needed=$(objdump -p "$dir/demo" | awk '$1 == "NEEDED" { print $2 }')
others=$(grep -Ev '^(libc|libm|libdl|libpthread|librt|libstdc\+\+|libgcc_s|ld-linux-x86-64)\.so\.[0-9]+$' <<<"$needed")
[ -z "$others" ] || fail "the demo links libraries beyond the C and C++ runtime: $others"

start_demo "$dir" "$dir"
wait_for_window
wait_for_picture_changes 2
send_to_demo key Escape
wait_for_exit
[ "$EXIT_STATUS" = 0 ] || fail "Escape ended the demo with status $EXIT_STATUS: $(cat "$WORK/stdout" "$WORK/stderr")"
echo "PASS"
