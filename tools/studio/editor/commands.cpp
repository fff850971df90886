// commands.cpp - the studio's command table and its commands: the transport,
// the views, and the key editor's edits on the selected track or block.
#include "studio/editor/commands.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/convert.h"
#include "scenes/scene_table.h"
#include "state/state.h"
#include "studio/editor/block_edit.h"
#include "sync/track.h"
#include "text/overlay.h"

// ---- Small helpers ----------------------------------------------------------------

void say(CommandContext *c, const std::string &text, bool warn)
{
    c->editor->message = text;
    c->editor->message_warn = warn;
    c->out.said = true;
}

static void seek_seconds(CommandContext *c, double seconds)
{
    c->out.seek = true;
    c->out.seek_to = clamp_time(seconds, c->length);
}

static void seek_row(CommandContext *c, int64_t row)
{
    seek_seconds(c, static_cast<double>(row > 0 ? row : 0) / STUDIO_ROWS_PER_SECOND);
}

int editor_rows_per_line(const EditorState &e)
{
    return grid_rows_at(e.zoom);
}

int32_t editor_cursor_row(const EditorState &e, double seconds)
{
    return cursor_row_at(seconds, editor_rows_per_line(e));
}

bool editor_block(const EditorState &e, KeyBlock *block)
{
    if (!e.block_on)
        return false;
    *block = block_between(e.anchor_row, e.end_row, e.anchor_track, e.end_track, editor_rows_per_line(e));
    return true;
}

void select_block(EditorState *e, int anchor_track, int32_t anchor_row, int end_track, int32_t end_row)
{
    e->block_on = true;
    e->anchor_track = anchor_track;
    e->anchor_row = anchor_row;
    e->end_track = end_track;
    e->end_row = end_row;
}

const TimelineTempo &editor_tempo(const EditorState &e)
{
    return key_editor_tempo(e.model);
}

static std::string row_name(const CommandContext *c, int32_t row)
{
    return row_name(row, editor_tempo(*c->editor));
}

static std::string number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

static std::string keys_word(int n)
{
    return std::to_string(n) + (n == 1 ? " key" : " keys");
}

static const char *track_name(int t)
{
    return TimelineTrackNames[t];
}

static int32_t cursor(const CommandContext *c)
{
    return editor_cursor_row(*c->editor, c->seconds);
}

static int rows_per_line(const CommandContext *c)
{
    return editor_rows_per_line(*c->editor);
}

// ---- Limits from the demo ---------------------------------------------------------

static std::string caption_selectors()
{
    std::string list;
    for (int i = 0; i < OVERLAY_LINE_COUNT; i++) {
        int j = i;
        while (j + 1 < OVERLAY_LINE_COUNT && OverlayLines[j + 1].selector == OverlayLines[j].selector + 1)
            j++;
        list += (list.empty() ? "" : ", ") + std::to_string(OverlayLines[i].selector);
        if (j > i)
            list += "-" + std::to_string(OverlayLines[j].selector);
        i = j;
    }
    return list;
}

std::string value_refusal(int track, float value)
{
    if (!std::isfinite(value))
        return "out of range";
    const int index = to_int32(value); // the frame truncates as this does
    if (track == TRACK_SCENE && !find_scene(index))
        return "scene " + std::to_string(index) + " is not in the scene table (0.." + std::to_string(SCENE_COUNT - 1) +
               ")";
    if (track == TRACK_CLEAR_A && index != 0 && !find_overlay_line(index))
        return "caption line " + std::to_string(index) + " is not in the text table (0 for none, " +
               caption_selectors() + ")";
    return "";
}

// A value the edit brings into a track that the track did not hold before,
// checked against what the demo can show; values already there (a key moved
// or copied) pass, so a stored timeline's odd values can still be moved.
static bool values_allowed(CommandContext *c, const std::vector<std::pair<int, KeyList>> &changes)
{
    for (const auto &[t, keys] : changes) {
        const KeyList &before = c->editor->model.keys[t];
        for (const SyncKey &k : keys) {
            const bool held = std::any_of(before.begin(), before.end(), [&](const SyncKey &b) {
                return std::memcmp(&b.value, &k.value, sizeof(float)) == 0;
            });
            const std::string why = held ? "" : value_refusal(t, k.value);
            if (!why.empty()) {
                say(c, "refused: " + why, true);
                return false;
            }
        }
    }
    return true;
}

// ---- Edits as undo steps ---------------------------------------------------------

// The step just made gets its name, shown on the HUD; the frame saves it.
static void name_step(CommandContext *c, const std::string &name)
{
    EditorState *e = c->editor;
    e->undo_names.push_back(name);
    while (e->undo_names.size() > e->model.undo.size())
        e->undo_names.erase(e->undo_names.begin());
    e->redo_names.clear();
    c->out.save = SOURCE_EDITED;
    say(c, name, false);
}

bool edit_keys(CommandContext *c, const std::vector<std::pair<int, KeyList>> &changes, const std::string &name)
{
    EditorState *e = c->editor;
    if (c->edit_refusal) {
        say(c, c->edit_refusal, true);
        c->out.poll_now = true;
        return false;
    }
    if (!values_allowed(c, changes))
        return false;
    if (!apply_key_edit(&e->model, changes)) {
        say(c, "nothing changed", false);
        return false;
    }
    name_step(c, name);
    return true;
}

