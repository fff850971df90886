// studio.h - the studio: the demo's picture in an ordinary window, with the
// timeline source reloaded while it plays, a transport on the keyboard, a
// HUD with a zoomable timeline strip, and a key editor (a grid of the tracks
// around the playhead and a curve view) that writes every edit back into the
// source. The keys are listed in HUD_HELP_LINES (hud.cpp) and the README.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>

#include "studio/hud.h"
#include "studio/key_edit.h"
#include "studio/reload.h"
#include "studio/save.h"
#include "studio/strip.h"
#include "studio/track_export.h"
#include "studio/transport.h"
#include "studio/waveform.h"

struct LiveCode;

struct Studio {
    bool live = false;          // a timeline source is watched
    LiveCode *code = nullptr;   // the scenes rebuilt on a save (live_code.h), or null
    TimelineWatch watch;
    SourceSaver saver;          // saves of the editor's source, off the frame path
    uint64_t next_poll_ms = 0;  // SDL ticks of the next poll
    LoopRange loop;
    bool hud_on = true;
    bool help_on = false;
    bool muted = false;
    bool fullscreen = false;
    bool quit = false;
    bool dragging = false;      // the strip is held with the mouse
    bool drag_snaps = true;     // that drag lands on beats (no Shift at the press)
    bool seek_pending = false;  // a drag's last position, taken once per frame
    double seek_to = 0.0;
    bool snapshot_asked = false;
    double previous = 0.0;      // the music time of the previous frame
    double fps = 0.0;
    uint64_t last_counter = 0;
    StripSpan span{0.0, 1.0};   // what the strip shows
    bool span_set = false;
    Waveform waveform;
    TrackExport track_export;   // --export: the .track files kept current

    // The key editor.
    KeyEditor editor;
    bool grid_on = false;
    int grid_top = 0;           // window y the grid starts at (below the panel)
    bool curve_on = false;
    int column = 0;             // selected track, index in the shared track list
    int zoom = 0;               // grid rows a line: 1 << zoom (1, 2, 4, 8)
    bool typing = false;        // a value is being typed
    std::string typed;
    std::string message;        // the last edit's refusal or notice
    bool message_warn = false;
    uint64_t message_until_ms = 0;
    KeyList clip[TIMELINE_TRACK_COUNT];
    int32_t clip_rows = 0;      // 0: nothing copied
    // A key held in the curve view: the keys before the drag, the key's row
    // then, and where it is now.
    bool key_drag = false;
    KeyList drag_before;
    int32_t drag_from = 0;
    SyncKey drag_now{};
};

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

// The music's length for clamping (negative: unknown) and the strip's length
// (the music's, or the last key of any track when that is unknown; > 0).
double studio_strip_length();

// ---- The key editor (edit.cpp) ------------------------------------------------

// Grid rows a line at the current zoom.
int grid_rows(const Studio &s);
// The grid line the playhead is on, as a row.
int32_t cursor_row(const Studio &s, double seconds);
// The key of `track` on the cursor's line (rows [row, row + grid_rows)), or -1.
int key_on_line(const Studio &s, int track, int32_t row);

// Handles an editing key; true when the key was the editor's.
bool press_edit_key(Studio *s, const SDL_KeyboardEvent &key);

// Replaces key lists as one undo step, saves the source and updates the
// tracks. False with the reason shown when refused or the save fails.
bool commit_edit(Studio *s, const std::vector<std::pair<int, KeyList>> &changes);

// Shows a line on the HUD for a few seconds.
void show_message(Studio *s, const std::string &text, bool warn);

// The curve view: a press on a key starts a drag, moves follow it, the
// release commits it as one undo step.
bool curve_press(Studio *s, int x, int y);
void curve_motion(Studio *s, int x, int y, bool snap);
void curve_release(Studio *s);
// The value range the curve view shows for a track's keys.
void curve_value_range(const KeyList &keys, float *lo, float *hi);

// ---- Drawing the editor (grid.cpp) --------------------------------------------

// The grid's and the curve view's rectangles in a w x h window.
SDL_Rect grid_rect(const Studio &s, int w, int h);
SDL_Rect curve_rect(const Studio &s, int w, int h);

void draw_grid(const Studio &s, double seconds);
// The column and row under a point of the grid drawn at `seconds`; false
// outside it (a click on the heads gives row -1).
bool grid_hit(const Studio &s, int x, int y, double seconds, int *column, int32_t *row);
void draw_curve(const Studio &s);
