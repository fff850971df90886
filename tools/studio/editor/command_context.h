// command_context.h - what the studio's commands work on: the studio's
// state by concern (transport, view, key editor), the context a command
// gets (that state, the playhead, the frame's inputs, the gesture that ran
// it) and what it asks of the world in return, and the small helpers every
// room of commands shares (saying a line, seeking, the cursor's line).
//
// A command is a plain function of this context: it never reads the music,
// the renderer, SDL's clock, the mouse or a file; the frame reads what a
// command needs of them once a frame and hands it in.
#pragma once

#include <SDL.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "studio/editor/key_edit.h"
#include "studio/transport.h"
#include "studio/view/grid_layout.h"
#include "studio/view/strip.h"

struct SyncTrack;
struct SceneLibraryTable; // studio/live/scene_library.h

// Modifier sets a command wants: exactly these of Shift, Ctrl and Alt; any
// Shift with MOD_SHIFT_ANY, any Ctrl and Alt with MOD_CTRL_ALT_ANY.
enum : uint8_t {
    MOD_NONE = 0, MOD_SHIFT = 1, MOD_CTRL = 2, MOD_ALT = 4, MOD_SHIFT_ANY = 8, MOD_CTRL_ALT_ANY = 16,
    MOD_ANY = MOD_SHIFT_ANY | MOD_CTRL_ALT_ANY,
};

// ---- The studio's state, by concern ----------------------------------------------

struct TransportState {
    LoopRange loop;
    bool muted = false;
    double previous = 0.0;      // the music time of the previous frame
    bool seek_pending = false;  // a seek taken once per frame (drags)
    double seek_to = 0.0;
    // A seek while paused plays a short grain of the music from there; the
    // playhead stays at `grain_at` and goes back there when it ends.
    bool grain_on = false;
    double grain_at = 0.0;
    uint64_t grain_end_ms = 0;  // SDL ticks
    // Half speed: the music plays at half its rate, an octave down, and the
    // playhead, its position, moves at half the real rate.
    bool half_speed = false;
};

struct ViewState {
    bool hud_on = true;
    bool help_on = false;
    bool fullscreen = false;
    bool grid_on = false;
    bool curve_on = false;
    bool curve_whole = false;    // the curve view's range fits the whole track
    int grid_top = 0;            // window y the grid starts at (below the panel)
    // The grid's columns: the timeline's tracks, then the tracks the scenes
    // declare (edited once the editor holds them: KeyEditor::declared).
    int grid_columns = TIMELINE_TRACK_COUNT;
    StripSpan span{0.0, 1.0};    // what the strip shows
    bool span_set = false;
    bool snapshot_asked = false;
    double fps = 0.0;
    uint64_t last_counter = 0;
    // The last frames' times in ms (a ring), kept for STUDIO_FRAME_TIMES.
    static constexpr int FRAME_TIMES = 256;
    double frame_ms[FRAME_TIMES] = {};
    double ui_ms[FRAME_TIMES] = {};  // of which the interface: built and drawn
    bool timing = false;             // the renderer's queue flushed around the interface
    int frames = 0;
};

enum TypingFor { TYPING_VALUE, TYPING_SCALE, TYPING_PLACE };

struct EditorState {
    KeyEditor model;             // the keys and the source
    int column = 0;              // selected track, index in the editor's tracks (KeyEditor::keys)
    int zoom = 0;                // grid rows a line: 1 << zoom
    bool typing = false;         // a value, factor or place is being typed
    TypingFor typing_for = TYPING_VALUE;
    std::string typed;
    std::string message;         // the last command's notice or refusal
    bool message_warn = false;
    uint64_t message_until_ms = 0;
    std::vector<std::string> undo_names, redo_names; // in step with model.undo, model.redo
    // The block: rows x tracks between an anchor and an end line.
    bool block_on = false;
    int32_t anchor_row = 0, end_row = 0;
    int anchor_track = 0, end_track = 0;
    // What Ctrl+C took: tracks [clip_track0, clip_track0 + clip count), rows
    // relative to their start, clip_rows long; whole bars paste at a bar.
    std::vector<KeyList> clip;
    int clip_track0 = 0;
    int32_t clip_rows = 0;       // 0: nothing copied
    bool clip_bars = false;
};

// ---- What a command sees and asks for ----------------------------------------------

