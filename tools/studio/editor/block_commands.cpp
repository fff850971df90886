// block_commands.cpp - the block of rows x tracks: selecting it, the edit
// commands on its keys (each one undo step over all its tracks), copy and
// paste.
#include "studio/editor/block_commands.h"

#include <algorithm>
#include <cstdlib>

#include "studio/editor/block_edit.h"
#include "studio/editor/edit_steps.h"
#include "studio/editor/key_commands.h"

// ---- The block ------------------------------------------------------------------------

std::string block_name(const CommandContext *c, const KeyBlock &b)
{
    std::string tracks = track_name(c, b.track0);
    if (b.track1 > b.track0)
        tracks += ".." + std::string(track_name(c, b.track1));
    const int64_t rows = static_cast<int64_t>(b.row1) - b.row0;
    return tracks + " " + row_name(c, b.row0) + ", " + std::to_string(rows) + (rows == 1 ? " row" : " rows");
}

static int block_key_count(const CommandContext *c, const KeyBlock &b)
{
    int n = 0;
    for (int t = b.track0; t <= b.track1; t++)
        n += count_keys_in(c->editor->model.keys[t], b.row0, b.row1);
    return n;
}

// The block when one is selected and holds keys; says so when it holds none.
static bool block_with_keys(CommandContext *c, KeyBlock *b)
{
    if (!editor_block(*c->editor, b))
        return false;
    if (block_key_count(c, *b) == 0) {
        say(c, "no keys in the block " + block_name(c, *b), false);
        *b = KeyBlock{};
        b->row1 = -1; // marks "said"
    }
    return true;
}

// Runs `edit` over every track of the block and makes one undo step of it.
// `edit` sees only the keys in the block's rows, which must hold every row
// it changes (a move passes the rows it leaves and reaches), and only those
// rows are rewritten.
template <typename Edit>
static void edit_block(CommandContext *c, const KeyBlock &b, const std::string &name, Edit edit)
{
    std::vector<KeyRange> ranges;
    for (int t = b.track0; t <= b.track1; t++) {
        KeyRange r{t, b.row0, b.row1, keys_in(*c->editor, t, b.row0, b.row1)};
        std::string why;
        if (!edit(t, &r.keys, &why)) {
            say(c, "refused: " + why + " (" + track_name(c, t) + ")", true);
            return;
        }
        ranges.push_back(std::move(r));
    }
    edit_ranges(c, ranges, name);
}

// ---- Edits of the block's keys --------------------------------------------------------

bool nudge_block(CommandContext *c, int direction, bool large)
{
    KeyBlock b;
    if (!block_with_keys(c, &b))
        return false;
    if (b.row1 < 0)
        return true;
    edit_block(c, b, "nudge " + keys_word(block_key_count(c, b)) + " in " + block_name(c, b),
               [&](int t, KeyList *keys, std::string *) {
                   offset_values_in(keys, b.row0, b.row1, direction * nudge_step(t, large));
                   return true;
               });
    return true;
}

bool kind_block(CommandContext *c)
{
    KeyBlock b;
    if (!block_with_keys(c, &b))
        return false;
    if (b.row1 < 0)
        return true;
    int32_t first = INTERP_HOLD;
    for (int t = b.track1; t >= b.track0; t--) {
        const KeyList &keys = c->editor->model.keys[t];
        for (const SyncKey &k : keys)
            if (k.row >= b.row0 && k.row < b.row1) {
                first = k.kind;
                break;
            }
    }
    const int32_t kind = (first + 1) & 3;
    edit_block(c, b, "curve " + std::string(interp_kind_name(kind)) + " for " + keys_word(block_key_count(c, b)),
               [&](int, KeyList *keys, std::string *) {
                   set_kind_in(keys, b.row0, b.row1, kind);
                   return true;
               });
    return true;
}

bool delete_block(CommandContext *c)
{
    KeyBlock b;
    if (!block_with_keys(c, &b))
        return false;
    if (b.row1 < 0)
        return true;
    edit_block(c, b, "delete " + keys_word(block_key_count(c, b)) + " in " + block_name(c, b),
               [&](int, KeyList *keys, std::string *) {
                   delete_keys_in(keys, b.row0, b.row1);
                   return true;
               });
    return true;
}

bool move_block(CommandContext *c, int32_t delta)
{
    KeyBlock b;
    EditorState *e = c->editor;
    if (!block_with_keys(c, &b))
        return false;
    if (b.row1 < 0)
        return true;
    if (static_cast<int64_t>(b.row0) + delta < 0) {
        say(c, "refused: the block would go before row 0", true);
        return true;
    }
    const char *how = std::abs(delta) == 1 ? " a row" : " a beat";
    const char *way = delta > 0 ? " later" : " earlier";
    const std::string name = "move " + keys_word(block_key_count(c, b)) + " in " + block_name(c, b) + how + way;
    KeyBlock reach = b; // the rows the keys leave and reach
    reach.row0 = static_cast<int32_t>(std::min<int64_t>(b.row0, static_cast<int64_t>(b.row0) + delta));
    reach.row1 = static_cast<int32_t>(
        std::min<int64_t>(std::max<int64_t>(b.row1, static_cast<int64_t>(b.row1) + delta), INT32_MAX));
    edit_block(c, reach, name, [&](int, KeyList *keys, std::string *why) {
        return move_keys_in(keys, b.row0, b.row1, delta, why);
    });
    if (c->out.save == SOURCE_EDITED) { // the block goes with its keys
        e->anchor_row += delta;
        e->end_row += delta;
        seek_row(c, static_cast<int64_t>(cursor_row(c)) + delta);
    }
    return true;
}

