// key_commands.cpp - the edit commands on the selected track's key on the
// playhead's line (or, with a block selected, on the block: block_commands.h):
// insert, nudge, curve kind, delete, move.
#include "studio/editor/key_commands.h"

#include <algorithm>
#include <cstdlib>

#include "state/state.h"
#include "studio/editor/block_commands.h"
#include "studio/editor/edit_steps.h"
#include "studio/editor/play_keys.h"
#include "sync/track.h"

// ---- The key on the line ---------------------------------------------------------

static int32_t kind_before(const KeyList &keys, int32_t row)
{
    const int i = key_at_or_before(keys, row);
    return i >= 0 ? keys[i].kind : INTERP_HOLD;
}

int key_here(const CommandContext *c)
{
    return key_on_line_of(c->editor->model.keys[c->editor->column], cursor_row(c), rows_per_line(c));
}

// The key on the playhead's line, or -1 after saying there is none.
int key_here_or_say(CommandContext *c)
{
    const int i = key_here(c);
    if (i < 0)
        say(c, std::string("no key of ") + track_name(c, c->editor->column) + " on this line", false);
    return i;
}

double value_between_keys(const CommandContext *c, int track, int32_t row)
{
    const SyncTrack *t = track < TIMELINE_TRACK_COUNT ? (c->tracks ? c->tracks[track] : nullptr)
                                                      : playing_track(c->editor->model, track);
    return t ? track_value_at(t, row) : 0.0;
}

void set_value_here(CommandContext *c, float value, const std::string &verb)
{
    const int t = c->editor->column;
    const KeyList &keys = c->editor->model.keys[t];
    const int i = key_here(c);
    SyncKey key = i >= 0 ? keys[static_cast<size_t>(i)] : SyncKey{cursor_row(c), 0.0f, kind_before(keys, cursor_row(c))};
    key.value = value;
    edit_rows(c, KeyRange{t, key.row, key.row + 1, {key}},
              verb + " " + track_name(c, t) + " at " + row_name(c, key.row) + " to " + number_text(value));
}

void cmd_insert(CommandContext *c)
{
    const int t = c->editor->column;
    const int32_t row = cursor_row(c);
    if (key_here(c) >= 0) {
        say(c, std::string("a key of ") + track_name(c, t) + " is already on this line", false);
        return;
    }
    const float value = static_cast<float>(value_between_keys(c, t, row));
    const SyncKey key{row, value, kind_before(c->editor->model.keys[t], row)};
    edit_rows(c, KeyRange{t, row, row + 1, {key}}, std::string("insert ") + track_name(c, t) + " at " + row_name(c, row));
}

float nudge_step(int track, bool large)
{
    switch (track) {
    case TRACK_SCENE:
    case TRACK_CLEAR_A: return 1.0f;
    case TRACK_CLEAR_R:
    case TRACK_CLEAR_G:
    case TRACK_CLEAR_B: return large ? 16.0f : 1.0f;
    case TRACK_CAM_ROT: return large ? 0.5f : 0.05f;
    case TRACK_CAM_DIST: return large ? 50.0f : 5.0f;
    case TRACK_CAM_HORI: return large ? 5.0f : 1.0f;
    default: return large ? 10.0f : 1.0f;
    }
}

// ---- Edit commands: the key on the line, or the block ----------------------------------

static void nudge(CommandContext *c, int direction, bool large)
{
    if (nudge_block(c, direction, large))
        return;
    const int t = c->editor->column;
    const int i = key_here(c);
    const float base = i >= 0 ? c->editor->model.keys[t][i].value
                              : static_cast<float>(value_between_keys(c, t, cursor_row(c)));
    set_value_here(c, base + direction * nudge_step(t, large), "nudge");
}

void cmd_nudge_up(CommandContext *c) { nudge(c, 1, false); }
void cmd_nudge_down(CommandContext *c) { nudge(c, -1, false); }
void cmd_nudge_up_large(CommandContext *c) { nudge(c, 1, true); }
void cmd_nudge_down_large(CommandContext *c) { nudge(c, -1, true); }

void cmd_kind(CommandContext *c)
{
    if (kind_block(c))
        return;
    const int t = c->editor->column;
    const int i = key_here_or_say(c);
    if (i < 0)
        return;
    SyncKey key = c->editor->model.keys[t][static_cast<size_t>(i)];
    key.kind = (key.kind + 1) & 3;
    edit_rows(c, KeyRange{t, key.row, key.row + 1, {key}},
              std::string("curve ") + interp_kind_name(key.kind) + " for " + track_name(c, t) + " at " + row_name(c, key.row));
}

void cmd_delete(CommandContext *c)
{
    if (delete_block(c))
        return;
    const int t = c->editor->column;
    const int i = key_here_or_say(c);
    if (i < 0)
        return;
    const int32_t row = c->editor->model.keys[t][static_cast<size_t>(i)].row;
    edit_rows(c, KeyRange{t, row, row + 1, {}}, std::string("delete ") + track_name(c, t) + " at " + row_name(c, row));
}

static void move(CommandContext *c, int32_t delta)
{
    if (move_block(c, delta))
        return;
    EditorState *e = c->editor;
    const int t = e->column;
    const int i = key_here_or_say(c);
    if (i < 0)
        return;
    const int32_t from = e->model.keys[t][static_cast<size_t>(i)].row;
    // One range from the key to its new row, the keys between staying: a
    // key that passes no other keeps its line (and comment) in the source.
    std::string why;
    if (static_cast<int64_t>(from) + delta >= INT32_MAX) {
        say(c, "refused: past the last row", true);
        return;
    }
    KeyRange r{t, std::min(from, from + delta), std::max(from, from + delta) + 1, {}};
    r.keys = keys_in(*e, t, r.from, r.to);
    if (!move_key(&r.keys, from, from + delta, &why)) {
        say(c, "refused: " + why, true);
        return;
    }
    if (edit_rows(c, r, std::string("move ") + track_name(c, t) + " " + row_name(c, from) + " to " + row_name(c, from + delta)))
        seek_row(c, static_cast<int64_t>(from) + delta); // the cursor goes with the key
}

void cmd_move_up(CommandContext *c) { move(c, -1); }
void cmd_move_down(CommandContext *c) { move(c, 1); }

// A beat from the key on the line (or the block's first line): to the beat
// before or after the one it is in, so at a tempo whose beat is not a whole
// number of rows a key on a beat lands on a beat.
static void move_beat(CommandContext *c, int direction)
{
    const TimelineTempo &tempo = editor_tempo(*c->editor);
    KeyBlock b;
    int32_t from = cursor_row(c);
    if (editor_block(*c->editor, &b)) {
        from = b.row0;
    } else {
        const int i = key_here(c);
        if (i >= 0)
            from = c->editor->model.keys[c->editor->column][static_cast<size_t>(i)].row;
    }
    const int64_t beat = tempo_beat_at(tempo, from);
    const int32_t on = tempo_beat_row(tempo, beat);
    const int64_t delta = direction > 0 ? static_cast<int64_t>(tempo_beat_row(tempo, beat + 1)) - on
                          : on == from   ? static_cast<int64_t>(on) - tempo_beat_row(tempo, beat - 1)
                                         : static_cast<int64_t>(tempo_beat_row(tempo, beat + 1)) - on;
    move(c, static_cast<int32_t>(direction * delta));
}

void cmd_move_up_beat(CommandContext *c) { move_beat(c, -1); }
void cmd_move_down_beat(CommandContext *c) { move_beat(c, 1); }
