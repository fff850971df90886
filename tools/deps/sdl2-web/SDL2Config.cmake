# SDL2Config.cmake - the static SDL2 that tools/deps/sdl2-web/CMakeLists.txt installs,
# as the target SDL2::SDL2-static.
get_filename_component(_sdl2_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
if(NOT TARGET SDL2::SDL2-static)
  add_library(SDL2::SDL2-static STATIC IMPORTED)
  set_target_properties(SDL2::SDL2-static PROPERTIES
    IMPORTED_LOCATION "${_sdl2_prefix}/lib/libSDL2.a"
    INTERFACE_INCLUDE_DIRECTORIES "${_sdl2_prefix}/include/SDL2")
endif()
set(SDL2_FOUND TRUE)
unset(_sdl2_prefix)
