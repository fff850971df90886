// scene_library.h - what a loadable scene library carries for the studio:
// two symbols with C names, looked up by name after the library is opened.
//
//   SCENE_LIBRARY_LAYOUT_SYMBOL  const uint32_t, the STATE_LAYOUT the library
//                                was compiled against (studio/state_layout.h,
//                                made by the build from the state's headers)
//   SCENE_LIBRARY_TABLE_SYMBOL   const SceneLibraryTable, its scene table
//                                and its text table
//
// A library is used only when both are there and the layout number is the
// studio's own: its scenes then read and write the studio's state with the
// same declarations the studio was compiled with.
#pragma once

#include <cstdint>

#include "scenes/scene_table.h"
#include "text/overlay.h"

#define SCENE_LIBRARY_LAYOUT_SYMBOL "scene_library_layout"
#define SCENE_LIBRARY_TABLE_SYMBOL "scene_library_table"
// The headers behind the layout number, each with its own digest
// ("src/state/state.h=1a2b3c4d;..."): a refused library names the one that
// changed. Optional.
#define SCENE_LIBRARY_LAYOUT_FILES_SYMBOL "scene_library_layout_files"

struct SceneLibraryTable {
    int count;               // entries in scenes
    const SceneInfo *scenes; // in "scene" track order, as SceneTable
    // The captions "clear.a" picks (text/captions.cpp as the library was
    // built); null: the studio's own.
    const CaptionTable *captions;
};

// The attribute a library's two symbols need when it is built with hidden
// symbols by default.
#define SCENE_LIBRARY_EXPORT __attribute__((visibility("default")))
