// command_frame.h - the frame's side of the key editor's commands: whether
// the source may be edited, a save request for every edit (an edit the saver
// refuses at once is taken back), the tracks the frame reads kept to a key
// held in the curve view, and messages on the HUD.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "studio/editor/commands.h"
#include "studio/editor/key_model.h"

struct Studio; // studio/studio_state.h

// Why the source cannot be edited now, or null: no source, a source that
// does not parse or cannot be read, or a file changed on disk that the
// watch has not taken.
const char *edit_refusal(const Studio &s);

// Carries out what a command asked of the world apart from the music
// (a save request after an edit, undo or redo; the keys of a track shown
// while a key is held; the message's time). False when the save is refused
// at once (the model is put back, the reason shown); a save that fails
// later is said when it finishes, and the edit stands.
bool finish_command(Studio *s, const CommandOut &out);

// Replaces key lists as one undo step named `name`, asks for a save of the
// source and updates the tracks. False with the reason shown when refused.
bool commit_edit(Studio *s, const std::vector<std::pair<int, KeyList>> &changes, const std::string &name = "edit");

// Shows a line on the HUD for a few seconds.
void show_message(Studio *s, const std::string &text, bool warn);
