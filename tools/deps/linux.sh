# The release's Linux libraries, static: zlib, libpng, libogg, libvorbis and
# SDL2, and CLI11's headers, all built in the Debian 11 root
# (tools/deps/debian11_root.sh) with its gcc 10 and glibc 2.31, so that the
# programs linked against them run there and on every later system. SDL2 by
# its own CMake build, which loads its back ends (X11, Wayland, PulseAudio,
# ALSA, ...) at run time, so the program needs no SDL or back-end library
# installed. libpng, zlib and CLI11 serve only capture, built the same way
# to check the release's build against the desktop's pictures. Sourced by
# build-deps.sh, which gives build_target $dir, $prefix, $common, $configure
# and $jobs, and the helpers srcdir and build.
packages=(zlib libpng1.6 libogg libvorbis libsdl2 cli11)
# The root's key stands for its compiler: it changes with what goes into the
# root (the release and its packages).
compiler=("$here/debian11_root.sh" key)
inputs=()

build_target() {
    # Every step runs in the root, which sees this build's folder at the
    # same path.
    local in_root=("$here/debian11_root.sh" run --bind "$dir")
    build() { # name source-dir cmake-options...
        local name=$1 src=$2
        shift 2
        (cd "$dir" && "${in_root[@]}" cmake -S "$src" -B "$dir/build-$name" "${common[@]}" "$@") >&2
        (cd "$dir" && "${in_root[@]}" cmake --build "$dir/build-$name" -j "$jobs") >&2
        (cd "$dir" && "${in_root[@]}" cmake --install "$dir/build-$name") >&2
    }
    # Position-independent code for the PIE the demo links as.
    common+=(-DCMAKE_POSITION_INDEPENDENT_CODE=ON)

    # zlib: the static library alone, by its own configure script (Debian's
    # source leaves out a file that its CMake build asks for outside mingw).
    (cd "$(srcdir zlib)" && "${in_root[@]}" env CFLAGS="-O2 -fPIC -ffile-prefix-map=$dir=." \
        sh -c './configure --static --prefix="$1" && make -j "$2" libz.a && make install' \
        sh "$prefix" "$jobs") >&2
    build png "$(srcdir libpng1.6)" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
        -DPNG_EXECUTABLES=OFF -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include"
    build cli11 "$(srcdir cli11)" -DCLI11_BUILD_TESTS=OFF -DCLI11_BUILD_EXAMPLES=OFF \
        -DCLI11_BUILD_DOCS=OFF
    build ogg "$(srcdir libogg)" -DINSTALL_DOCS=OFF
    build vorbis "$(srcdir libvorbis)"
    # SDL_X11_SHARED, SDL_WAYLAND_SHARED, SDL_PULSEAUDIO_SHARED,
    # SDL_ALSA_SHARED and their kin default to loading their libraries at run
    # time when their headers are here.
    build sdl2 "$(srcdir libsdl2)" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_STATIC_PIC=ON -DSDL_TEST=OFF
}
