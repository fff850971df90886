# The web build's libraries for WebAssembly (emscripten): libogg, libvorbis
# and SDL2. Sourced by build-deps.sh, which gives build_target $dir, $prefix,
# $common, $configure and $jobs, and the helpers srcdir and build.
packages=(libogg libvorbis libsdl2)
compiler=(emcc --version)
inputs=("$here/sdl2-web/CMakeLists.txt" "$here/sdl2-web/SDL2Config.cmake")

build_target() {
    configure=(emcmake cmake)
    # Configure checks compile without linking: an emscripten link costs
    # seconds (it runs the JavaScript back end). A function that a check
    # wrongly finds cannot go unnoticed: the final link fails on undefined
    # symbols.
    common+=(-DCMAKE_TRY_COMPILE_TARGET_TYPE=STATIC_LIBRARY)

    # libogg's type-size checks cannot read their answers from emscripten's
    # output: give them (wasm32: 2-byte short, 4-byte int and long, 8-byte
    # long long).
    local sizes=() t
    for t in INT16:2 UINT16:2 U_INT16:2 INT32:4 UINT32:4 U_INT32:4 INT64:8 SHORT:2 INT:4 LONG:4 LONG_LONG:8; do
        sizes+=("-DHAVE_${t%%:*}_SIZE=1" "-D${t%%:*}_SIZE=${t##*:}")
    done
    build ogg "$(srcdir libogg)" -DINSTALL_DOCS=OFF "${sizes[@]}"
    build vorbis "$(srcdir libvorbis)"

    # SDL2 with SDL's own configuration for emscripten, by our small build
    # (sdl2-web/) instead of SDL's configure checks.
    build sdl2 "$here/sdl2-web" -DSDL_SOURCE_DIR="$(srcdir libsdl2)"
}
