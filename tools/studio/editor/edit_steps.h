// edit_steps.h - the key editor's edits as undo steps. Each edit is one
// step with a name ("insert scene at 20:1"), shown on the HUD, and again by
// undo and redo ("undo: insert scene at 20:1"), which also select the key
// they changed. A value a track cannot show in the demo (a scene outside
// the scene table, a caption line outside the text table) is refused when
// an edit brings it in.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "studio/editor/command_context.h"

// Why the studio refuses a value on a track ("" when it takes it): a scene
// number outside the scene table, a caption line outside the text table,
// those of `shown` (null: the studio's own).
std::string value_refusal(int track, float value, const SceneLibraryTable *shown = nullptr);

// Replaces key lists as one named undo step ("" and false when refused or
// nothing changed, with the reason said); the frame saves it.
bool edit_keys(CommandContext *c, const std::vector<std::pair<int, KeyList>> &changes, const std::string &name);

// Replaces the keys of tracks in rows [range.from, range.to) as one named
// undo step: only those rows are compared and rewritten, the tracks are not
// copied. False when refused or nothing changed, with the reason said.
bool edit_ranges(CommandContext *c, const std::vector<KeyRange> &ranges, const std::string &name);
bool edit_rows(CommandContext *c, const KeyRange &range, const std::string &name);

// A copy of the keys of track `t` in rows [from, to).
KeyList keys_in(const EditorState &e, int t, int32_t from, int32_t to);

// Ctrl+Z, Ctrl+Shift+Z and Ctrl+Y.
void cmd_undo(CommandContext *c);
void cmd_redo(CommandContext *c);

// Puts the model back to where it was before a step the frame could not
// save (a save refused at once): an edit is undone and forgotten, an undo
// or redo goes back to the stack it came from, with its name.
void take_back_step(EditorState *e, SaveKind kind);
