#!/usr/bin/env bash
# build-deps.sh TARGET CACHE_DIR - the libraries the demo links, built once
# for another platform from Debian's own source packages and kept under
# CACHE_DIR. Prints the install prefix on standard output (all else goes to
# standard error).
#
#   web       SDL2, libogg and libvorbis for WebAssembly (emscripten)
#   windows   SDL2, libogg, libvorbis, zlib and libpng for 64-bit Windows
#             (mingw-w64, cmake/mingw-w64.cmake), static libraries only
#
# The sources come from apt (`apt-get source`), which checks them against the
# signed Sources index. The result goes to CACHE_DIR/<key>/prefix, where the
# key covers the target, the source versions, the compiler's version and the
# recipes (this script and the files the target's recipes use), so a change
# to any of them builds a fresh prefix (and drops the old ones) and an
# unchanged set is reused as it stands.
set -euo pipefail

usage="usage: build-deps.sh web|windows CACHE_DIR"
target=${1:?$usage}
cache=${2:?$usage}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

# Per target: the source packages, the compiler whose version enters the
# key, and the recipe files besides this script.
case "$target" in
    web)
        # Debian's emscripten finds its Node modules (acorn and friends) only
        # in Debian's Node path; a Node from elsewhere does not look there.
        export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
        packages=(libogg libvorbis libsdl2)
        compiler=(emcc --version)
        recipes=("$here/sdl2-web/CMakeLists.txt" "$here/sdl2-web/SDL2Config.cmake")
        ;;
    windows)
        packages=(zlib libpng1.6 libogg libvorbis libsdl2)
        compiler=(x86_64-w64-mingw32-gcc-posix --version)
        recipes=("$root/cmake/mingw-w64.cmake")
        ;;
    *) echo "$usage" >&2; exit 2 ;;
esac

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
         cat "$0" "${recipes[@]}"; } | sha256sum | cut -c1-16)
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
        # Find packages in our prefix although the toolchain file confines
        # searches to the target's own sysroot.
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
    configure=(emcmake cmake)
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
    # (sdl2-web/) instead of SDL's configure checks.
    build sdl2 "$here/sdl2-web" -DSDL_SOURCE_DIR="$(srcdir libsdl2)"
    ;;
windows)
    configure=(cmake -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake")
    # Source paths stay out of the libraries (assertion texts carry __FILE__).
    common+=("-DCMAKE_C_FLAGS=-ffile-prefix-map=$dir/src=.")

    # zlib: the static library alone (Debian's source leaves out the DLL's
    # resource file), installed by hand under the name every finder looks for.
    src=$(srcdir zlib)
    "${configure[@]}" -S "$src" -B "$dir/build-zlib" "${common[@]}" >&2
    cmake --build "$dir/build-zlib" -j "$jobs" --target zlibstatic >&2
    mkdir -p "$prefix/include" "$prefix/lib"
    cp "$src/zlib.h" "$dir/build-zlib/zconf.h" "$prefix/include/"
    cp "$dir/build-zlib/libzlibstatic.a" "$prefix/lib/libz.a"
    zlib=(-DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include")
    build png "$(srcdir libpng1.6)" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
        -DPNG_EXECUTABLES=OFF "${zlib[@]}"
    build ogg "$(srcdir libogg)" -DINSTALL_DOCS=OFF
    build vorbis "$(srcdir libvorbis)"
    # SDL's own CMake build; the static library and SDL2main, which supplies
    # WinMain for a program of the GUI subsystem and calls our main.
    build sdl2 "$(srcdir libsdl2)" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF
    ;;
esac

touch "$dir/done"
find "$cache" -mindepth 1 -maxdepth 1 -type d ! -name "$key" -exec rm -rf {} +
echo "$prefix"
