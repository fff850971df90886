// edit.cpp - the frame's side of the key editor's commands: whether the
// source may be edited, a save request for every edit (studio/files/save.h
// writes the source; an edit it refuses at once is taken back) with the
// edited keys played (studio/editor/play_keys.h), and the curve view's drag
// with the mouse.
#include "studio/studio.h"

#include <cmath>
#include <cstring>

#include "state/state.h"
#include "studio/editor/play_keys.h"
#include "studio/files/save.h"
#include "studio/view/grid_layout.h"

constexpr uint64_t MESSAGE_MS = 4000;

void show_message(Studio *s, const std::string &text, bool warn)
{
    s->editor.message = text;
    s->editor.message_warn = warn;
    s->editor.message_until_ms = SDL_GetTicks64() + MESSAGE_MS;
}

const char *edit_refusal(const Studio &s)
{
    if (!s.live)
        return "no timeline source: start the studio with TIMELINE to edit keys";
    if (!s.watch.errors.empty())
        return "editing is off while the source does not parse (see the box)";
    if (s.watch.unreadable)
        return "editing is off while the file cannot be read";
    if (timeline_changed_outside(s.watch))
        return "the file changed on disk: taking that version first";
    if (!s.editor.model.loaded)
        return "no source loaded";
    return nullptr;
}

// A context for an edit made outside a key press (the curve view's drag).
static CommandContext edit_context(Studio *s)
{
    CommandContext c{};
    c.transport = &s->transport;
    c.view = &s->view;
    c.editor = &s->editor;
    c.length = c.strip_length = 1.0;
    c.tracks = Tracks;
    c.edit_refusal = edit_refusal(*s);
    return c;
}

// Puts the tracks the frame reads back to the editor's keys (after a drag
// shown live, or a refused save).
static void show_editor_keys(Studio *s)
{
    play_version(editor_version(s->editor.model));
}

bool finish_command(Studio *s, const CommandOut &out)
{
    EditorState *e = &s->editor;
    if (out.poll_now)
        s->next_poll_ms = 0;
    if (out.save != SOURCE_UNCHANGED) {
        std::string why;
        if (!request_source_save(&s->saver, &s->watch, e->model, &why)) {
            // Refused at once (a failure of the save itself is said when
            // it comes): the model goes back to where it was before.
            std::vector<int> tracks;
            if (out.save == SOURCE_EDITED) {
                undo_key_edit(&e->model, &tracks);
                e->model.redo.clear();
                if (!e->undo_names.empty())
                    e->undo_names.pop_back();
                e->redo_names.clear();
            } else {
                // The step goes back to the stack it came from, with its name.
                const bool was_undo = out.save == SOURCE_UNDONE;
                was_undo ? redo_key_edit(&e->model, &tracks) : undo_key_edit(&e->model, &tracks);
                std::vector<std::string> &from = was_undo ? e->redo_names : e->undo_names;
                std::vector<std::string> &to = was_undo ? e->undo_names : e->redo_names;
                if (!from.empty()) {
                    to.push_back(from.back());
                    from.pop_back();
                }
            }
            show_message(s, "not saved: " + why, true);
            return false;
        }
        show_editor_keys(s); // the edit plays from the next frame
    }
    if (out.said)
        show_message(s, e->message, e->message_warn);
    return true;
}

bool commit_edit(Studio *s, const std::vector<std::pair<int, KeyList>> &changes, const std::string &name)
{
    CommandContext c = edit_context(s);
    const bool done = edit_keys(&c, changes, name);
    return finish_command(s, c.out) && done;
}

// ---- The curve view's drag -------------------------------------------------------

static void output_size(int *w, int *h)
{
    *w = *h = 0;
    SDL_GetRendererOutputSize(renderer, w, h);
}

void curve_range_now(const Studio &s, float *lo, float *hi)
{
    const EditorState &e = s.editor;
    const KeyList &keys = e.key_drag ? e.drag_before : e.model.keys[e.column];
    curve_value_range_in(keys, s.view.span.from * STUDIO_ROWS_PER_SECOND, s.view.span.to * STUDIO_ROWS_PER_SECOND,
                         s.view.curve_whole, lo, hi);
}

