// block_commands.h - the block of rows x tracks between an anchor line and an
// end line: selected with the keys (or drawn on the grid with the mouse),
// its keys edited as one undo step over all its tracks, copied and pasted
// (Ctrl+Shift+V pastes replacing what is in the pasted rows; a key pasted
// onto another is refused).
#pragma once

#include <cstdint>
#include <string>

#include "studio/editor/command_context.h"

// "TRACK..TRACK PLACE, N rows" as the HUD names a block.
std::string block_name(const CommandContext *c, const KeyBlock &b);

// The edit commands on the selected block: true when a block is selected
// (the edit made, or refused or "no keys in the block" said), false when
// none is and the command acts on the key on the line instead.
bool nudge_block(CommandContext *c, int direction, bool large);
bool kind_block(CommandContext *c);
bool delete_block(CommandContext *c);
bool move_block(CommandContext *c, int32_t delta);
bool scale_block(CommandContext *c, float factor);

// Ctrl+C, Ctrl+V, Ctrl+Shift+V; Shift+Up/Down and Ctrl+Shift+Left/Right.
void cmd_copy(CommandContext *c);
void cmd_paste(CommandContext *c);
void cmd_paste_replace(CommandContext *c);
void cmd_extend_up(CommandContext *c);
void cmd_extend_down(CommandContext *c);
void cmd_extend_left(CommandContext *c);
void cmd_extend_right(CommandContext *c);
