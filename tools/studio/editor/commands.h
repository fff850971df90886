// commands.h - the studio's commands: every key the studio answers, in one
// table of key, modifiers, command and help text. The dispatcher, the HUD's
// list of keys and the test against the manual's key table all read that
// table, so a new command is one line of it and one small function.
//
// A command is a plain function of the studio's state (transport, view,
// editor, below), the playhead and the view's size, handed in a
// CommandContext. It changes that state and says what the frame has to do
// with the world (seek, save the source, pause, mute, quit) in
// CommandContext::out; it never reads the music, the renderer or a file.
//
// Edit commands act on the selected track at the playhead's grid line, in
// every view, or on the block of rows x tracks when one is selected. Each
// edit is one undo step with a name ("insert scene at 20:1"), shown on the
// HUD, and again by undo and redo ("undo: insert scene at 20:1"), which
// also select the key they changed. A key moved or pasted onto another is
// refused; Ctrl+Shift+V pastes replacing what is in the pasted rows.
#pragma once

#include <SDL.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "studio/view/grid_layout.h"
#include "studio/editor/key_edit.h"
#include "studio/view/strip.h"
#include "studio/transport.h"

struct SyncTrack;

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
    StripSpan span{0.0, 1.0};    // what the strip shows
    bool span_set = false;
    bool strip_drag = false;     // the strip is held with the left button
    bool drag_snaps = true;      // that drag lands on beats (no Shift at the press)
    bool pan_drag = false;       // the strip is held with the middle button
    int pan_x = 0;               // where that drag started
    StripSpan pan_span{0.0, 1.0};
    bool loop_drag = false;      // the strip is held with the right button: a loop is drawn
    double loop_from = 0.0;      // where that drag started (seconds)
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
    int column = 0;              // selected track, index in TimelineTrackNames
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
    // A key held in the curve view: the keys before, the key's row and place
    // then, where it is now and the axis the drag took.
    bool key_drag = false;
    KeyList drag_before;
    SyncKey drag_from{};
    SyncKey drag_now{};
    int drag_x0 = 0, drag_y0 = 0;
    DragAxis drag_axis = DRAG_UNDECIDED;
    // A block being drawn with the mouse on the grid.
    bool grid_drag = false;
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
};

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
    SDL_Keycode key = SDLK_UNKNOWN; // the key that ran the command
    CommandOut out;
};

// ---- The table ------------------------------------------------------------------

// Modifier sets a command wants: exactly these of Shift, Ctrl and Alt, or
// any Shift with MOD_SHIFT_ANY.
enum : uint8_t { MOD_NONE = 0, MOD_SHIFT = 1, MOD_CTRL = 2, MOD_ALT = 4, MOD_SHIFT_ANY = 8 };

struct StudioCommand {
    SDL_Keycode key;             // SDLK_UNKNOWN: a mouse action, help only
    uint8_t mods;
    void (*run)(CommandContext *c);
    bool repeats;                // a held key repeats it
    const char *keys;            // a help row: its keys and action; null: the
    const char *help;            //   row of the entry before
};

extern const StudioCommand STUDIO_COMMANDS[];
extern const size_t STUDIO_COMMAND_COUNT;

// The help rows (keys, action) in table order, as docs/studio.md lists them.
std::vector<std::pair<std::string, std::string>> command_help_rows();

// The help rows as lines of at most `width` characters for the HUD.
std::vector<std::string> command_help_lines(size_t width);

// Runs the command of a key press (SDL keycode and SDL modifier state).
// While a value, factor or place is typed every key goes to the typing
// (keys that do not edit it are ignored) and no command runs. False when no
// command takes the key.
bool press_command_key(CommandContext *c, SDL_Keycode key, uint16_t sdl_mods, bool repeat);

// ---- Helpers the frame and the views share ---------------------------------------------

int editor_rows_per_line(const EditorState &e);
int32_t editor_cursor_row(const EditorState &e, double seconds);
// The selected block (rows and tracks), or false when none.
bool editor_block(const EditorState &e, KeyBlock *block);

// Why the studio refuses a value on a track ("" when it takes it): a scene
// number outside the scene table, a caption line outside the text table.
std::string value_refusal(int track, float value);

// Replaces key lists as one named undo step ("" and false when refused or
// nothing changed, with the reason said); the frame saves it.
bool edit_keys(CommandContext *c, const std::vector<std::pair<int, KeyList>> &changes, const std::string &name);

// Says a line on the HUD.
void say(CommandContext *c, const std::string &text, bool warn);

// The tempo the editor's grid, steps and notation follow: the loaded
// source's.
const TimelineTempo &editor_tempo(const EditorState &e);

// A place typed after Ctrl+G: "BAR:BEAT" at `tempo` (beats counted from 0
// within the bar), a plain row ("384"), or seconds with a decimal point
// ("62.096", or "1:02.096" as minutes and seconds). *seconds gets the time;
// false with the reason in *why.
bool parse_place(const std::string &text, const TimelineTempo &tempo, double *seconds, std::string *why);

// Marks a block from the anchor (track, line) to the end (track, line).
void select_block(EditorState *e, int anchor_track, int32_t anchor_row, int end_track, int32_t end_row);
