# The release's Linux libraries, static: libogg, libvorbis and SDL2. SDL2 by
# its own CMake build, which loads its back ends (X11, Wayland, PulseAudio,
# PipeWire, ALSA, ...) at run time, so the program needs no SDL or back-end
# library installed. Sourced by build-deps.sh, which gives build_target
# $dir, $prefix, $common, $configure and $jobs, and the helpers srcdir and
# build.
packages=(libogg libvorbis libsdl2)
compiler=(cc --version)
inputs=()

build_target() {
    # Position-independent code for the PIE the demo links as.
    common+=(-DCMAKE_POSITION_INDEPENDENT_CODE=ON)
    build ogg "$(srcdir libogg)" -DINSTALL_DOCS=OFF
    build vorbis "$(srcdir libvorbis)"
    # SDL_X11_SHARED, SDL_WAYLAND_SHARED, SDL_PULSEAUDIO_SHARED,
    # SDL_ALSA_SHARED and their kin default to loading their libraries at run
    # time when their headers are here.
    build sdl2 "$(srcdir libsdl2)" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_STATIC_PIC=ON -DSDL_TEST=OFF
}
