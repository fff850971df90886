#!/bin/bash
# check_scene_library_state.sh LIBRARY - the studio's scene library keeps no
# writable data of its own: every scene's state between frames lives in the
# process-wide state (src/state), which the studio owns, so swapping the
# library for a new build loses nothing. Each variable found in the library's
# .data or .bss is printed as "LIBRARY: NAME keeps state of its own";
# the exit status is 1 when there is one. The C runtime's own symbols are
# not the scenes', nor is the library's entry (scene_library_table: set once
# as the library loads, from the scene table's length in its own unit).
set -u
lib=${1:?usage: $0 LIBRARY}
[ -f "$lib" ] || { echo "$lib: no such library" >&2; exit 1; }
found=$(nm -C --format=sysv "$lib" | awk -F'|' '
    { name = $1; sub(/ +$/, "", name); section = $7; gsub(/ /, "", section) }
    (section == ".data" || section == ".bss") && name !~ /^(__TMC_END__|__bss_start|__dso_handle|_edata|_end|completed\.[0-9]+|scene_library_table)$/ { print name }')
status=0
while IFS= read -r name; do
    [ -n "$name" ] || continue
    echo "$lib: $name keeps state of its own" >&2
    status=1
done <<<"$found"
exit $status