bool curve_press(Studio *s, int x, int y)
{
    if (!s->view.curve_on || !s->view.hud_on)
        return false;
    int w = 0, h = 0;
    output_size(&w, &h);
    const SDL_Rect r = curve_rect_in(w, h);
    const SDL_Point p = {x, y};
    if (!SDL_PointInRect(&p, &r))
        return false;
    EditorState *e = &s->editor;
    const KeyList &keys = e->model.keys[e->column];
    float lo = 0, hi = 1;
    curve_range_now(*s, &lo, &hi);
    for (const SyncKey &k : keys) {
        const float kx = strip_x_in(r, k.row / STUDIO_ROWS_PER_SECOND, s->view.span);
        const float ky = r.y + r.h - (k.value - lo) / (hi - lo) * r.h;
        if (std::fabs(kx - x) <= 6 && std::fabs(ky - y) <= 6) {
            if (const char *why = edit_refusal(*s)) {
                show_message(s, why, true);
                return true;
            }
            e->key_drag = true;
            e->drag_before = keys;
            e->drag_from = k;
            e->drag_now = k;
            e->drag_x0 = x;
            e->drag_y0 = y;
            e->drag_axis = DRAG_UNDECIDED;
            return true;
        }
    }
    return true; // a press on the view itself does nothing else
}

// The keys with the dragged key where it is now, or false when it would
// land on another key.
static bool dragged_keys(const EditorState &e, KeyList *keys)
{
    *keys = e.drag_before;
    remove_key(keys, e.drag_from.row);
    return insert_key(keys, e.drag_now);
}

void curve_motion(Studio *s, int x, int y, bool snap, bool free)
{
    EditorState *e = &s->editor;
    if (!e->key_drag)
        return;
    int w = 0, h = 0;
    output_size(&w, &h);
    const SDL_Rect r = curve_rect_in(w, h);
    float lo = 0, hi = 1;
    curve_range_now(*s, &lo, &hi);
    e->drag_axis = choose_drag_axis(e->drag_axis, x - e->drag_x0, y - e->drag_y0, free);
    e->drag_now = e->drag_from;
    if (e->drag_axis == DRAG_TIME || e->drag_axis == DRAG_FREE) {
        double t = strip_time_in(r, x, s->view.span);
        if (snap)
            t = snap_to_beat(t, editor_tempo(*e));
        const double row = std::round(t * STUDIO_ROWS_PER_SECOND);
        e->drag_now.row = row > 0.0 ? static_cast<int32_t>(row) : 0;
    }
    if (e->drag_axis == DRAG_VALUE || e->drag_axis == DRAG_FREE) {
        // The value moves by the pointer's travel, so a press beside the
        // dot's centre does not make it jump.
        const double dv = (hi - lo) * static_cast<double>(e->drag_y0 - y) / r.h;
        e->drag_now.value = round_to_range(e->drag_from.value + dv, lo, hi);
    }
    KeyList keys;
    if (dragged_keys(*e, &keys)) // shown while held, saved on release
        play_version(track_version(e->column, keys));
}

void curve_release(Studio *s)
{
    EditorState *e = &s->editor;
    if (!e->key_drag)
        return;
    e->key_drag = false;
    KeyList keys;
    const int t = e->column;
    if (e->drag_now.row == e->drag_from.row && e->drag_now.value == e->drag_from.value) {
        show_editor_keys(s);
        return; // a click on a key moves nothing
    }
    if (!dragged_keys(*e, &keys))
        show_message(s, "refused: another key sits on row " + std::to_string(e->drag_now.row), true);
    else if (commit_edit(s, {{t, keys}},
                         std::string("drag ") + TimelineTrackNames[t] + " " + row_name(e->drag_from.row, editor_tempo(*e)) + " to " +
                             row_name(e->drag_now.row, editor_tempo(*e))))
        return;
    show_editor_keys(s);
}
