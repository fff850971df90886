#!/usr/bin/env bash
# windows_zip.sh ZIP WINEPREFIX - the release's Windows zip, unpacked into an
# empty folder outside the build tree: its demo.exe, started there under Wine
# and Xvfb (SDL's windows driver), opens its window, the picture changes, and
# Escape ends it with status 0. WINEPREFIX is kept between runs (made on
# first use).
set -u
zip=$(cd "$(dirname "${1:?usage: windows_zip.sh ZIP WINEPREFIX}")" && pwd)/$(basename "$1")
prefix=${2:?usage: windows_zip.sh ZIP WINEPREFIX}
# -noreset: a program that connects while the X server resets (after its
# last client left) cannot open the display.
if [ -z "${RELEASE_IN_XVFB:-}" ]; then
    RELEASE_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" bash "$0" "$zip" "$prefix"
fi
. "$(dirname "$0")/../windows/lib.bash"

work=$(mktemp -d)
trap 'stop_demo_exe; rm -rf "$work"' EXIT
python3 -m zipfile -e "$zip" "$work/unpacked" || win_fail "cannot unpack $zip"
dir=$(find "$work/unpacked" -mindepth 1 -maxdepth 1 -type d)
[ -n "$dir" ] && [ -f "$dir/demo.exe" ] || win_fail "no folder with demo.exe in $zip"

wine_setup "$prefix"
start_demo_exe "$dir/demo.exe" "$dir" "$work/stdout" "$work/stderr"
wait_for_demo_window
press_key Escape
wait_for_demo_exit
[ "$EXIT_STATUS" = 0 ] || win_fail "Escape ended demo.exe with status $EXIT_STATUS: $(cat "$work/stdout")"
echo "PASS"