// Replaces the keys of one track in rows [range.from, range.to) as one named
// undo step: only those rows are compared and rewritten, the track is not
// copied. False when refused or nothing changed, with the reason said.
static bool edit_ranges(CommandContext *c, const std::vector<KeyRange> &ranges, const std::string &name)
{
    if (c->edit_refusal) {
        say(c, c->edit_refusal, true);
        c->out.poll_now = true;
        return false;
    }
    for (const KeyRange &r : ranges)
        if (!values_allowed(c, {{r.track, r.keys}}))
            return false;
    if (!apply_key_ranges(&c->editor->model, ranges)) {
        say(c, "nothing changed", false);
        return false;
    }
    name_step(c, name);
    return true;
}

static bool edit_rows(CommandContext *c, const KeyRange &range, const std::string &name)
{
    return edit_ranges(c, {range}, name);
}

// A copy of the keys of track `t` in rows [from, to).
static KeyList keys_in(const EditorState &e, int t, int32_t from, int32_t to)
{
    size_t a = 0, b = 0;
    keys_in_rows(e.model.keys[t], from, to, &a, &b);
    return KeyList(e.model.keys[t].begin() + static_cast<long>(a), e.model.keys[t].begin() + static_cast<long>(b));
}

static void replay(CommandContext *c, bool redo)
{
    EditorState *e = c->editor;
    if (c->edit_refusal) {
        say(c, c->edit_refusal, true);
        c->out.poll_now = true;
        return;
    }
    std::vector<int> tracks;
    if (!(redo ? redo_key_edit(&e->model, &tracks) : undo_key_edit(&e->model, &tracks))) {
        say(c, redo ? "nothing to redo" : "nothing to undo", false);
        return;
    }
    std::vector<std::string> &from = redo ? e->redo_names : e->undo_names;
    std::vector<std::string> &to = redo ? e->undo_names : e->redo_names;
    const std::string name = from.empty() ? "edit" : from.back();
    if (!from.empty())
        from.pop_back();
    to.push_back(name);
    c->out.save = redo ? SOURCE_REDONE : SOURCE_UNDONE;
    say(c, (redo ? "redo: " : "undo: ") + name, false);
    // The selection goes to the first key the step changed.
    const EditStep &step = redo ? e->model.undo.back() : e->model.redo.back();
    int track = 0;
    int32_t row = 0;
    if (edit_step_first_change(step, &track, &row)) {
        e->column = track;
        seek_row(c, row);
    }
}

static void cmd_undo(CommandContext *c) { replay(c, false); }
static void cmd_redo(CommandContext *c) { replay(c, true); }

// ---- The key on the line ---------------------------------------------------------

static int32_t kind_before(const KeyList &keys, int32_t row)
{
    const int i = key_at_or_before(keys, row);
    return i >= 0 ? keys[i].kind : INTERP_HOLD;
}

static int key_here(const CommandContext *c)
{
    return key_on_line_of(c->editor->model.keys[c->editor->column], cursor(c), rows_per_line(c));
}

// The key on the playhead's line, or -1 after saying there is none.
static int key_here_or_say(CommandContext *c)
{
    const int i = key_here(c);
    if (i < 0)
        say(c, std::string("no key of ") + track_name(c->editor->column) + " on this line", false);
    return i;
}

static double value_between_keys(const CommandContext *c, int track, int32_t row)
{
    const SyncTrack *t = c->tracks ? c->tracks[track] : nullptr;
    return t ? track_value_at(t, row) : 0.0;
}

static void set_value_here(CommandContext *c, float value, const std::string &verb)
{
    const int t = c->editor->column;
    const KeyList &keys = c->editor->model.keys[t];
    const int i = key_here(c);
    SyncKey key = i >= 0 ? keys[static_cast<size_t>(i)] : SyncKey{cursor(c), 0.0f, kind_before(keys, cursor(c))};
    key.value = value;
    edit_rows(c, KeyRange{t, key.row, key.row + 1, {key}},
              verb + " " + track_name(t) + " at " + row_name(c, key.row) + " to " + number(value));
}

static void cmd_insert(CommandContext *c)
{
    const int t = c->editor->column;
    const int32_t row = cursor(c);
    if (key_here(c) >= 0) {
        say(c, std::string("a key of ") + track_name(t) + " is already on this line", false);
        return;
    }
    const float value = static_cast<float>(value_between_keys(c, t, row));
    const SyncKey key{row, value, kind_before(c->editor->model.keys[t], row)};
    edit_rows(c, KeyRange{t, row, row + 1, {key}}, std::string("insert ") + track_name(t) + " at " + row_name(c, row));
}

// The nudge step of a track (small or large): whole steps for the
// selectors, colour steps of 1 and 16, camera steps that show on the
// picture; 1 and 10 for a track not listed.
static float nudge_step(int track, bool large)
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

// ---- Blocks ------------------------------------------------------------------------

static std::string block_name(const CommandContext *c, const KeyBlock &b)
{
    std::string tracks = track_name(b.track0);
    if (b.track1 > b.track0)
        tracks += ".." + std::string(track_name(b.track1));
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
            say(c, "refused: " + why + " (" + track_name(t) + ")", true);
            return;
        }
        ranges.push_back(std::move(r));
    }
    edit_ranges(c, ranges, name);
}

