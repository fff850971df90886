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
// as a child process at low priority, on a worker thread that waits for it,
// so no frame ever waits for a compiler. The same build runs at start, and
// its library draws as soon as it is loaded. A watched file that is no
// regular file stops any build (a compiler would wait on a FIFO for ever),
// and a build that runs longer than build_timeout_ms has its process group
// killed; both are named in the errors. A build that fails leaves the code
// that draws as it is and shows the compiler's first errors as
// "FILE:LINE: message" lines. A build that gives a new library file has it
// copied under a name of its own (so the dynamic loader never hands back a
// library it has open already), and between two frames the copy is opened,
// its two symbols are looked up and its layout number is compared with the
// studio's (scene_library.h); a library that fails any of that is refused
// with the reason, and one that passes replaces the old, which is closed at
// once: nothing of it is running between two frames, and the scenes keep
// their state in the studio's process-wide variables, not in the library.
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
#include "studio/live/scene_library.h"

// ---- The build folder ---------------------------------------------------------

struct LiveBuild {
    std::string dir;          // the build folder
    std::string cmake;        // the cmake program that configured it
    std::string target;       // the library's target
    std::string library;      // the library file the build writes
    std::string generator;    // CMake's generator ("Ninja", ...)
    std::string make_program; // the generator's program
    std::string source_dir;
    std::string objects;      // the library's object folder, relative to dir
    std::vector<std::string> sources; // the scene units
};

// Reads DIR/live_scenes.txt. False with the reason when it is missing or
// lacks an entry.
bool read_live_build(const std::string &dir, LiveBuild *out, std::string *error);

// The build folder the studio's own executable belongs to (its folder's
// parent, when live_scenes.txt is there), or "".
std::string own_build_dir();

// ---- Loading a scene library -----------------------------------------------------

struct SceneLibrary {
    void *handle = nullptr;          // null: none loaded
    const SceneLibraryTable *table = nullptr;
};

// Copies a file to a new name (created exclusively, mode 0700). False with
// the system's reason.
bool copy_library_file(const std::string &from, const std::string &to, std::string *error);

// Opens a library, looks up its two symbols and checks its layout number
// against `layout`. False with the reason (the loader's message, the missing
// symbol, or both numbers) and nothing left open.
bool open_scene_library(const std::string &path, uint32_t layout, SceneLibrary *out,
                        std::string *error);

// Closes a library opened by open_scene_library (none: nothing happens).
void close_scene_library(SceneLibrary *lib);

// One frame as render_frame draws it (app/frame.h), with the scenes of
// `scenes` instead of the ones linked into the program.
void render_frame_with(double seconds, const SceneLibraryTable &scenes);

// ---- Reading what the build says -------------------------------------------------

// The compiler's and linker's errors of a build's output, at most `max`
// of them, one "FILE:LINE: message" line each (the column and the word
// "error" dropped; a file under source_dir named from there, any other as
// the compiler named it).
std::string first_build_errors(const std::string &log, const std::string &source_dir, int max);

// The project files the library's objects depend on, from the output of
// the generator's dependency listing (`ninja -t deps`): files under the
// source folder and outside the build folder, as absolute paths.
std::vector<std::string> library_dependencies(const std::string &listing, const LiveBuild &build);

// ---- The studio's live code ------------------------------------------------------

struct LiveJob; // a build and its copy, or a dependency listing, on a worker thread

struct LiveCode {
    LiveBuild build;
    uint32_t layout = 0;          // the studio's own STATE_LAYOUT
    std::string copy_dir;         // private folder of the library copies, beside the library
    std::vector<std::string> watched;
    std::vector<FileIdentity> seen;
    uint64_t next_look_ms = 0;
    uint64_t build_timeout_ms = 120000; // a build running longer is stopped
    bool first_build = false;     // the build at start has not ended yet
    std::shared_ptr<LiveJob> job; // null: idle
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
    uint64_t longest_quiet_frame_us = 0;
    uint64_t longest_building_frame_us = 0;
    uint64_t last_swap_us = 0;
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
// one changed. Never waits. A swap prints one line on standard output, at
// the poll after it: "studio: scenes rebuilt in 0.9 s (swap 0.4 ms, its
// frame 17 ms; longest frame while building 20 ms, before 18 ms)".
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
