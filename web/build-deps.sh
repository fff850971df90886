#!/usr/bin/env bash
# build-deps.sh TARGET CACHE_DIR - SDL2, libogg and libvorbis for TARGET,
# built once from Debian's own source packages and kept under CACHE_DIR.
#
#   web    WebAssembly with emscripten, for the web page
#   linux  x86-64 Linux static libraries for the release's Linux archive:
#          SDL2 by its own CMake build, which loads its back ends (X11,
#          Wayland, PulseAudio, ALSA, ...) at run time, so a program linked
#          against it needs no SDL or back-end library installed
#
# The sources come from apt (`apt-get source`), which checks them against the
# signed Sources index. The result goes to CACHE_DIR/<key>/prefix, where the
# key covers the target, the three source versions, the compiler's version
# and the build recipes (this script and web/sdl2/), so a change to any of
# them builds a fresh prefix (and drops the target's old ones) and an
# unchanged set is reused as it stands. Give each target its own CACHE_DIR.
# Prints the prefix on standard output (all else goes to standard error).
set -euo pipefail

usage="usage: build-deps.sh web|linux CACHE_DIR"
target=${1:?$usage}
cache=${2:?$usage}
case "$target" in
    web|linux) ;;
    *) echo "build-deps: unknown target \"$target\"; $usage" >&2; exit 2 ;;
esac
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

# Debian's emscripten finds its Node modules (acorn and friends) only in
# Debian's Node path; a Node from elsewhere does not look there.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

case "$target" in
    web)   configure=(emcmake cmake); compiler=$(emcc --version) ;;
    linux) configure=(cmake); compiler=$(cc --version; c++ --version) ;;
esac

source_version() {
    apt-cache showsrc --only-source "$1" | sed -n 's/^Version: //p' | sort -V | tail -n 1
}
packages=(libogg libvorbis libsdl2)
versions=()
for p in "${packages[@]}"; do
    v=$(source_version "$p")
    [ -n "$v" ] || { echo "build-deps: no source package $p (is a deb-src line configured?)" >&2; exit 1; }
    versions+=("$p=$v")
done
key=$( { echo "$target"; printf '%s\n' "${versions[@]}"; echo "$compiler";
         cat "$0" "$here/sdl2/CMakeLists.txt" "$here/sdl2/SDL2Config.cmake"; } | sha256sum | cut -c1-16)
dir=$cache/$key
prefix=$dir/prefix
if [ -f "$dir/done" ]; then
    echo "$prefix"
    exit 0
fi

echo "build-deps: building ${versions[*]} for $target into $dir" >&2
rm -rf "$dir"
mkdir -p "$dir/src" "$prefix"
(cd "$dir/src" && apt-get source -q "${versions[@]}" >&2)
srcdir() { find "$dir/src" -maxdepth 1 -mindepth 1 -type d -name "$1-*" | head -n 1; }

jobs=$(nproc)
common=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF
        -DCMAKE_INSTALL_PREFIX="$prefix"
        # Find packages in our prefix (the emscripten toolchain file confines
        # searches to its own sysroot otherwise).
        -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix")

build() { # name source-dir cmake-options...
    local name=$1 src=$2
    shift 2
    "${configure[@]}" -S "$src" -B "$dir/build-$name" "${common[@]}" "$@" >&2
    cmake --build "$dir/build-$name" -j "$jobs" >&2
    cmake --install "$dir/build-$name" >&2
}

case "$target" in
web)
    # Configure checks compile without linking: an emscripten link costs
    # seconds (it runs the JavaScript back end). A function that a check
    # wrongly finds cannot go unnoticed: the final link fails on undefined
    # symbols.
    common+=(-DCMAKE_TRY_COMPILE_TARGET_TYPE=STATIC_LIBRARY)
    # libogg's type-size checks cannot read their answers from emscripten's
    # output: give them (wasm32: 2-byte short, 4-byte int and long, 8-byte
    # long long).
    sizes=()
    for t in INT16:2 UINT16:2 U_INT16:2 INT32:4 UINT32:4 U_INT32:4 INT64:8 SHORT:2 INT:4 LONG:4 LONG_LONG:8; do
        sizes+=("-DHAVE_${t%%:*}_SIZE=1" "-D${t%%:*}_SIZE=${t##*:}")
    done
    build ogg "$(srcdir libogg)" -DINSTALL_DOCS=OFF "${sizes[@]}"
    build vorbis "$(srcdir libvorbis)"
    # SDL2 with SDL's own configuration for emscripten, by our small build
    # (web/sdl2/) instead of SDL's configure checks.
    build sdl2 "$here/sdl2" -DSDL_SOURCE_DIR="$(srcdir libsdl2)"
    ;;
linux)
    # Position-independent code, for the PIE the demo links as; the build
    # folder kept out of the objects, so the libraries (and the demo linked
    # with them) have the same bytes whichever cache folder built them.
    common+=(-DCMAKE_POSITION_INDEPENDENT_CODE=ON
             -DCMAKE_C_FLAGS="-ffile-prefix-map=$dir=deps")
    build ogg "$(srcdir libogg)" -DINSTALL_DOCS=OFF
    build vorbis "$(srcdir libvorbis)"
    # SDL's own CMake build; its back ends (SDL_X11_SHARED, SDL_WAYLAND_SHARED,
    # SDL_PULSEAUDIO_SHARED, SDL_ALSA_SHARED, ...) default to loading their
    # libraries at run time when their headers are present here.
    build sdl2 "$(srcdir libsdl2)" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_STATIC_PIC=ON -DSDL_TEST=OFF
    ;;
esac

touch "$dir/done"
find "$cache" -mindepth 1 -maxdepth 1 -type d ! -name "$key" -exec rm -rf {} +
echo "$prefix"
