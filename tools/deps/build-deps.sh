#!/usr/bin/env bash
# build-deps.sh [--key] web|windows|linux - the libraries the demo links,
# built once for another platform from Debian's own source packages and kept
# in the user's cache. Prints the install prefix on standard output (all else
# goes to standard error); with --key, only the folder that the current
# sources, compiler and recipes give, built or not, and builds nothing.
#
#   web       SDL2, libogg and libvorbis for WebAssembly (emscripten)
#   windows   SDL2, libogg, libvorbis, zlib and libpng for 64-bit Windows
#             (mingw-w64, cmake/mingw-w64.cmake), static libraries only
#   linux     SDL2, libogg and libvorbis as static libraries for the
#             release's Linux demo
#
# Each target's recipe is its own file beside this driver, tools/deps/TARGET.sh:
# the source packages, the compiler whose version matters, the other files
# the recipe reads, and the build itself.
#
# The sources come from apt (`apt-get source`), which checks them against the
# signed Sources index. The result goes to CACHE/TARGET/KEY/prefix, where
# CACHE is $DEMO_DEPS_CACHE, by default ${XDG_CACHE_HOME:-~/.cache}/lumikenno-deps,
# outside every checkout, so each clone on the machine finds it. KEY covers
# the target, the source versions, the compiler's version, this driver and
# the target's recipe with its files: a changed recipe builds its own target
# afresh and leaves the others as they are; an unchanged set is reused as it
# stands. Builds of one target wait for each other (a lock per target); the
# three most recently used prefixes of a target are kept, and of each only
# the installed prefix.
set -euo pipefail

usage="usage: build-deps.sh [--key] web|windows|linux"
key_only=
if [ "${1:-}" = --key ]; then
    key_only=1
    shift
fi
target=${1:?$usage}
[ $# -eq 1 ] || { echo "$usage" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
case "$target" in
    web|windows|linux) ;;
    *) echo "$usage" >&2; exit 2 ;;
esac
recipe=$here/$target.sh

# The recipe sets packages, compiler and inputs, and defines build_target.
packages=() compiler=() inputs=()
. "$recipe"

cache=${DEMO_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/lumikenno-deps}/$target
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)

source_version() {
    apt-cache showsrc --only-source "$1" | sed -n 's/^Version: //p' | sort -V | tail -n 1
}
versions=()
for p in "${packages[@]}"; do
    v=$(source_version "$p")
    [ -n "$v" ] || { echo "build-deps: no source package $p (is a deb-src line configured?)" >&2; exit 1; }
    versions+=("$p=$v")
done
key=$( { echo "$target"; printf '%s\n' "${versions[@]}"; "${compiler[@]}";
         cat "$here/build-deps.sh" "$recipe" "${inputs[@]}"; } | sha256sum | cut -c1-16)
dir=$cache/$key
prefix=$dir/prefix
if [ -n "$key_only" ]; then
    echo "$dir"
    exit 0
fi

exec 9>"$cache/.lock"
flock 9
if [ ! -f "$dir/done" ]; then
    echo "build-deps: building ${versions[*]} for $target into $dir" >&2
    rm -rf "$dir"
    mkdir -p "$dir/src" "$prefix"
    (cd "$dir/src" && apt-get source -q "${versions[@]}" >&2)

    jobs=$(nproc)
    common=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF
            -DCMAKE_INSTALL_PREFIX="$prefix"
            # Find packages in our prefix although a toolchain file confines
            # searches to the target's own sysroot.
            -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix"
            # The cache's own path stays out of the libraries (assertion
            # texts carry __FILE__), so they have the same bytes in every
            # user's cache.
            "-DCMAKE_C_FLAGS=-ffile-prefix-map=$dir=.")
    configure=(cmake)
    srcdir() { find "$dir/src" -maxdepth 1 -mindepth 1 -type d -name "$1-*" | head -n 1; }
    build() { # name source-dir cmake-options...
        local name=$1 src=$2
        shift 2
        "${configure[@]}" -S "$src" -B "$dir/build-$name" "${common[@]}" "$@" >&2
        cmake --build "$dir/build-$name" -j "$jobs" >&2
        cmake --install "$dir/build-$name" >&2
    }
    build_target
    # The sources and build trees are not needed again.
    rm -rf "$dir/src" "$dir"/build-*
fi
touch "$dir/done" "$dir"
# Keep the three most recently used builds of this target.
ls -1dt "$cache"/*/ 2>/dev/null | tail -n +4 | while read -r old; do rm -rf "$old"; done
echo "$prefix"
