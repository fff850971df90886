// entry.cpp - the entry of the studio's scene library
// (cmake/live_scenes.cmake): the scene table, the text table and the layout
// number of the state it was compiled against, under the names
// scene_library.h gives.
#include "studio/live/scene_library.h"

#include "studio/state_layout.h"

extern "C" {
SCENE_LIBRARY_EXPORT extern const uint32_t scene_library_layout;
SCENE_LIBRARY_EXPORT extern const SceneLibraryTable scene_library_table;
SCENE_LIBRARY_EXPORT extern const char scene_library_layout_files[];

const uint32_t scene_library_layout = STATE_LAYOUT;
const char scene_library_layout_files[] = STATE_LAYOUT_FILES;
const SceneLibraryTable scene_library_table = {static_cast<int>(SceneTable.size()), SceneTable.data(),
                                                &DemoCaptions};
}
