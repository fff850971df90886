// studio.h - the studio: the demo's picture in an ordinary window, with the
// timeline source reloaded while it plays, a transport on the keyboard, a
// HUD with a zoomable timeline strip, and a key editor (a grid of the tracks
// around the playhead and a curve view) that writes every edit back into the
// source. The keys are the table of commands.cpp (listed on the HUD and in
// the README).
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>

#include "studio/editor/commands.h"
#include "studio/view/hud.h"
#include "studio/editor/key_edit.h"
#include "studio/files/reload.h"
#include "studio/files/save.h"
#include "studio/link/serve.h"
#include "studio/view/strip.h"
#include "studio/files/track_export.h"
#include "studio/transport.h"
#include "studio/view/waveform.h"

struct LiveCode;
struct SceneGuard;

// The studio's state by concern: the watched source, the transport, the
// view and the key editor (commands.h).
struct Studio {
    bool live = false;          // a timeline source is watched
    LiveCode *code = nullptr;   // the scenes rebuilt on a save (live_code.h), or null
    int declared_at_swaps = -1; // the live code's swap count when the declared tracks were last read
    std::vector<TrackDeclaration> declared; // as then read (timeline/declared_tracks.h)
    SceneGuard *guard = nullptr; // its calls guarded against crashes and hangs (guarded_scenes.h), or null
    TimelineWatch watch;
    SourceSaver saver;          // saves of the editor's source, off the frame path
    uint64_t next_poll_ms = 0;  // SDL ticks of the next poll
    bool quit = false;
    TransportState transport;
    ViewState view;
    EditorState editor;
    Waveform waveform;
    TrackExport track_export;   // --export: the .track files kept current
    StudioServe serve;          // following demos (--serve)
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

// What a command sees of the studio at music time `seconds`.
CommandContext command_context(Studio *s, double seconds);

// Prints the median, 90th percentile and longest of the last frames' times
// (the studio does at exit when STUDIO_FRAME_TIMES is set, for measuring).
void print_frame_times(const ViewState &v);

// The music's length for clamping (negative: unknown) and the strip's length
// (the music's, or the last key of any track when that is unknown; > 0).
double studio_strip_length();

// ---- The frame's side of the commands (edit.cpp) ------------------------------

// Why the source cannot be edited now, or null: no source, a source that
// does not parse or cannot be read, or a file changed on disk that the
// watch has not taken.
const char *edit_refusal(const Studio &s);

// Carries out what a command asked of the world apart from the music
// (a save request after an edit, undo or redo; the message's time). False
// when the save is refused at once (the model is put back, the reason
// shown); a save that fails later is said when it finishes, and the edit
// stands.
bool finish_command(Studio *s, const CommandOut &out);

// Replaces key lists as one undo step named `name`, asks for a save of the
// source and updates the tracks. False with the reason shown when refused.
bool commit_edit(Studio *s, const std::vector<std::pair<int, KeyList>> &changes, const std::string &name = "edit");

// Shows a line on the HUD for a few seconds.
void show_message(Studio *s, const std::string &text, bool warn);

// The curve view: a press on a key starts a drag, moves follow it along the
// axis its first pixels chose (both with Ctrl), the release commits it as
// one undo step.
bool curve_press(Studio *s, int x, int y);
void curve_motion(Studio *s, int x, int y, bool snap, bool free);
void curve_release(Studio *s);
// The value range the curve view shows now.
void curve_range_now(const Studio &s, float *lo, float *hi);

// ---- Drawing the editor (grid.cpp) --------------------------------------------

// The grid's rectangle in the window as it stands.
SDL_Rect grid_rect(const Studio &s, int w, int h);

void draw_grid(const Studio &s, double seconds);
void draw_curve(const Studio &s, double seconds);
