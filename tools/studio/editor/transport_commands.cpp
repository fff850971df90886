// transport_commands.cpp - the commands that move the playhead (beats,
// bars, grid lines, scene changes, marks, keys, the loop) and those of the
// views and the rest (grid, curve view, strip zoom, pause, mute, HUD, help,
// snapshot, full screen, quit).
#include "studio/editor/transport_commands.h"

#include "state/state.h"
#include "sync/track.h"

// ---- Moving around ----------------------------------------------------------------------

static void step(CommandContext *c, int direction, bool bar)
{
    const TimelineTempo &tempo = editor_tempo(*c->editor);
    seek_seconds(c, grid_step(c->seconds, direction, tempo, bar ? tempo.beats_per_bar : 1, c->length));
}

void cmd_beat_back(CommandContext *c) { step(c, -1, false); }
void cmd_beat_on(CommandContext *c) { step(c, 1, false); }
void cmd_bar_back(CommandContext *c) { step(c, -1, true); }
void cmd_bar_on(CommandContext *c) { step(c, 1, true); }

void cmd_line_up(CommandContext *c) { seek_row(c, static_cast<int64_t>(cursor_row(c)) - rows_per_line(c)); }
void cmd_line_down(CommandContext *c) { seek_row(c, static_cast<int64_t>(cursor_row(c)) + rows_per_line(c)); }


static void scene_step(CommandContext *c, int direction)
{
    const SyncTrack *scene = c->tracks ? c->tracks[TRACK_SCENE] : nullptr;
    if (scene)
        seek_seconds(c, scene_change_step(c->seconds, direction, scene, c->length));
}

void cmd_scene_back(CommandContext *c) { scene_step(c, -1); }
void cmd_scene_on(CommandContext *c) { scene_step(c, 1); }
static void mark_jump(CommandContext *c, int direction)
{
    if (!c->marks || c->marks->empty()) {
        say(c, "no marks in the source (a line \"mark NAME BAR:BEAT\" adds one)", false);
        return;
    }
    const TimelineMark *m = nullptr;
    if (!mark_step(c->seconds, direction, *c->marks, &m)) {
        say(c, direction > 0 ? "no later mark" : "no earlier mark", false);
        return;
    }
    seek_row(c, m->row);
    say(c, "mark " + m->name + " at " + row_name(c, m->row), false);
}

void cmd_mark_back(CommandContext *c) { mark_jump(c, -1); }
void cmd_mark_on(CommandContext *c) { mark_jump(c, 1); }
void cmd_home(CommandContext *c) { seek_seconds(c, 0.0); }
void cmd_end(CommandContext *c) { seek_seconds(c, c->length >= 0.0 ? c->length : c->strip_length); }
void cmd_loop(CommandContext *c) { press_loop(&c->transport->loop, c->seconds, editor_tempo(*c->editor)); }

static void track_step(CommandContext *c, int direction)
{
    EditorState *e = c->editor;
    // The timeline's tracks, then the declared ones the editor has sections
    // (or room for them) of.
    const int columns = static_cast<int>(e->model.keys.size());
    e->column = (e->column + direction + columns) % columns;
}

void cmd_track_back(CommandContext *c) { track_step(c, -1); }
void cmd_track_on(CommandContext *c) { track_step(c, 1); }

static void jump_key(CommandContext *c, int direction)
{
    const KeyList &keys = c->editor->model.keys[c->editor->column];
    const int32_t row = cursor_row(c);
    const int i = direction > 0 ? key_at_or_before(keys, row + rows_per_line(c) - 1) + 1
                                : key_at_or_before(keys, row - 1);
    if (i >= 0 && i < static_cast<int>(keys.size()))
        seek_row(c, keys[static_cast<size_t>(i)].row);
    else
        say(c, std::string("no ") + (direction > 0 ? "later" : "earlier") + " key of " + track_name(c, c->editor->column),
            false);
}

void cmd_key_back(CommandContext *c) { jump_key(c, -1); }
void cmd_key_on(CommandContext *c) { jump_key(c, 1); }

// ---- Views and the rest ----------------------------------------------------------------

void cmd_grid(CommandContext *c) { c->view->grid_on = !c->view->grid_on; }
void cmd_curve(CommandContext *c) { c->view->curve_on = !c->view->curve_on; }

void cmd_curve_range(CommandContext *c)
{
    c->view->curve_whole = !c->view->curve_whole;
    say(c, c->view->curve_whole ? "curve view: the whole track's values" : "curve view: the values in view", false);
}

void cmd_zoom(CommandContext *c) { c->editor->zoom = (c->editor->zoom + 1) % 4; }

static void strip_zoom(CommandContext *c, double factor)
{
    c->view->span = zoom_strip(c->view->span, factor, c->seconds, c->strip_length);
}

void cmd_strip_in(CommandContext *c) { strip_zoom(c, 0.5); }
void cmd_strip_out(CommandContext *c) { strip_zoom(c, 2.0); }
void cmd_pause(CommandContext *c) { c->out.toggle_pause = true; }
void cmd_half_speed(CommandContext *c) { c->out.toggle_half_speed = true; }

void cmd_mute(CommandContext *c)
{
    c->transport->muted = !c->transport->muted;
    c->out.set_muted = true;
}

void cmd_hud(CommandContext *c) { c->view->hud_on = !c->view->hud_on; }
void cmd_help(CommandContext *c) { c->view->help_on = !c->view->help_on; }
void cmd_snapshot(CommandContext *c) { c->view->snapshot_asked = true; }
void cmd_fullscreen(CommandContext *c) { c->out.toggle_fullscreen = true; }

void cmd_escape(CommandContext *c)
{
    if (c->editor->block_on) {
        c->editor->block_on = false;
        say(c, "block cleared", false);
        return;
    }
    c->out.quit = true;
}