bool scale_block(CommandContext *c, float factor)
{
    KeyBlock b;
    if (!block_with_keys(c, &b))
        return false;
    if (b.row1 < 0)
        return true;
    edit_block(c, b, "scale " + keys_word(block_key_count(c, b)) + " in " + block_name(c, b) + " by " + number_text(factor),
               [&](int, KeyList *keys, std::string *) {
                   scale_values_in(keys, b.row0, b.row1, factor);
                   return true;
               });
    return true;
}

// ---- Copy and paste ----------------------------------------------------------------------

void cmd_copy(CommandContext *c)
{
    EditorState *e = c->editor;
    KeyBlock b;
    if (editor_block(*e, &b)) {
        e->clip_bars = false;
    } else {
        // The bars: the loop's when a loop is set, else the playhead's.
        b.track0 = 0;
        b.track1 = TIMELINE_TRACK_COUNT - 1;
        if (c->transport->loop.stage == 2) {
            b.row0 = c->transport->loop.start_row;
            b.row1 = c->transport->loop.end_row;
        } else {
            b.row0 = bar_start_row(editor_tempo(*e), cursor_row(c));
            b.row1 = next_bar_row(editor_tempo(*e), cursor_row(c));
        }
        e->clip_bars = true;
    }
    e->clip.clear();
    for (int t = b.track0; t <= b.track1; t++)
        e->clip.push_back(copy_keys(e->model.keys[t], b.row0, b.row1 - b.row0));
    e->clip_track0 = b.track0;
    e->clip_rows = b.row1 - b.row0;
    int n = 0;
    for (const KeyList &k : e->clip)
        n += static_cast<int>(k.size());
    say(c, "copied " + keys_word(n) + " of " + block_name(c, b), false);
}

static void paste(CommandContext *c, bool replace)
{
    EditorState *e = c->editor;
    if (e->clip_rows <= 0) {
        say(c, "nothing copied (Ctrl+C copies the block, or the bar)", false);
        return;
    }
    const int32_t at = e->clip_bars ? bar_start_row(editor_tempo(*e), cursor_row(c)) : cursor_row(c);
    KeyBlock b;
    b.row0 = at;
    b.row1 = static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(at) + e->clip_rows, INT32_MAX));
    b.track0 = e->clip_track0;
    b.track1 = e->clip_track0 + static_cast<int>(e->clip.size()) - 1;
    int n = 0;
    for (const KeyList &k : e->clip)
        n += static_cast<int>(k.size());
    edit_block(c, b, std::string(replace ? "paste over " : "paste ") + keys_word(n) + " at " + block_name(c, b),
               [&](int t, KeyList *keys, std::string *why) {
                   return paste_keys_at(keys, e->clip[static_cast<size_t>(t - b.track0)], at, e->clip_rows,
                                        replace, why);
               });
    if (c->out.save == SOURCE_EDITED && !e->clip_bars) // the pasted rows become the block
        select_block(e, b.track0, b.row0, b.track1, std::max(b.row0, b.row1 - rows_per_line(c)));
}

void cmd_paste(CommandContext *c) { paste(c, false); }
void cmd_paste_replace(CommandContext *c) { paste(c, true); }

// ---- Selecting a block with the keys --------------------------------------------------

// A block spans the timeline's own tracks only: a declared track's column
// takes single keys.
static bool begin_block(CommandContext *c)
{
    EditorState *e = c->editor;
    if (!e->block_on && e->column >= TIMELINE_TRACK_COUNT) {
        say(c, std::string("no block on a declared track (") + track_name(c, e->column) + "): keys one at a time", true);
        return false;
    }
    if (!e->block_on)
        select_block(e, e->column, cursor_row(c), e->column, cursor_row(c));
    return true;
}

static void extend_rows(CommandContext *c, int direction)
{
    if (!begin_block(c))
        return;
    EditorState *e = c->editor;
    const int64_t row = static_cast<int64_t>(e->end_row) + direction * rows_per_line(c);
    if (row < 0 || row > INT32_MAX - 64)
        return;
    e->end_row = static_cast<int32_t>(row);
    seek_row(c, row);
    KeyBlock b;
    editor_block(*e, &b);
    say(c, "block " + block_name(c, b), false);
}

static void extend_tracks(CommandContext *c, int direction)
{
    if (!begin_block(c))
        return;
    EditorState *e = c->editor;
    e->end_track = std::clamp(e->end_track + direction, 0, TIMELINE_TRACK_COUNT - 1);
    e->column = e->end_track;
    KeyBlock b;
    editor_block(*e, &b);
    say(c, "block " + block_name(c, b), false);
}

void cmd_extend_up(CommandContext *c) { extend_rows(c, -1); }
void cmd_extend_down(CommandContext *c) { extend_rows(c, 1); }
void cmd_extend_left(CommandContext *c) { extend_tracks(c, -1); }
void cmd_extend_right(CommandContext *c) { extend_tracks(c, 1); }
