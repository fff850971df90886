#!/usr/bin/env bash
# linux_archive.sh ARCHIVE - the release's Linux archive, unpacked into an
# empty folder outside the build tree, as a user would: `ldd demo` names no
# SDL, Vorbis or Ogg library (they are linked in) and nothing beyond the C
# and C++ runtime is linked, no symbol asks for a C library newer than
# glibc 2.31, and the demo started from that folder under Xvfb, here and in
# the Debian 11 root (tools/deps/debian11_root.sh, glibc 2.31, no SDL), opens
# its window, the picture changes, and Escape ends it with status 0.
. "$(dirname "$0")/../e2e/lib/common.bash"
in_root=("$(cd "$(dirname "$0")/../.." && pwd)/tools/deps/debian11_root.sh" run --bind "$WORK")
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

# The newest C library version that any of its symbols needs: 2.31 at most,
# so that Debian 11 and Ubuntu 20.04 run it.
newest=$(objdump -T "$dir/demo" | grep -o 'GLIBC_[0-9][0-9.]*' | sed 's/^GLIBC_//' | sort -uV | tail -n 1)
[ -n "$newest" ] || fail "objdump shows no GLIBC_ symbol versions in the demo"
[ "$(printf '%s\n' "$newest" 2.31 | sort -V | tail -n 1)" = 2.31 ] ||
    fail "the demo needs glibc $newest, for example: $(objdump -T "$dir/demo" | grep -F "(GLIBC_$newest)" | head -n 3)"

# Runs the unpacked demo under the X server, started by "$@" in its folder,
# and ends it with Escape.
run_and_quit() {
    (cd "$dir" && exec "$@" >"$WORK/stdout" 2>"$WORK/stderr") &
    DEMO_PID=$!
    wait_for_window
    wait_for_picture_changes 2
    send_to_demo key Escape
    wait_for_exit
    [ "$EXIT_STATUS" = 0 ] ||
        fail "Escape ended the demo $where with status $EXIT_STATUS: $(cat "$WORK/stdout" "$WORK/stderr")"
}
where=here
run_and_quit "$dir/demo"

# The same in the Debian 11 root, which has no library of this machine:
# every library that the program and SDL open comes from Debian 11.
root_libs=$("${in_root[@]}" ldd "$dir/demo" 2>&1) || fail "ldd failed in the Debian 11 root: $root_libs"
if grep -q 'not found' <<<"$root_libs"; then
    fail "the demo needs what Debian 11 lacks: $root_libs"
fi
where="in the Debian 11 root"
run_and_quit "${in_root[@]}" "$dir/demo"
echo "PASS"
