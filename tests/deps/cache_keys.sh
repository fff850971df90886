#!/usr/bin/env bash
# The dependency cache's keys (tools/deps/build-deps.sh --key), on a copy of
# the recipes: a change to one target's recipe, or to a file that only it
# reads, moves that target to a new folder and leaves the others where they
# were (the Linux libraries move with the packages of the Debian 11 root they
# are built in); a change to the shared driver moves all three. The folders lie under
# DEMO_DEPS_CACHE, or under XDG_CACHE_HOME without it. Skipped (77) where
# apt has no source packages or a target's compiler is missing.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
[ -n "$(apt-cache showsrc --only-source libsdl2 2>/dev/null)" ] || { echo "no deb-src line: skipped"; exit 77; }
for c in emcc x86_64-w64-mingw32-gcc-posix cc; do
    command -v "$c" >/dev/null || { echo "no $c: skipped"; exit 77; }
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/tree/tools" "$tmp/tree/cmake"
cp -r "$root/tools/deps" "$tmp/tree/tools/"
cp "$root/cmake/mingw-w64.cmake" "$tmp/tree/cmake/"
fail=0

keys() { # the three folders, one a line
    local t
    for t in web windows linux; do
        DEMO_DEPS_CACHE=$tmp/cache "$tmp/tree/tools/deps/build-deps.sh" --key "$t" || echo "failed: $t"
    done
}
compare() { # what changed, before, after, and which targets must have moved (web windows linux: 1 or 0)
    local what=$1 before=$2 after=$3 i=0 t moved
    shift 3
    for t in web windows linux; do
        i=$((i + 1))
        moved=0
        [ "$(sed -n "${i}p" <<<"$before")" = "$(sed -n "${i}p" <<<"$after")" ] || moved=1
        if [ "$moved" != "$1" ]; then
            echo "FAIL: after a change to $what, the $t key $([ "$moved" = 1 ] && echo moved || echo stayed)" >&2
            fail=1
        fi
        shift
    done
}

k0=$(keys)
i=0
for t in web windows linux; do
    i=$((i + 1))
    [[ $(sed -n "${i}p" <<<"$k0") == "$tmp/cache/$t/"[0-9a-f]* ]] ||
        { echo "FAIL: the $t folder is $(sed -n "${i}p" <<<"$k0")" >&2; fail=1; }
done
[ "$(keys)" = "$k0" ] || { echo "FAIL: the keys differ from one run to the next" >&2; fail=1; }

echo "# changed" >>"$tmp/tree/tools/deps/web.sh"
k1=$(keys)
compare "the web recipe" "$k0" "$k1" 1 0 0
echo "# changed" >>"$tmp/tree/tools/deps/sdl2-web/CMakeLists.txt"
k2=$(keys)
compare "the web SDL build" "$k1" "$k2" 1 0 0
echo "# changed" >>"$tmp/tree/cmake/mingw-w64.cmake"
k3=$(keys)
compare "the mingw toolchain file" "$k2" "$k3" 0 1 0
echo "# changed" >>"$tmp/tree/tools/deps/linux.sh"
k4=$(keys)
compare "the linux recipe" "$k3" "$k4" 0 0 1
# The Debian 11 root that the Linux libraries are built in: a change to what
# goes into it moves the Linux libraries too; a change to the rest of its
# script (how commands run in it) moves nothing.
echo "# changed" >>"$tmp/tree/tools/deps/debian11_root.sh"
k4b=$(keys)
compare "the root script's comments" "$k4" "$k4b" 0 0 0
sed -i 's/^    g++ make cmake/    g++ make gdb cmake/' "$tmp/tree/tools/deps/debian11_root.sh"
k4c=$(keys)
compare "the root's packages" "$k4b" "$k4c" 0 0 1
echo "# changed" >>"$tmp/tree/tools/deps/build-deps.sh"
k5=$(keys)
compare "the driver" "$k4c" "$k5" 1 1 1

# Without DEMO_DEPS_CACHE: the user's cache folder.
got=$(env -u DEMO_DEPS_CACHE XDG_CACHE_HOME="$tmp/xdg" "$tmp/tree/tools/deps/build-deps.sh" --key web)
[ "$got" = "$tmp/xdg/lumikenno-deps/web/$(basename "$(sed -n 1p <<<"$k5")")" ] ||
    { echo "FAIL: without DEMO_DEPS_CACHE the web folder is $got" >&2; fail=1; }
exit $fail
