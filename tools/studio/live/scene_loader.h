// scene_loader.h - opening a scene library and checking it before it may
// draw, and one frame drawn with its scene table (live_code.h has the
// manual).
#pragma once

#include <cstdint>
#include <string>

#include "studio/live/code_place.h"
#include "studio/live/scene_library.h"

struct SceneLibrary {
    void *handle = nullptr;          // null: none loaded
    const SceneLibraryTable *table = nullptr;
    LibraryCode code;                // its code and file, for the guard
    std::string code_error;          // why code is unknown, "" when it is known
};

// Opens a library, looks up its two symbols and checks its layout number
// against `layout`. False with the reason (the loader's message, the missing
// symbol, or both numbers) and nothing left open. A library that passes has
// its code found (code_place.h) and its pages touched, so that nothing of
// loading it is left for the thread that draws with it.
bool open_scene_library(const std::string &path, uint32_t layout, SceneLibrary *out,
                        std::string *error);

// Of two STATE_LAYOUT_FILES lists ("src/state/state.h=1a2b3c4d;..."), the
// first header (by name) whose digest differs or that one list lacks; ""
// when they agree. A refused library's message names it.
std::string changed_layout_file(const std::string &own, const std::string &library);

// Closes a library opened by open_scene_library (none: nothing happens).
void close_scene_library(SceneLibrary *lib);
