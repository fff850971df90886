// guarded_scenes.h - the studio's frames drawn with the live scene library
// under the live guard (live_guard.h): a scene of the library that crashes
// or does not return within the bound loses its frame, and its library is
// set aside until the live code swaps in another one (the next good build
// after a save). Meanwhile the library that drew before it draws (the guard
// keeps it loaded), or, with none, the scenes built into the studio. The
// error box names the scene, what happened and the source line
// ("scene "landscape" crashed: SIGSEGV, a bad memory access at 0x0, at
// src/scenes/landscape.cpp:88 in draw_landscape(FrameTime const&); ...").
//
// A frame cut short leaves the scenes' process-wide state as far as the
// scene got (a buffer half written, a counter stepped or not); the next
// library draws on from there, as from any frame. The renderer's target,
// clip rectangle, draw colour and blend mode are put back as they were
// before the scene's call.
#pragma once

#include <string>

#include "state/state.h"
#include "studio/live/code_place.h"
#include "studio/live/scene_library.h"

struct LiveCode;

struct GuardedLibrary {
    void *handle = nullptr;                   // the guard's own reference to it
    const SceneLibraryTable *table = nullptr; // null: none
    LibraryCode code;
};

struct SceneGuard {
    bool on = false;           // the handlers and the watchdog are installed
    int taken_swaps = 0;       // the live code's swap count last looked at
    void *taken_handle = nullptr;
    GuardedLibrary current;    // the live code's library
    bool refused = false;      // current failed: set aside until the next one
    GuardedLibrary previous;   // the last library that never failed before current
    std::string source_dir;    // source lines are named from here
    bool escape_quits = true;  // Escape would quit the studio now (no value typed, no block)
    int failures = 0;          // calls stopped so far
    std::string errors;        // the error box's line, "" when none
};

// Installs the live guard on the calling (frame) thread with the studio's
// quit check (a window close, SIGINT or SIGTERM waiting in SDL's queue, or
// Escape while escape_quits). False with the reason; the studio then draws unguarded.
bool start_scene_guard(SceneGuard *g, double timeout_s, std::string *error);

// Between frames: takes the library the live code draws with now, when it
// swapped in another one since the last look. The one that drew so far
// becomes the previous unless it failed.
void follow_live_code(SceneGuard *g, const LiveCode &lc);

// The table that draws now: the current library's, the previous one's while
// the current is set aside, or null for the studio's own scenes.
const SceneLibraryTable *guarded_table(const SceneGuard &g);

enum GuardedDraw {
    GUARDED_NONE,   // no library draws: the caller draws the studio's own scene
    GUARDED_DREW,   // the library's scene drew
    GUARDED_FAILED, // it crashed or was stopped: the frame is lost, the library set aside
};

// Draws scene `index` of the library that draws now at `time`, under the
// guard (followed by the copy of the target when the scene asks for it).
GuardedDraw draw_guarded_scene(SceneGuard *g, int index, const FrameTime &time);

// One frame into the studio's picture target, as render_frame draws it,
// with the scene drawn by draw_guarded_scene (a lost frame stops there).
// Returns the frame's Row and Tick.
FrameTime draw_guarded_picture(SceneGuard *g, double seconds);

// Lets both libraries go and removes the guard.
void stop_scene_guard(SceneGuard *g);
