// key_commands.h - the edit commands on the key of the selected track on the
// playhead's grid line (in every view); with a block selected each acts on
// the block instead (block_commands.h). A key moved onto another is refused.
#pragma once

#include <string>

#include "studio/editor/command_context.h"

// The key of the selected track on the playhead's line, or -1; the second
// says there is none.
int key_here(const CommandContext *c);
int key_here_or_say(CommandContext *c);

// The selected track's value at `row` as the frame reads it (0 without
// tracks).
double value_between_keys(const CommandContext *c, int track, int32_t row);

// Sets the value of the key on the line, or of a new key there, as one
// step named "VERB TRACK at PLACE to VALUE".
void set_value_here(CommandContext *c, float value, const std::string &verb);

// The nudge step of a track (small or large): whole steps for the
// selectors, colour steps of 1 and 16, camera steps that show on the
// picture; 1 and 10 for a track not listed.
float nudge_step(int track, bool large);

// Enter, Ctrl+Up/Down (with Shift), K, Delete, Alt+Up/Down (with Shift).
void cmd_insert(CommandContext *c);
void cmd_nudge_up(CommandContext *c);
void cmd_nudge_down(CommandContext *c);
void cmd_nudge_up_large(CommandContext *c);
void cmd_nudge_down_large(CommandContext *c);
void cmd_kind(CommandContext *c);
void cmd_delete(CommandContext *c);
void cmd_move_up(CommandContext *c);
void cmd_move_down(CommandContext *c);
void cmd_move_up_beat(CommandContext *c);
void cmd_move_down_beat(CommandContext *c);
