// live_code.h - the scenes' code changed while the studio plays: a save of a
// scene source rebuilds the scene library in the background and the new
// code draws from the next frame on, with the music, the playhead and every
// scene's state as they were.
//
// The build folder describes itself in live_scenes.txt (written by CMake,
// cmake/live_scenes.cmake): the cmake program, the library's target and
// file, the scene sources. The studio looks at the identity of those sources
// and of the project headers they include (from the build's own record of
// dependencies) 20 times a second. A change starts
//
//   cmake --build BUILD --target live_scenes
//
// as a child process, on a worker thread that waits for it, so no frame
// ever waits for a compiler. The build starts at the lowest priority and is
// raised after half a second (live_build.h). The same build runs at start, and
// its library draws as soon as it is loaded. A watched file that is no
// regular file stops any build (a compiler would wait on a FIFO for ever),
// and a build that runs longer than build_timeout_ms has its process group
// killed; both are named in the errors. A build that fails leaves the code
// that draws as it is and shows the compiler's first errors as
// "FILE:LINE: message" lines. A build that gives a new library file has it
// copied under a name of its own (so the dynamic loader never hands back a
// library it has open already), and the worker opens the copy, looks up its
// two symbols, compares its layout number with the studio's
// (scene_library.h) and finds its code for the guard. A library that fails
// any of that is refused with the reason; one that passes replaces the old
// between two frames, an exchange of pointers, and the old is closed at
// once: nothing of it is running between two frames, and the scenes keep
// their state in the studio's process-wide variables, not in the library.
//
// The parts: build_description.h (live_scenes.txt), live_build.h (the child
// processes, the copies, the priority), build_output.h (the compiler's
// errors, the dependency listing), scene_loader.h (opening and checking a
// library), and this file, which watches the sources and swaps.
//
// What can change live: anything in the scene units and the headers of
// src/scenes (constants, formulas, colours, helpers). What cannot: the
// process-wide state (src/state, and what its headers include) and the scene
// table's record; such a change gives the library another layout number, and
// it is refused until the studio is rebuilt and started again. The text
// table (src/text/captions.cpp) is built into the library as well and its
// captions draw from the swap on. Other code outside src/scenes (the frame
// loop, the overlay's drawing, image loading) is the studio's own and
// changes only with a restart.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "studio/files/reload.h"
#include "studio/live/build_description.h"
#include "studio/live/build_output.h"
#include "studio/live/live_build.h"
#include "studio/live/scene_loader.h"

// ---- The studio's live code ------------------------------------------------------

struct LiveCode {
    LiveBuild build;
    uint32_t layout = 0;          // the studio's own STATE_LAYOUT
    std::string copy_dir;         // private folder of the library copies, beside the library
    std::vector<std::string> watched;
    std::vector<FileIdentity> seen;
    // The scene folder: a unit added or removed there starts a build, which
    // configures the build folder again (its list of scene sources is a
    // CONFIGURE_DEPENDS glob) and builds the new unit in; after a good build
    // the sources listed in live_scenes.txt are read again and watched.
    FileIdentity folder_seen;
    std::vector<std::string> folder_units; // its *.cpp names, sorted
    uint64_t next_look_ms = 0;
    uint64_t build_timeout_ms = 120000; // a build running longer is stopped
    // A build running longer than build_raise_ms is raised. A save of one
    // scene unit builds in 0.3-0.45 s on a quiet 2-core machine, so such a
    // build never is; beside busy programs a build at the lowest priority
    // hardly moves, and each ms before the raise is a ms more to wait.
    BuildPriority priority;
    uint64_t build_raise_ms = 500;
    bool first_build = false;     // the build at start has not ended yet
    std::shared_ptr<LiveJob> job; // a build and its library, or a dependency listing; null: idle
    bool again = false;           // a source changed while building
    uint64_t again_ms = 0;        // when that change was seen
    uint64_t changed_ms = 0;      // when the change that started the build was seen
    FileIdentity library_seen;    // the library file as last loaded (or at start)
    SceneLibrary current;         // none: the studio's own scenes draw
    int serial = 0;               // names the copies
    int swaps = 0;
    // Frame times (poll to poll) for the line printed after a swap: the
    // longest while no build ran, the longest while one ran, the swap itself
    // (opening the new library, closing the old) and the frame it was in.
    uint64_t last_poll_us = 0;
    uint64_t polls = 0; // the first frames (the window's and the sound's start) count in neither figure
    uint64_t longest_quiet_frame_us = 0;
    uint64_t longest_building_frame_us = 0;
    uint64_t last_swap_us = 0;
    uint64_t last_load_us = 0;    // opening the library, on the worker
    bool swap_line_due = false;   // printed at the poll after the swap
    std::string errors;           // "FILE:LINE: message" lines of the last build, or a refusal
    std::string notice;           // "scenes rebuilt in 0.9 s", ...
    uint64_t notice_until_ms = 0;
};

// Reads the build folder's description, makes the folder for the copies and
// lists the dependencies in the background. False with the reason.
bool start_live_code(LiveCode *lc, const std::string &build_dir, uint32_t layout,
                     std::string *error);

// Between two frames: takes a finished job (errors, or a new library
// swapped in), looks at the watched files when due, and starts a build when
// one changed; raises a build that runs long. Never waits. A swap prints
// one line on standard output, at the poll after it: "studio: scenes
// rebuilt in 0.9 s (swap 0.0 ms, its frame 17 ms; longest frame while
// building 20 ms, before 18 ms; loaded beside the frames in 1.2 ms)".
void poll_live_code(LiveCode *lc, uint64_t now_ms);

// Waits for the job in flight (if any) and takes it; for tests.
void finish_live_code(LiveCode *lc, uint64_t now_ms);

// Stops a build in flight, closes the library and removes the copies.
void stop_live_code(LiveCode *lc);

// The scenes that draw now: the loaded library's, or null for the studio's own.
const SceneLibraryTable *live_scenes(const LiveCode &lc);

// The HUD's line: "building…" while a build runs, otherwise the last
// result for a few seconds; "" when there is nothing to say.
std::string live_code_notice(const LiveCode &lc, uint64_t now_ms);
