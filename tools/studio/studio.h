// studio.h - the studio: the demo's picture in an ordinary window, with the
// timeline source reloaded while it plays, a transport on the keyboard, a
// HUD with a zoomable timeline strip, and a key editor (a grid of the tracks
// around the playhead and a curve view) that writes every edit back into the
// source. The keys are the table of commands.cpp (listed on the HUD and in
// docs/studio.md). Its state is the Studio of studio_state.h; this is its frame.
#pragma once

#include <string>

#include "studio/editor/commands.h"
#include "studio/files/reload.h"
#include "studio/files/save.h"
#include "studio/studio_state.h"

// The timeline is checked this often: 20 times a second.
constexpr uint64_t STUDIO_POLL_MS = 50;

// The window the studio asks start-up for.
constexpr int STUDIO_WINDOW_W = 960;
constexpr int STUDIO_WINDOW_H = 540;

// Takes a watch result: new keys into the tracks and the editor, or the
// messages printed once on standard error.
void take_watch_result(Studio *s, WatchResult result);

// Takes a finished save: a written one is exported (--export), a failure or
// a conflict is shown and a conflict's outside version is read at once.
void take_save_outcome(Studio *s, SaveOutcome outcome, const std::string &message);

// One frame: events, the poll when due, the loop's wrap, the picture, the
// HUD, present.
void run_studio_frame(Studio *s);

// What a command sees of the studio at music time `seconds`.
CommandContext command_context(Studio *s, double seconds);

// Prints the median, 90th percentile and longest of the last frames' times
// (the studio does at exit when STUDIO_FRAME_TIMES is set, for measuring).
void print_frame_times(const ViewState &v);

// The music's length for clamping (negative: unknown) and the strip's length
// (the music's, or the last key of any track when that is unknown; > 0).
double studio_strip_length();
