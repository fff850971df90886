# live_scenes.cmake - the scene units once more, as a shared library that the
# studio loads while it runs and swaps for a new build of itself when a scene
# source is saved (tools/studio/live/live_code.h). The demo, capture, bench, the
# web page and the Windows build never see it: they keep the scenes linked in.
#
# The library holds the code of the scenes and nothing of the process-wide
# state: its scenes read and write the studio's own variables (the studio is
# linked with its symbols exported). Everything the library defines is bound
# inside it (hidden by default, so its table points at its own routines and
# not at the studio's copies of them), except the two symbols the studio
# looks up: the scene table and the state's layout number. No symbol is
# "unique" in the GNU sense either, since one would keep the library in memory
# after it is closed.
#
# Beside the build, CMake writes live_scenes.txt into the build folder: the
# command, target and library a studio needs to rebuild and load it, and the
# scene sources to watch (the headers they include come from the build's own
# record of dependencies).

set(STATE_LAYOUT_HEADER ${CMAKE_BINARY_DIR}/generated/studio/state_layout.h)
file(GLOB_RECURSE live_src_headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*.h)
add_custom_command(OUTPUT ${STATE_LAYOUT_HEADER}
  COMMAND ${CMAKE_COMMAND} -DSRC=${CMAKE_SOURCE_DIR}/src -DOUT=${STATE_LAYOUT_HEADER}
          -P ${CMAKE_SOURCE_DIR}/cmake/state_layout.cmake
  DEPENDS ${live_src_headers} ${CMAKE_SOURCE_DIR}/cmake/state_layout.cmake
  COMMENT "Numbering the process-wide state's layout")
add_custom_target(state_layout DEPENDS ${STATE_LAYOUT_HEADER})

# Only the scenes and their helpers: the benchmark's pass list stays out.
file(GLOB LIVE_SCENE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/scenes/*.cpp)
list(REMOVE_ITEM LIVE_SCENE_SOURCES ${CMAKE_SOURCE_DIR}/src/scenes/scene_passes.cpp)
# The text table comes along: a caption's words change without a restart.
list(APPEND LIVE_SCENE_SOURCES ${CMAKE_SOURCE_DIR}/src/text/captions.cpp)
add_library(live_scenes MODULE ${LIVE_SCENE_SOURCES} ${CMAKE_SOURCE_DIR}/tools/studio/live/scene_library/entry.cpp)
add_dependencies(live_scenes state_layout)
target_include_directories(live_scenes PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tools
  ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(live_scenes PRIVATE SDL2::SDL2 m)
# Debug information whatever the build type: the studio names the source
# line where a scene crashed or was stopped (tools/studio/live/live_guard.h).
target_compile_options(live_scenes PRIVATE -g)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU") # clang makes no such symbols
  target_compile_options(live_scenes PRIVATE -fno-gnu-unique)
endif()
# A save compiles one unit, and most of that was reading SDL's and the
# standard library's headers (0.5 s of the landscape's 0.6 s of CPU): they
# come precompiled, once. The code made is the same, instruction for
# instruction, so the pictures stay capture's; the flags stay the scenes'.
target_precompile_headers(live_scenes PRIVATE <SDL.h> <algorithm> <cmath> <cstdint> <cstdlib> <cstring>)
# gold (in binutils, always there with the compiler) links it in about half
# the time of the default linker.
include(CheckLinkerFlag)
check_linker_flag(CXX -fuse-ld=gold LIVE_SCENES_LINK_GOLD)
if(LIVE_SCENES_LINK_GOLD)
  target_link_options(live_scenes PRIVATE -fuse-ld=gold)
endif()
set_target_properties(live_scenes PROPERTIES PREFIX "" POSITION_INDEPENDENT_CODE ON
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/live)

list(TRANSFORM LIVE_SCENE_SOURCES PREPEND "watch " OUTPUT_VARIABLE live_watch)
string(JOIN "\n" live_watch ${live_watch})
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/live_scenes.txt CONTENT
"cmake ${CMAKE_COMMAND}
build ${CMAKE_BINARY_DIR}
target live_scenes
library $<TARGET_FILE:live_scenes>
generator ${CMAKE_GENERATOR}
make ${CMAKE_MAKE_PROGRAM}
source ${CMAKE_SOURCE_DIR}
objects CMakeFiles/live_scenes.dir/
${live_watch}
")