enum SaveKind { SOURCE_UNCHANGED, SOURCE_EDITED, SOURCE_UNDONE, SOURCE_REDONE };

struct CommandOut {
    bool seek = false;
    double seek_to = 0.0;       // seconds
    SaveKind save = SOURCE_UNCHANGED;  // the model changed: write the source
    bool toggle_pause = false;
    bool toggle_half_speed = false;
    bool set_muted = false;     // hand transport.muted to the player
    bool toggle_fullscreen = false;
    bool poll_now = false;      // look at the source at once
    bool quit = false;
    bool said = false;          // a new message is in editor.message
    // A key held in the curve view shows where it is while held: the frame
    // gives track `preview_track` the keys `preview`. `restore_track` gets
    // the editor's keys back (after the drag, and after a refused save).
    int preview_track = -1;
    KeyList preview;
    int restore_track = -1;
};

// What the frame reads once for all of its events: the renderer's output
// size in pixels, the HUD's text line height and the modifier keys held
// (SDL's modifier state).
struct FrameInputs {
    int w = 0, h = 0;
    float line_h = 16.0f;
    uint16_t mods = 0;
};

// A mouse gesture at output pixel (x, y): a button's press, the pointer's
// move while it is held, its release, or the wheel turned by `notches`
// (positive: away from the user, or to the left for the sideways wheel).
enum GestureInput : uint8_t { INPUT_KEY, INPUT_LEFT, INPUT_MIDDLE, INPUT_RIGHT, INPUT_WHEEL, INPUT_WHEEL_SIDEWAYS };
enum GesturePhase : uint8_t { GESTURE_PRESS, GESTURE_MOVE, GESTURE_RELEASE, GESTURE_TURN };
struct GestureEvent {
    GesturePhase phase = GESTURE_PRESS;
    GestureInput input = INPUT_LEFT;
    int x = 0, y = 0;
    int notches = 0;
};

struct GestureState;

struct CommandContext {
    TransportState *transport;
    ViewState *view;
    EditorState *editor;
    double seconds;              // the playhead
    double length;               // the music's length; negative when unknown
    double strip_length;         // the strip's length (> 0)
    const SyncTrack *const *tracks; // TIMELINE_TRACK_COUNT tracks as the frame reads them (entries may be null)
    const char *edit_refusal;    // why the source cannot be edited now, or null
    const std::vector<TimelineMark> *marks = nullptr; // the source's marks in row order, or null
    // The scene and text tables the picture draws from (the live library's);
    // null: the studio's own. The "scene" and "clear.a" values are checked
    // against them.
    const SceneLibraryTable *shown = nullptr;
    SDL_Keycode key = SDLK_UNKNOWN; // the key that ran the command
    FrameInputs frame;           // the window and clock as the frame read them
    GestureState *gesture = nullptr; // the mouse's drag (gestures.h); null where no mouse is
    GestureEvent event;          // the gesture that ran the command
    CommandOut out;
};

// ---- Helpers every room of commands shares ------------------------------------------

int editor_rows_per_line(const EditorState &e);
int32_t editor_cursor_row(const EditorState &e, double seconds);
// The selected block (rows and tracks), or false when none.
bool editor_block(const EditorState &e, KeyBlock *block);
// Marks a block from the anchor (track, line) to the end (track, line).
void select_block(EditorState *e, int anchor_track, int32_t anchor_row, int end_track, int32_t end_row);

// The tempo the editor's grid, steps and notation follow: the loaded
// source's.
const TimelineTempo &editor_tempo(const EditorState &e);

// The modifiers of SDL's modifier state as a command sees them (MOD_*).
uint8_t command_mods(uint16_t sdl_mods);

// Says a line on the HUD.
void say(CommandContext *c, const std::string &text, bool warn);

// Asks for a seek to a time (clamped to the music) or to a row (from 0).
void seek_seconds(CommandContext *c, double seconds);
void seek_row(CommandContext *c, int64_t row);

// The playhead's grid line (its first row) and the rows a line holds.
int32_t cursor_row(const CommandContext *c);
int rows_per_line(const CommandContext *c);

// Names as the HUD says them: a row at the source's tempo ("20:1", "row
// 13"), a value ("%.6g"), a count of keys ("1 key", "3 keys"), a track.
std::string row_name(const CommandContext *c, int32_t row);
std::string number_text(double v);
std::string keys_word(int n);
const char *track_name(const CommandContext *c, int t);
