// edit_steps.cpp - edits as named undo steps: the values the demo can show,
// a change of keys or of rows made one step with its name, undo and redo.
#include "studio/editor/edit_steps.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/convert.h"
#include "scenes/scene_table.h"
#include "state/state.h"
#include "studio/live/scene_library.h"
#include "text/overlay.h"

// ---- Limits from the demo ---------------------------------------------------------

static std::string caption_selectors(const CaptionTable &captions)
{
    std::string list;
    const OverlayLine *lines = captions.lines;
    for (int i = 0; i < captions.count; i++) {
        int j = i;
        while (j + 1 < captions.count && lines[j + 1].selector == lines[j].selector + 1)
            j++;
        list += (list.empty() ? "" : ", ") + std::to_string(lines[i].selector);
        if (j > i)
            list += "-" + std::to_string(lines[j].selector);
        i = j;
    }
    return list;
}

std::string value_refusal(int track, float value, const SceneLibraryTable *shown)
{
    if (!std::isfinite(value))
        return "out of range";
    const int index = to_int32(value); // the frame truncates as this does
    const int scenes = shown ? shown->count : static_cast<int>(SceneTable.size());
    if (track == TRACK_SCENE && (index < 0 || index >= scenes))
        return "scene " + std::to_string(index) + " is not in the scene table (0.." + std::to_string(scenes - 1) + ")";
    const CaptionTable &captions = shown && shown->captions ? *shown->captions : DemoCaptions;
    if (track == TRACK_CLEAR_A && index != 0 && !find_caption(captions, index))
        return "caption line " + std::to_string(index) + " is not in the text table (0 for none, " +
               caption_selectors(captions) + ")";
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
            const std::string why = held ? "" : value_refusal(t, k.value, c->shown);
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
bool edit_ranges(CommandContext *c, const std::vector<KeyRange> &ranges, const std::string &name)
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

bool edit_rows(CommandContext *c, const KeyRange &range, const std::string &name)
{
    return edit_ranges(c, {range}, name);
}

// A copy of the keys of track `t` in rows [from, to).
KeyList keys_in(const EditorState &e, int t, int32_t from, int32_t to)
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

void cmd_undo(CommandContext *c) { replay(c, false); }
void cmd_redo(CommandContext *c) { replay(c, true); }

void take_back_step(EditorState *e, SaveKind kind)
{
    std::vector<int> tracks;
    if (kind == SOURCE_EDITED) {
        undo_key_edit(&e->model, &tracks);
        e->model.redo.clear();
        if (!e->undo_names.empty())
            e->undo_names.pop_back();
        e->redo_names.clear();
        return;
    }
    // The step goes back to the stack it came from, with its name.
    const bool was_undo = kind == SOURCE_UNDONE;
    was_undo ? redo_key_edit(&e->model, &tracks) : undo_key_edit(&e->model, &tracks);
    std::vector<std::string> &from = was_undo ? e->redo_names : e->undo_names;
    std::vector<std::string> &to = was_undo ? e->undo_names : e->redo_names;
    if (!from.empty()) {
        to.push_back(from.back());
        from.pop_back();
    }
}
