// gestures.h - the mouse as commands: a press, the moves while its button
// is held and the release, or a turn of the wheel, at output pixels, on the
// timeline strip, the key grid and the curve view. Each gesture is a row of
// the command table (commands.h) with its button, the surface it is on and
// its command; a press runs the first row that takes it, and a command that
// starts a drag gets that drag's moves and its release. One drag at a time:
// while one is held, presses of the other buttons are ignored.
//
//   strip, left: seek, snapped to the beat (Shift at the press: not snapped)
//   strip, middle drag; Shift+wheel; the sideways wheel: pan the strip
//   strip, right drag: a loop between the beats nearest to its ends
//   the wheel: zoom the strip around the pointer (off the strip: the playhead)
//   grid, left: select the track (on a line: go to its row); a drag: a block
//   curve view, left on a key: drag it along the axis its first pixels
//     chose (Ctrl: both; Shift: not snapped), one undo step on release
#pragma once

#include <cstdint>

#include "studio/editor/command_context.h"

enum GestureDrag : uint8_t { HOLD_NONE, HOLD_SEEK, HOLD_PAN, HOLD_LOOP, HOLD_BLOCK, HOLD_KEY };

struct GestureState {
    GestureDrag drag = HOLD_NONE;
    GestureInput button = INPUT_LEFT;        // the button that holds it
    void (*run)(CommandContext *) = nullptr; // the command that takes its moves and release
    int x0 = 0, y0 = 0;                      // where the press was
    bool snaps = true;                       // a seek lands on beats
    StripSpan pan_from{0.0, 1.0};            // the strip's span at a pan's press
    double loop_from = 0.0;                  // where a loop's drag started (seconds)
    // A key held in the curve view: its track's keys at the press, the key
    // then and where it is now, the axis the drag took.
    KeyList before;
    SyncKey from{}, now{};
    DragAxis axis = DRAG_UNDECIDED;
};

// The surface a gesture row wants its press on.
enum GestureSurface : uint8_t { ON_ANYWHERE, ON_STRIP, ON_GRID, ON_CURVE };

// Whether output pixel (x, y) is on the surface as the view stands (the HUD
// shown; the grid shown and no prompt open; the curve view shown).
bool on_surface(const CommandContext *c, GestureSurface surface, int x, int y);

// Whether the strip is held (a seek, pan or loop drag).
bool gesture_holds_strip(const GestureState &g);

// Lets go of a key held in the curve view without an edit (a new version of
// the source came in); its release then does nothing.
void drop_key_drag(GestureState *g);

// The value range the curve view shows now: of the keys in view, or of the
// whole track; of the held key's track as it was at the press.
void curve_range_now(const EditorState &e, const ViewState &v, const GestureState &g, float *lo, float *hi);

// The commands of the gesture rows; each reads c->event.
void gesture_seek(CommandContext *c);
void gesture_pan(CommandContext *c);
void gesture_wheel_pan(CommandContext *c);
void gesture_loop(CommandContext *c);
void gesture_zoom(CommandContext *c);
void gesture_grid(CommandContext *c);
void gesture_key(CommandContext *c);
