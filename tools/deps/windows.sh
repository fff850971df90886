# The Windows build's static libraries for x86_64-w64-mingw32: zlib, libpng,
# libogg, libvorbis and SDL2. Sourced by build-deps.sh, which gives
# build_target $dir, $prefix, $common, $configure and $jobs, and the helpers
# srcdir and build.
packages=(zlib libpng1.6 libogg libvorbis libsdl2)
compiler=(x86_64-w64-mingw32-gcc-posix --version)
inputs=("$root/cmake/mingw-w64.cmake")

build_target() {
    configure=(cmake -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake")

    # zlib: the static library alone (Debian's source leaves out the DLL's
    # resource file), installed by hand under the name every finder looks for.
    local src
    src=$(srcdir zlib)
    "${configure[@]}" -S "$src" -B "$dir/build-zlib" "${common[@]}" >&2
    cmake --build "$dir/build-zlib" -j "$jobs" --target zlibstatic >&2
    mkdir -p "$prefix/include" "$prefix/lib"
    cp "$src/zlib.h" "$dir/build-zlib/zconf.h" "$prefix/include/"
    cp "$dir/build-zlib/libzlibstatic.a" "$prefix/lib/libz.a"
    local zlib=(-DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include")
    build png "$(srcdir libpng1.6)" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
        -DPNG_EXECUTABLES=OFF "${zlib[@]}"
    build ogg "$(srcdir libogg)" -DINSTALL_DOCS=OFF
    build vorbis "$(srcdir libvorbis)"
    # SDL's own CMake build; the static library and SDL2main, which supplies
    # WinMain for a program of the GUI subsystem and calls our main.
    build sdl2 "$(srcdir libsdl2)" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF
}
