// grid_layout.h - what the key grid, the curve view and the editing commands
// agree on, without drawing anything: the tempo, the grid's lines and the
// cursor on them, the key on a line, the block of rows x tracks, the
// rectangles of the grid and the curve view in a window, the curve view's
// value range and the axis a drag in it takes.
//
// Everything here is a function of plain values (key lists, rows, window
// sizes), so the commands and the drawing both call it and neither calls
// the other.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>

#include "studio/editor/key_edit.h"
#include "studio/view/strip.h"
#include "timeline/timeline.h"

// ---- Tempo -------------------------------------------------------------------

// Every grid, snap and BAR:BEAT of the editor follows the tempo of the
// source (key_editor_tempo; the default without a tempo line).

// "BAR:BEAT" of the beat a row falls in (rows before 0 count as 0).
std::string bar_beat(int32_t row, const TimelineTempo &tempo);

// "BAR:BEAT" of a row on a beat, else "row N".
std::string row_name(int32_t row, const TimelineTempo &tempo);

// Whether the grid line of rows [row, row + rows_per_line) holds a beat, a
// bar's first beat; the beat's row in *beat_row.
bool line_beat(const TimelineTempo &tempo, int32_t row, int rows_per_line, bool *on_bar, int32_t *beat_row);

// ---- Lines, cursor, keys ------------------------------------------------------

// Grid rows a line at zoom level 0..3: 1, 2, 4, 8.
int grid_rows_at(int zoom);

// The grid line a music time is on, as its first row (never below 0).
// Rows from seconds carry rounding noise, so 19.6 s (391.99999999999994
// rows) is on row 392.
int32_t cursor_row_at(double seconds, int rows_per_line);

// The key of `keys` on the line of rows [row, row + rows_per_line), or -1.
int key_on_line_of(const KeyList &keys, int32_t row, int rows_per_line);

// A rectangle of the grid: rows [row0, row1) of tracks [track0, track1].
struct KeyBlock {
    int32_t row0 = 0, row1 = 0;
    int track0 = 0, track1 = 0;
};

// The block spanned by two grid lines (each rows_per_line rows, in either
// order) and two tracks (in either order).
KeyBlock block_between(int32_t line_a, int32_t line_b, int track_a, int track_b, int rows_per_line);

// ---- Where things sit in the window --------------------------------------------

// The curve view, above the strip, and the grid from `grid_top` down to the
// curve view (or the strip), in a w x h window.
SDL_Rect curve_rect_in(int w, int h);
SDL_Rect grid_rect_in(int w, int h, int grid_top, bool curve_on);

// The grid's columns start after the row labels; its lines are `line_h`
// pixels high, the first under the column heads.
constexpr float GRID_LABEL_W = 64.0f;
int grid_line_count(const SDL_Rect &grid, float line_h);

// The track and line under a point of the grid with the cursor's line in
// the middle; false outside it. *row is -1 over the column heads.
bool grid_cell_at(const SDL_Rect &grid, float line_h, int track_count, int32_t cursor, int rows_per_line,
                  int x, int y, int *track, int32_t *row);

// ---- The curve view ------------------------------------------------------------

// The value range the curve view shows: the keys within rows [from, to]
// and the value the track holds at both ends (all keys with `whole`), with
// a tenth of margin each side; at least one unit high.
void curve_value_range_in(const KeyList &keys, double from_row, double to_row, bool whole, float *lo, float *hi);

// A held key's drag goes along one axis, chosen once the pointer has moved
// CURVE_AXIS_PIXELS from the press: the one it moved further along (time on
// a tie). With Ctrl it goes both ways at once.
enum DragAxis { DRAG_UNDECIDED, DRAG_TIME, DRAG_VALUE, DRAG_FREE };
constexpr int CURVE_AXIS_PIXELS = 4;
DragAxis choose_drag_axis(DragAxis now, int dx, int dy, bool free);

// A value rounded to a step of about a hundredth of the range, so a dragged
// key is written as 412 or 0.35, not 412.34567.
float round_to_range(double value, float lo, float hi);