// ---- Edit commands ----------------------------------------------------------------------

static void nudge(CommandContext *c, int direction, bool large)
{
    KeyBlock b;
    if (block_with_keys(c, &b)) {
        if (b.row1 < 0)
            return;
        edit_block(c, b, "nudge " + keys_word(block_key_count(c, b)) + " in " + block_name(c, b),
                   [&](int t, KeyList *keys, std::string *) {
                       offset_values_in(keys, b.row0, b.row1, direction * nudge_step(t, large));
                       return true;
                   });
        return;
    }
    const int t = c->editor->column;
    const int i = key_here(c);
    const float base = i >= 0 ? c->editor->model.keys[t][i].value
                              : static_cast<float>(value_between_keys(c, t, cursor(c)));
    set_value_here(c, base + direction * nudge_step(t, large), "nudge");
}

static void cmd_nudge_up(CommandContext *c) { nudge(c, 1, false); }
static void cmd_nudge_down(CommandContext *c) { nudge(c, -1, false); }
static void cmd_nudge_up_large(CommandContext *c) { nudge(c, 1, true); }
static void cmd_nudge_down_large(CommandContext *c) { nudge(c, -1, true); }

static const char *const KIND_NAMES[] = {"hold", "linear", "smooth", "quadratic"};

static void cmd_kind(CommandContext *c)
{
    KeyBlock b;
    if (block_with_keys(c, &b)) {
        if (b.row1 < 0)
            return;
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
        edit_block(c, b, "curve " + std::string(KIND_NAMES[kind]) + " for " + keys_word(block_key_count(c, b)),
                   [&](int, KeyList *keys, std::string *) {
                       set_kind_in(keys, b.row0, b.row1, kind);
                       return true;
                   });
        return;
    }
    const int t = c->editor->column;
    const int i = key_here_or_say(c);
    if (i < 0)
        return;
    SyncKey key = c->editor->model.keys[t][static_cast<size_t>(i)];
    key.kind = (key.kind + 1) & 3;
    edit_rows(c, KeyRange{t, key.row, key.row + 1, {key}},
              std::string("curve ") + KIND_NAMES[key.kind] + " for " + track_name(t) + " at " + row_name(c, key.row));
}

static void cmd_delete(CommandContext *c)
{
    KeyBlock b;
    if (block_with_keys(c, &b)) {
        if (b.row1 < 0)
            return;
        edit_block(c, b, "delete " + keys_word(block_key_count(c, b)) + " in " + block_name(c, b),
                   [&](int, KeyList *keys, std::string *) {
                       delete_keys_in(keys, b.row0, b.row1);
                       return true;
                   });
        return;
    }
    const int t = c->editor->column;
    const int i = key_here_or_say(c);
    if (i < 0)
        return;
    const int32_t row = c->editor->model.keys[t][static_cast<size_t>(i)].row;
    edit_rows(c, KeyRange{t, row, row + 1, {}}, std::string("delete ") + track_name(t) + " at " + row_name(c, row));
}

static void move(CommandContext *c, int32_t delta)
{
    const char *how = std::abs(delta) == 1 ? " a row" : " a beat";
    const char *way = delta > 0 ? " later" : " earlier";
    KeyBlock b;
    EditorState *e = c->editor;
    if (block_with_keys(c, &b)) {
        if (b.row1 < 0)
            return;
        if (static_cast<int64_t>(b.row0) + delta < 0) {
            say(c, "refused: the block would go before row 0", true);
            return;
        }
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
            seek_row(c, static_cast<int64_t>(cursor(c)) + delta);
        }
        return;
    }
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
    if (edit_rows(c, r, std::string("move ") + track_name(t) + " " + row_name(c, from) + " to " + row_name(c, from + delta)))
        seek_row(c, static_cast<int64_t>(from) + delta); // the cursor goes with the key
}

