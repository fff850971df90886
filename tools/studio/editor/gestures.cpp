// gestures.cpp - the mouse's commands on the strip, the grid and the curve
// view, from a press through its drag to the release.
#include "studio/editor/gestures.h"

#include <cmath>
#include <string>

#include "studio/editor/edit_steps.h"
#include "studio/transport.h"

static SDL_Rect strip_of(const CommandContext *c)
{
    return strip_rect(c->frame.w, c->frame.h);
}

static SDL_Rect curve_of(const CommandContext *c)
{
    return curve_rect_in(c->frame.w, c->frame.h);
}

// The grid cell under a point with the grid's middle line at `cursor`
// (track, line row; row -1 over the heads).
static bool grid_cell(const CommandContext *c, int32_t cursor, int x, int y, int *track, int32_t *row)
{
    const SDL_Rect grid = grid_rect_in(c->frame.w, c->frame.h, c->view->grid_top, c->view->curve_on);
    return grid_cell_at(grid, c->frame.line_h, c->view->grid_columns, cursor, rows_per_line(c), x, y, track, row) &&
           *track < static_cast<int>(c->editor->model.keys.size()); // a declared track's once the editor has it
}

bool on_surface(const CommandContext *c, GestureSurface surface, int x, int y)
{
    const SDL_Point p = {x, y};
    const ViewState &v = *c->view;
    int track = 0;
    int32_t row = 0;
    switch (surface) {
    case ON_ANYWHERE: return true;
    case ON_STRIP: {
        const SDL_Rect r = strip_of(c);
        return v.hud_on && SDL_PointInRect(&p, &r);
    }
    case ON_GRID:
        return v.hud_on && v.grid_on && !c->editor->typing && grid_cell(c, cursor_row(c), x, y, &track, &row);
    case ON_CURVE: {
        const SDL_Rect r = curve_of(c);
        return v.hud_on && v.curve_on && SDL_PointInRect(&p, &r);
    }
    }
    return false;
}

bool gesture_holds_strip(const GestureState &g)
{
    return g.drag == HOLD_SEEK || g.drag == HOLD_PAN || g.drag == HOLD_LOOP;
}

void drop_key_drag(GestureState *g)
{
    if (g->drag == HOLD_KEY)
        *g = GestureState{};
}

void curve_range_now(const EditorState &e, const ViewState &v, const GestureState &g, float *lo, float *hi)
{
    const KeyList &keys = g.drag == HOLD_KEY ? g.before : e.model.keys[e.column];
    curve_value_range_in(keys, v.span.from * STUDIO_ROWS_PER_SECOND, v.span.to * STUDIO_ROWS_PER_SECOND, v.curve_whole,
                         lo, hi);
}

// ---- The strip -------------------------------------------------------------------

void gesture_seek(CommandContext *c)
{
    GestureState *g = c->gesture;
    if (c->event.phase == GESTURE_RELEASE)
        return;
    if (c->event.phase == GESTURE_PRESS) {
        g->drag = HOLD_SEEK;
        g->snaps = (command_mods(c->frame.mods) & MOD_SHIFT) == 0;
    }
    // One seek a frame however many moves it holds.
    const double t = strip_time_in(strip_of(c), c->event.x, c->view->span);
    c->transport->seek_pending = true;
    c->transport->seek_to = g->snaps ? snap_to_beat(t, editor_tempo(*c->editor)) : t;
}

void gesture_pan(CommandContext *c)
{
    GestureState *g = c->gesture;
    if (c->event.phase == GESTURE_PRESS) {
        g->drag = HOLD_PAN;
        g->x0 = c->event.x;
        g->pan_from = c->view->span;
    } else if (c->event.phase == GESTURE_MOVE) {
        const double per_pixel = (g->pan_from.to - g->pan_from.from) / strip_of(c).w;
        c->view->span = pan_strip(g->pan_from, (g->x0 - c->event.x) * per_pixel, c->strip_length);
    }
}

// A tenth of the view a notch.
void gesture_wheel_pan(CommandContext *c)
{
    const StripSpan span = c->view->span;
    c->view->span = pan_strip(span, (c->event.notches > 0 ? -0.1 : 0.1) * (span.to - span.from), c->strip_length);
}

void gesture_loop(CommandContext *c)
{
    GestureState *g = c->gesture;
    const TimelineTempo &tempo = editor_tempo(*c->editor);
    if (c->event.phase == GESTURE_PRESS) {
        g->drag = HOLD_LOOP;
        g->loop_from = strip_time_in(strip_of(c), c->event.x, c->view->span);
        c->transport->loop = loop_between(g->loop_from, g->loop_from, tempo);
    } else if (c->event.phase == GESTURE_MOVE) {
        c->transport->loop = loop_between(g->loop_from, strip_time_in(strip_of(c), c->event.x, c->view->span), tempo);
    }
}

// Around the time under the pointer on the strip, else the playhead.
void gesture_zoom(CommandContext *c)
{
    const SDL_Rect strip = strip_of(c);
    const SDL_Point p = {c->event.x, c->event.y};
    const double around = SDL_PointInRect(&p, &strip) ? strip_time_in(strip, c->event.x, c->view->span) : c->seconds;
    c->view->span = zoom_strip(c->view->span, c->event.notches > 0 ? 0.5 : 2.0, around, c->strip_length);
}

// ---- The grid ----------------------------------------------------------------------

// A click selects the track, and on a line its row; a drag from there draws
// a block. The grid scrolls with the playhead, which stays on the press's
// line while the block is drawn (the press's seek).
void gesture_grid(CommandContext *c)
{
    EditorState *e = c->editor;
    int track = 0;
    int32_t row = 0;
    if (c->event.phase == GESTURE_PRESS) {
        if (!grid_cell(c, cursor_row(c), c->event.x, c->event.y, &track, &row))
            return;
        e->column = track;
        e->block_on = false;
        if (row < 0)
            return;
        c->gesture->drag = HOLD_BLOCK;
        e->anchor_track = e->end_track = track;
        e->anchor_row = e->end_row = row;
        c->transport->seek_pending = true;
        c->transport->seek_to = row / STUDIO_ROWS_PER_SECOND;
    } else if (c->event.phase == GESTURE_MOVE) {
        if (grid_cell(c, e->anchor_row, c->event.x, c->event.y, &track, &row) && row >= 0 &&
            (row != e->end_row || track != e->end_track) &&
            std::max(track, e->anchor_track) < TIMELINE_TRACK_COUNT) // blocks: the timeline's own tracks
            select_block(e, e->anchor_track, e->anchor_row, track, row);
    }
}

// ---- The curve view ------------------------------------------------------------------

// The keys with the held key where it is now, or false when it would land
// on another key.
static bool dragged_keys(const GestureState &g, KeyList *keys)
{
    *keys = g.before;
    remove_key(keys, g.from.row);
    return insert_key(keys, g.now);
}

// A press on a key holds it; a press on the view itself does nothing else.
static void press_key(CommandContext *c)
{
    GestureState *g = c->gesture;
    const EditorState &e = *c->editor;
    const SDL_Rect r = curve_of(c);
    const int x = c->event.x, y = c->event.y;
    float lo = 0, hi = 1;
    curve_range_now(e, *c->view, *g, &lo, &hi);
    for (const SyncKey &k : e.model.keys[e.column]) {
        const float kx = strip_x_in(r, k.row / STUDIO_ROWS_PER_SECOND, c->view->span);
        const float ky = r.y + r.h - (k.value - lo) / (hi - lo) * r.h;
        if (std::fabs(kx - x) > 6 || std::fabs(ky - y) > 6)
            continue;
        if (c->edit_refusal) {
            say(c, c->edit_refusal, true);
            return;
        }
        g->drag = HOLD_KEY;
        g->before = e.model.keys[e.column];
        g->from = g->now = k;
        g->x0 = x;
        g->y0 = y;
        g->axis = DRAG_UNDECIDED;
        return;
    }
}

// The key follows the pointer along the drag's axis, shown while held.
static void move_key_held(CommandContext *c)
{
    GestureState *g = c->gesture;
    const uint8_t mods = command_mods(c->frame.mods);
    const SDL_Rect r = curve_of(c);
    float lo = 0, hi = 1;
    curve_range_now(*c->editor, *c->view, *g, &lo, &hi);
    g->axis = choose_drag_axis(g->axis, c->event.x - g->x0, c->event.y - g->y0, (mods & MOD_CTRL) != 0);
    g->now = g->from;
    if (g->axis == DRAG_TIME || g->axis == DRAG_FREE) {
        double t = strip_time_in(r, c->event.x, c->view->span);
        if ((mods & MOD_SHIFT) == 0)
            t = snap_to_beat(t, editor_tempo(*c->editor));
        const double row = std::round(t * STUDIO_ROWS_PER_SECOND);
        g->now.row = row > 0.0 ? static_cast<int32_t>(row) : 0;
    }
    if (g->axis == DRAG_VALUE || g->axis == DRAG_FREE) {
        // The value moves by the pointer's travel, so a press beside the
        // dot's centre does not make it jump.
        const double dv = (hi - lo) * static_cast<double>(g->y0 - c->event.y) / r.h;
        g->now.value = round_to_range(g->from.value + dv, lo, hi);
    }
    KeyList keys;
    if (dragged_keys(*g, &keys)) {
        c->out.preview_track = c->editor->column;
        c->out.preview = std::move(keys);
    }
}

// The release makes the drag one undo step; the track shows the editor's
// keys again either way.
static void release_key(CommandContext *c)
{
    const GestureState &g = *c->gesture;
    const EditorState &e = *c->editor;
    const int t = e.column;
    c->out.restore_track = t;
    if (g.now.row == g.from.row && g.now.value == g.from.value)
        return; // a click on a key moves nothing
    KeyList keys;
    if (!dragged_keys(g, &keys))
        say(c, "refused: another key sits on row " + std::to_string(g.now.row), true);
    else
        edit_keys(c, {{t, keys}},
                  std::string("drag ") + track_name(c, t) + " " + row_name(c, g.from.row) + " to " + row_name(c, g.now.row));
}

void gesture_key(CommandContext *c)
{
    if (c->event.phase == GESTURE_PRESS)
        press_key(c);
    else if (c->event.phase == GESTURE_MOVE)
        move_key_held(c);
    else if (c->event.phase == GESTURE_RELEASE)
        release_key(c);
}