static void cmd_move_up(CommandContext *c) { move(c, -1); }
static void cmd_move_down(CommandContext *c) { move(c, 1); }
// A beat from the key on the line (or the block's first line): to the beat
// before or after the one it is in, so at a tempo whose beat is not a whole
// number of rows a key on a beat lands on a beat.
static void move_beat(CommandContext *c, int direction)
{
    const TimelineTempo &tempo = editor_tempo(*c->editor);
    KeyBlock b;
    int32_t from = cursor(c);
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

static void cmd_move_up_beat(CommandContext *c) { move_beat(c, -1); }
static void cmd_move_down_beat(CommandContext *c) { move_beat(c, 1); }

static void cmd_copy(CommandContext *c)
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
            b.row0 = bar_start_row(editor_tempo(*e), cursor(c));
            b.row1 = next_bar_row(editor_tempo(*e), cursor(c));
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
    const int32_t at = e->clip_bars ? bar_start_row(editor_tempo(*e), cursor(c)) : cursor(c);
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

static void cmd_paste(CommandContext *c) { paste(c, false); }
static void cmd_paste_replace(CommandContext *c) { paste(c, true); }

// ---- Typing ------------------------------------------------------------------------

static int typed_char(SDL_Keycode k)
{
    if (k >= SDLK_0 && k <= SDLK_9)
        return '0' + (k - SDLK_0);
    if (k >= SDLK_KP_1 && k <= SDLK_KP_9)
        return '1' + (k - SDLK_KP_1);
    if (k == SDLK_KP_0)
        return '0';
    if (k == SDLK_PERIOD || k == SDLK_KP_PERIOD)
        return '.';
    return 0;
}

static bool is_colon(SDL_Keycode k)
{
    return k == SDLK_COLON || k == SDLK_SEMICOLON;
}

static void cmd_type(CommandContext *c)
{
    c->editor->typing = true;
    c->editor->typing_for = TYPING_VALUE;
    c->editor->typed = std::string(1, static_cast<char>(typed_char(c->key)));
}

static void cmd_scale(CommandContext *c)
{
    c->editor->typing = true;
    c->editor->typing_for = TYPING_SCALE;
    c->editor->typed.clear();
}

static void cmd_go_to(CommandContext *c)
{
    c->editor->typing = true;
    c->editor->typing_for = TYPING_PLACE;
    c->editor->typed.clear();
    say(c, "go to: type BAR:BEAT, a row or seconds (with a point), then Enter", false);
}

bool parse_place(const std::string &text, const TimelineTempo &tempo, double *seconds, std::string *why)
{
    const auto whole = [](const std::string &t, int64_t *v) {
        const auto r = std::from_chars(t.data(), t.data() + t.size(), *v);
        return !t.empty() && r.ec == std::errc() && r.ptr == t.data() + t.size() && *v >= 0;
    };
    const auto real = [](const std::string &t, double *v) {
        const auto r = std::from_chars(t.data(), t.data() + t.size(), *v);
        return !t.empty() && r.ec == std::errc() && r.ptr == t.data() + t.size() && std::isfinite(*v) && *v >= 0.0;
    };
    if (!text.empty() && text[0] == '-') {
        *why = "not a place: '" + text + "' is before the start";
        return false;
    }
    const size_t colon = text.find(':');
    const bool point = text.find('.') != std::string::npos;
    const std::string before = text.substr(0, colon), after = colon == std::string::npos ? "" : text.substr(colon + 1);
    int64_t a = 0, b = 0;
    double sec = 0.0;
    if (colon != std::string::npos && point) { // minutes and seconds
        if (!whole(before, &a) || !real(after, &sec) || sec >= 60.0 || a > 1000000) {
            *why = "not a time: '" + text + "' (M:SS.fff)";
            return false;
        }
        *seconds = static_cast<double>(a) * 60.0 + sec;
        return true;
    }
    if (colon != std::string::npos) { // BAR:BEAT
        if (!whole(before, &a) || !whole(after, &b)) {
            *why = "not a place: '" + text + "' (BAR:BEAT)";
            return false;
        }
        if (b >= tempo.beats_per_bar) {
            *why = "no beat " + std::to_string(b) + " in a bar of " + std::to_string(tempo.beats_per_bar);
            return false;
        }
        if (a > INT32_MAX / tempo.beats_per_bar) {
            *why = "out of range: '" + text + "'";
            return false;
        }
        *seconds = tempo_beat_row(tempo, a * tempo.beats_per_bar + b) / STUDIO_ROWS_PER_SECOND;
        return true;
    }
    if (point) {
        if (!real(text, &sec)) {
            *why = "not a time: '" + text + "'";
            return false;
        }
        *seconds = sec;
        return true;
    }
    if (!whole(text, &a)) {
        *why = "not a place: '" + text + "' (BAR:BEAT, a row, or seconds with a point)";
        return false;
    }
    if (a > INT32_MAX) {
        *why = "out of range: '" + text + "'";
        return false;
    }
    *seconds = static_cast<double>(a) / STUDIO_ROWS_PER_SECOND;
    return true;
}

static void take_place(CommandContext *c)
{
    double seconds = 0.0;
    std::string why;
    if (!parse_place(c->editor->typed, editor_tempo(*c->editor), &seconds, &why)) {
        say(c, why, true);
        return;
    }
    // A place after the music's end is refused, not cut to the end (an
    // unknown length leaves every place open, as seeks do then).
    if (c->length >= 0.0 && seconds > c->length) {
        char text[96];
        std::snprintf(text, sizeof text, " is at %.3f s, the music ends at %.3f s", seconds, c->length);
        say(c, "past the end: '" + c->editor->typed + "'" + text, true);
        return;
    }
    seek_seconds(c, seconds);
    const int32_t row = cursor_row_at(c->out.seek_to, 1);
    const std::string name = row_name(c, row);
    say(c, "at " + name + (name.rfind("row ", 0) == 0 ? "" : " (row " + std::to_string(row) + ")"), false);
}

static void take_typed(CommandContext *c)
{
    EditorState *e = c->editor;
    e->typing = false;
    if (e->typing_for == TYPING_PLACE) {
        take_place(c);
        return;
    }
    float v = 0.0f;
    const char *b = e->typed.data(), *end = b + e->typed.size();
    const auto r = std::from_chars(b, end, v);
    if (r.ec == std::errc::result_out_of_range || (r.ec == std::errc() && r.ptr == end && !std::isfinite(v))) {
        say(c, "out of range: '" + e->typed + "'", true);
        return;
    }
    if (r.ec != std::errc() || r.ptr != end) {
        say(c, "not a number: '" + e->typed + "'", true);
        return;
    }
    if (e->typing_for == TYPING_VALUE) {
        set_value_here(c, v, "set");
        return;
    }
    KeyBlock blk;
    if (block_with_keys(c, &blk)) {
        if (blk.row1 < 0)
            return;
        edit_block(c, blk, "scale " + keys_word(block_key_count(c, blk)) + " in " + block_name(c, blk) + " by " + number(v),
                   [&](int, KeyList *keys, std::string *) {
                       scale_values_in(keys, blk.row0, blk.row1, v);
                       return true;
                   });
        return;
    }
    const int i = key_here_or_say(c);
    if (i >= 0)
        set_value_here(c, e->model.keys[e->column][i].value * v, "scale");
}

// The longest text a prompt takes: longer than any number or place it can
// take, short enough for the HUD's line.
constexpr size_t TYPED_MAX = 64;

// While a value, a factor or a place is typed every key belongs to the
// prompt: digits, the point, minus (the sign) and, for a place, the colon
// edit it; Backspace erases, Enter takes it, Escape cancels it (only it: the
// block and the studio stay). Any other key, and any key with Ctrl or Alt,
// is ignored, so no command runs half-way through a number.
static void press_typing_key(CommandContext *c, SDL_Keycode k, uint8_t held)
{
    EditorState *e = c->editor;
    if (k == SDLK_ESCAPE) {
        e->typing = false;
        return;
    }
    const bool colon = e->typing_for == TYPING_PLACE && is_colon(k);
    if (held != MOD_NONE && !(held == MOD_SHIFT && colon))
        return;
    const int ch = colon ? ':' : typed_char(k);
    if (ch && e->typed.size() < TYPED_MAX) {
        e->typed += static_cast<char>(ch);
        return;
    }
    switch (k) {
    case SDLK_MINUS:
    case SDLK_KP_MINUS:
        if (!e->typed.empty() && e->typed[0] == '-')
            e->typed.erase(0, 1);
        else if (e->typed.size() < TYPED_MAX)
            e->typed.insert(0, "-");
        return;
    case SDLK_BACKSPACE:
        if (!e->typed.empty())
            e->typed.pop_back();
        return;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        take_typed(c);
        return;
    default:
        return; // the prompt keeps it: no command runs
    }
}

// ---- Moving around ----------------------------------------------------------------------

static void step(CommandContext *c, int direction, bool bar)
{
    const TimelineTempo &tempo = editor_tempo(*c->editor);
    seek_seconds(c, grid_step(c->seconds, direction, tempo, bar ? tempo.beats_per_bar : 1, c->length));
}

static void cmd_beat_back(CommandContext *c) { step(c, -1, false); }
static void cmd_beat_on(CommandContext *c) { step(c, 1, false); }
static void cmd_bar_back(CommandContext *c) { step(c, -1, true); }
static void cmd_bar_on(CommandContext *c) { step(c, 1, true); }

static void cmd_line_up(CommandContext *c) { seek_row(c, static_cast<int64_t>(cursor(c)) - rows_per_line(c)); }
static void cmd_line_down(CommandContext *c) { seek_row(c, static_cast<int64_t>(cursor(c)) + rows_per_line(c)); }

static void begin_block(CommandContext *c)
{
    EditorState *e = c->editor;
    if (!e->block_on)
        select_block(e, e->column, cursor(c), e->column, cursor(c));
}

static void extend_rows(CommandContext *c, int direction)
{
    begin_block(c);
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
    begin_block(c);
    EditorState *e = c->editor;
    e->end_track = std::clamp(e->end_track + direction, 0, TIMELINE_TRACK_COUNT - 1);
    e->column = e->end_track;
    KeyBlock b;
    editor_block(*e, &b);
    say(c, "block " + block_name(c, b), false);
}

static void cmd_extend_up(CommandContext *c) { extend_rows(c, -1); }
static void cmd_extend_down(CommandContext *c) { extend_rows(c, 1); }
static void cmd_extend_left(CommandContext *c) { extend_tracks(c, -1); }
static void cmd_extend_right(CommandContext *c) { extend_tracks(c, 1); }

static void scene_step(CommandContext *c, int direction)
{
    const SyncTrack *scene = c->tracks ? c->tracks[TRACK_SCENE] : nullptr;
    if (scene)
        seek_seconds(c, scene_change_step(c->seconds, direction, scene, c->length));
}

static void cmd_scene_back(CommandContext *c) { scene_step(c, -1); }
static void cmd_scene_on(CommandContext *c) { scene_step(c, 1); }
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

static void cmd_mark_back(CommandContext *c) { mark_jump(c, -1); }
static void cmd_mark_on(CommandContext *c) { mark_jump(c, 1); }
static void cmd_home(CommandContext *c) { seek_seconds(c, 0.0); }
static void cmd_end(CommandContext *c) { seek_seconds(c, c->length >= 0.0 ? c->length : c->strip_length); }
static void cmd_loop(CommandContext *c) { press_loop(&c->transport->loop, c->seconds, editor_tempo(*c->editor)); }

static void track_step(CommandContext *c, int direction)
{
    EditorState *e = c->editor;
    e->column = (e->column + direction + TIMELINE_TRACK_COUNT) % TIMELINE_TRACK_COUNT;
}

static void cmd_track_back(CommandContext *c) { track_step(c, -1); }
static void cmd_track_on(CommandContext *c) { track_step(c, 1); }

static void jump_key(CommandContext *c, int direction)
{
    const KeyList &keys = c->editor->model.keys[c->editor->column];
    const int32_t row = cursor(c);
    const int i = direction > 0 ? key_at_or_before(keys, row + rows_per_line(c) - 1) + 1
                                : key_at_or_before(keys, row - 1);
    if (i >= 0 && i < static_cast<int>(keys.size()))
        seek_row(c, keys[static_cast<size_t>(i)].row);
    else
        say(c, std::string("no ") + (direction > 0 ? "later" : "earlier") + " key of " + track_name(c->editor->column),
            false);
}

static void cmd_key_back(CommandContext *c) { jump_key(c, -1); }
static void cmd_key_on(CommandContext *c) { jump_key(c, 1); }

// ---- Views and the rest ----------------------------------------------------------------

static void cmd_grid(CommandContext *c) { c->view->grid_on = !c->view->grid_on; }
static void cmd_curve(CommandContext *c) { c->view->curve_on = !c->view->curve_on; }

static void cmd_curve_range(CommandContext *c)
{
    c->view->curve_whole = !c->view->curve_whole;
    say(c, c->view->curve_whole ? "curve view: the whole track's values" : "curve view: the values in view", false);
}

static void cmd_zoom(CommandContext *c) { c->editor->zoom = (c->editor->zoom + 1) % 4; }

static void strip_zoom(CommandContext *c, double factor)
{
    c->view->span = zoom_strip(c->view->span, factor, c->seconds, c->strip_length);
}

static void cmd_strip_in(CommandContext *c) { strip_zoom(c, 0.5); }
static void cmd_strip_out(CommandContext *c) { strip_zoom(c, 2.0); }
static void cmd_pause(CommandContext *c) { c->out.toggle_pause = true; }
static void cmd_half_speed(CommandContext *c) { c->out.toggle_half_speed = true; }

static void cmd_mute(CommandContext *c)
{
    c->transport->muted = !c->transport->muted;
    c->out.set_muted = true;
}

static void cmd_hud(CommandContext *c) { c->view->hud_on = !c->view->hud_on; }
static void cmd_help(CommandContext *c) { c->view->help_on = !c->view->help_on; }
static void cmd_snapshot(CommandContext *c) { c->view->snapshot_asked = true; }
static void cmd_fullscreen(CommandContext *c) { c->out.toggle_fullscreen = true; }

static void cmd_escape(CommandContext *c)
{
    if (c->editor->block_on) {
        c->editor->block_on = false;
        say(c, "block cleared", false);
        return;
    }
    c->out.quit = true;
}

// ---- The table -------------------------------------------------------------------------

#define SAME nullptr, nullptr // the help row of the entry before
#define DIGIT(K) {K, MOD_NONE, cmd_type, true, SAME}

const StudioCommand STUDIO_COMMANDS[] = {
    {SDLK_SPACE, MOD_NONE, cmd_pause, false, "Space", "pause/resume (a paused picture is still redrawn, so edits show at once)"},
    {SDLK_SPACE, MOD_SHIFT, cmd_half_speed, false, "Shift+Space",
     "half speed on/off: picture and music at half speed, the music an octave down (Space pauses there)"},
    {SDLK_LEFT, MOD_NONE, cmd_beat_back, true, "Left/Right, Shift+Left/Right", "previous/next beat, bar"},
    {SDLK_RIGHT, MOD_NONE, cmd_beat_on, true, SAME},
    {SDLK_LEFT, MOD_SHIFT, cmd_bar_back, true, SAME},
    {SDLK_RIGHT, MOD_SHIFT, cmd_bar_on, true, SAME},
    {SDLK_UP, MOD_NONE, cmd_line_up, true, "Up/Down", "previous/next grid line"},
    {SDLK_DOWN, MOD_NONE, cmd_line_down, true, SAME},
    {SDLK_UP, MOD_SHIFT, cmd_extend_up, true, "Shift+Up/Down, Ctrl+Shift+Left/Right",
     "select a block of rows x tracks: extend it by a grid line, a track (it starts at the playhead's line of the selected track)"},
    {SDLK_DOWN, MOD_SHIFT, cmd_extend_down, true, SAME},
    {SDLK_LEFT, MOD_CTRL | MOD_SHIFT, cmd_extend_left, true, SAME},
    {SDLK_RIGHT, MOD_CTRL | MOD_SHIFT, cmd_extend_right, true, SAME},
    {SDLK_PAGEUP, MOD_NONE, cmd_scene_back, true, "Page Up/Page Down", "previous/next scene change (a key of the \"scene\" track)"},
    {SDLK_PAGEDOWN, MOD_NONE, cmd_scene_on, true, SAME},
    {SDLK_PAGEUP, MOD_CTRL, cmd_mark_back, true, "Ctrl+Page Up/Page Down",
     "previous/next mark (a \"mark NAME ROW\" line of the source; marks are shown on the strip)"},
    {SDLK_PAGEDOWN, MOD_CTRL, cmd_mark_on, true, SAME},
    {SDLK_g, MOD_CTRL, cmd_go_to, false, "Ctrl+G",
     "go to a typed place: BAR:BEAT (12:2), a row (384) or seconds with a point (62.096 or 1:02.096); Enter goes (refused before the start or past the end), Escape cancels"},
    {SDLK_HOME, MOD_NONE, cmd_home, false, "Home, End", "start, end of the music"},
    {SDLK_END, MOD_NONE, cmd_end, false, SAME},
    {SDLK_l, MOD_NONE, cmd_loop, false, "L",
     "loop over bars (first press: start at the current bar; second: end after the current bar; third: no loop)"},
    {SDLK_TAB, MOD_NONE, cmd_grid, false, "Tab, C", "key grid, curve view (the edit keys act the same with either, both or neither shown)"},
    {SDLK_c, MOD_NONE, cmd_curve, false, SAME},
    {SDLK_f, MOD_NONE, cmd_curve_range, false, "F", "the curve view's value range: the keys in view, or the whole track"},
    {SDLK_LEFT, MOD_CTRL, cmd_track_back, true, "Ctrl+Left/Right", "select the previous/next track"},
    {SDLK_RIGHT, MOD_CTRL, cmd_track_on, true, SAME},
    {SDLK_g, MOD_NONE, cmd_zoom, false, "G", "grid zoom: 1, 2, 4, 8 rows a line"},
    {SDLK_RETURN, MOD_NONE, cmd_insert, false, "Enter", "insert a key holding the current value"},
    {SDLK_KP_ENTER, MOD_NONE, cmd_insert, false, SAME},
    {SDLK_0, MOD_NONE, cmd_type, true, "0\xe2\x80\x93" "9 and .",
     "type a value (- flips its sign, Backspace erases, other keys wait); Enter takes it (into the key on the line, or a new key), Escape cancels"},
    DIGIT(SDLK_1), DIGIT(SDLK_2), DIGIT(SDLK_3), DIGIT(SDLK_4), DIGIT(SDLK_5), DIGIT(SDLK_6), DIGIT(SDLK_7),
    DIGIT(SDLK_8), DIGIT(SDLK_9), DIGIT(SDLK_PERIOD), DIGIT(SDLK_KP_0), DIGIT(SDLK_KP_1), DIGIT(SDLK_KP_2),
    DIGIT(SDLK_KP_3), DIGIT(SDLK_KP_4), DIGIT(SDLK_KP_5), DIGIT(SDLK_KP_6), DIGIT(SDLK_KP_7), DIGIT(SDLK_KP_8),
    DIGIT(SDLK_KP_9), DIGIT(SDLK_KP_PERIOD),
    {SDLK_x, MOD_NONE, cmd_scale, false, "X", "type a factor; Enter scales the values of the block's keys (or of the key on the line)"},
    {SDLK_UP, MOD_CTRL, cmd_nudge_up, true, "Ctrl+Up/Down, with Shift",
     "nudge the value (of the key on the line, or of every key of the block) by a small, large step suited to the track"},
    {SDLK_DOWN, MOD_CTRL, cmd_nudge_down, true, SAME},
    {SDLK_UP, MOD_CTRL | MOD_SHIFT, cmd_nudge_up_large, true, SAME},
    {SDLK_DOWN, MOD_CTRL | MOD_SHIFT, cmd_nudge_down_large, true, SAME},
    {SDLK_k, MOD_NONE, cmd_kind, false, "K", "next curve kind of the key (a block: all its keys take the kind after its first key's)"},
    {SDLK_DELETE, MOD_NONE, cmd_delete, false, "Delete or Backspace", "delete the key (or the block's keys)"},
    {SDLK_BACKSPACE, MOD_NONE, cmd_delete, false, SAME},
    {SDLK_UP, MOD_ALT, cmd_move_up, true, "Alt+Up/Down, with Shift",
     "move the key (or the block's keys) a row, a beat earlier/later (the playhead goes with it); refused onto another key"},
    {SDLK_DOWN, MOD_ALT, cmd_move_down, true, SAME},
    {SDLK_UP, MOD_ALT | MOD_SHIFT, cmd_move_up_beat, true, SAME},
    {SDLK_DOWN, MOD_ALT | MOD_SHIFT, cmd_move_down_beat, true, SAME},
    {SDLK_LEFTBRACKET, MOD_NONE, cmd_key_back, true, "[ and ]", "previous/next key of the selected track"},
    {SDLK_RIGHTBRACKET, MOD_NONE, cmd_key_on, true, SAME},
    {SDLK_c, MOD_CTRL, cmd_copy, false, "Ctrl+C", "copy the block (without one: the keys of all tracks in the current bar, or the loop's bars)"},
    {SDLK_v, MOD_CTRL, cmd_paste, false, "Ctrl+V, Ctrl+Shift+V",
     "paste onto the tracks it was copied from at the playhead's line (bars: at its bar); refused onto another key; with Shift the keys in the pasted rows go first"},
    {SDLK_v, MOD_CTRL | MOD_SHIFT, cmd_paste_replace, false, SAME},
    {SDLK_z, MOD_CTRL, cmd_undo, true, "Ctrl+Z, Ctrl+Shift+Z (or Ctrl+Y)",
     "undo, redo (1000 steps): the HUD names the step and the playhead goes to the key it changed"},
    {SDLK_z, MOD_CTRL | MOD_SHIFT, cmd_redo, true, SAME},
    {SDLK_y, MOD_CTRL, cmd_redo, true, SAME},
    {SDLK_EQUALS, MOD_SHIFT_ANY, cmd_strip_in, true, "+/-, mouse wheel", "zoom the strip around the playhead (the wheel: around the pointer)"},
    {SDLK_PLUS, MOD_SHIFT_ANY, cmd_strip_in, true, SAME},
    {SDLK_KP_PLUS, MOD_NONE, cmd_strip_in, true, SAME},
    {SDLK_MINUS, MOD_NONE, cmd_strip_out, true, SAME},
    {SDLK_KP_MINUS, MOD_NONE, cmd_strip_out, true, SAME},
    {SDLK_UNKNOWN, MOD_NONE, nullptr, false, "Shift+wheel, middle-button drag on the strip", "pan the strip"},
    {SDLK_UNKNOWN, MOD_NONE, nullptr, false, "click or drag on the strip", "seek, snapped to the beat (Shift: not snapped)"},
    {SDLK_UNKNOWN, MOD_NONE, nullptr, false, "right-button drag on the strip",
     "loop between the beats nearest to where the drag starts and ends (a right click clears the loop)"},
    {SDLK_UNKNOWN, MOD_NONE, nullptr, false, "click on the grid, drag on the grid",
     "select that track (on a line: go to its row); select a block"},
    {SDLK_m, MOD_NONE, cmd_mute, false, "M, H, F1 or ?", "mute, HUD, this list"},
    {SDLK_h, MOD_NONE, cmd_hud, false, SAME},
    {SDLK_F1, MOD_NONE, cmd_help, false, SAME},
    {SDLK_QUESTION, MOD_SHIFT_ANY, cmd_help, false, SAME},
    {SDLK_SLASH, MOD_SHIFT, cmd_help, false, SAME},
    {SDLK_p, MOD_NONE, cmd_snapshot, false, "P",
     "write the picture without the HUD as `snapshot_MM-SS.fff.png` (1920\xc3\x97" "1080) in the working directory; MM\xc3\x97" "60 + SS.fff is the exact music time, so `capture --start` with it gives the same picture"},
    {SDLK_F11, MOD_NONE, cmd_fullscreen, false, "F11", "full screen"},
    {SDLK_ESCAPE, MOD_NONE, cmd_escape, false, "Escape, closing the window",
     "quit (Escape first cancels a value being typed, then clears the block)"},
};

#undef DIGIT
#undef SAME

const size_t STUDIO_COMMAND_COUNT = sizeof STUDIO_COMMANDS / sizeof STUDIO_COMMANDS[0];

std::vector<std::pair<std::string, std::string>> command_help_rows()
{
    std::vector<std::pair<std::string, std::string>> rows;
    for (const StudioCommand &cmd : STUDIO_COMMANDS)
        if (cmd.keys)
            rows.push_back({cmd.keys, cmd.help});
    return rows;
}

// The help text as the HUD's font draws it: Basic Latin and Latin-1 only.
static std::string hud_text(std::string text)
{
    const std::string dash = "\xe2\x80\x93";
    for (size_t at = text.find(dash); at != std::string::npos; at = text.find(dash, at))
        text.replace(at, dash.size(), "-");
    return text;
}

std::vector<std::string> command_help_lines(size_t width)
{
    // Rows follow each other on a line, three spaces apart; a row longer
    // than the room left starts a line, and one longer than a line goes on
    // in lines of its own, indented.
    std::vector<std::string> lines;
    std::string line;
    for (const auto &[keys, help] : command_help_rows()) {
        const std::string item = hud_text(keys + ": " + help);
        if (!line.empty() && line.size() + 3 + item.size() <= width) {
            line += "   " + item;
            continue;
        }
        if (!line.empty())
            lines.push_back(line);
        line.clear();
        size_t from = 0;
        while (from < item.size()) {
            const std::string indent = from == 0 ? "" : "  ";
            size_t room = width > indent.size() + 8 ? width - indent.size() : 8;
            if (item.size() - from <= room) {
                line = indent + item.substr(from);
                break;
            }
            size_t cut = item.rfind(' ', from + room);
            if (cut == std::string::npos || cut <= from)
                cut = from + room;
            lines.push_back(indent + item.substr(from, cut - from));
            from = item[cut] == ' ' ? cut + 1 : cut;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

static uint8_t mods_of(uint16_t sdl_mods)
{
    return static_cast<uint8_t>(((sdl_mods & KMOD_SHIFT) ? MOD_SHIFT : 0) | ((sdl_mods & KMOD_CTRL) ? MOD_CTRL : 0) |
                                ((sdl_mods & KMOD_ALT) ? MOD_ALT : 0));
}

static bool mods_match(uint8_t wanted, uint8_t held)
{
    if (wanted & MOD_SHIFT_ANY)
        return (held & ~MOD_SHIFT) == (wanted & ~(MOD_SHIFT_ANY | MOD_SHIFT));
    return held == wanted;
}

bool press_command_key(CommandContext *c, SDL_Keycode key, uint16_t sdl_mods, bool repeat)
{
    const uint8_t held = mods_of(sdl_mods);
    c->key = key;
    if (c->editor->typing) {
        press_typing_key(c, key, held);
        return true;
    }
    for (const StudioCommand &cmd : STUDIO_COMMANDS) {
        if (cmd.key != key || !cmd.run || !mods_match(cmd.mods, held))
            continue;
        if (repeat && !cmd.repeats)
            return true; // held toggles act once
        cmd.run(c);
        return true;
    }
    return false;
}
