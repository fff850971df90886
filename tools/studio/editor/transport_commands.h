// transport_commands.h - the commands that move the playhead and those of
// the views: each changes the transport or view state, or asks the frame
// (CommandOut) to seek, pause, mute, go full screen or quit.
#pragma once

#include "studio/editor/command_context.h"

// Left/Right, Shift+Left/Right, Up/Down, Page Up/Down, Ctrl+Page Up/Down,
// Home, End, L, Ctrl+Left/Right, [ and ].
void cmd_beat_back(CommandContext *c);
void cmd_beat_on(CommandContext *c);
void cmd_bar_back(CommandContext *c);
void cmd_bar_on(CommandContext *c);
void cmd_line_up(CommandContext *c);
void cmd_line_down(CommandContext *c);
void cmd_scene_back(CommandContext *c);
void cmd_scene_on(CommandContext *c);
void cmd_mark_back(CommandContext *c);
void cmd_mark_on(CommandContext *c);
void cmd_home(CommandContext *c);
void cmd_end(CommandContext *c);
void cmd_loop(CommandContext *c);
void cmd_track_back(CommandContext *c);
void cmd_track_on(CommandContext *c);
void cmd_key_back(CommandContext *c);
void cmd_key_on(CommandContext *c);

// Tab, C, F, G, +/-, Space, Shift+Space, M, H, F1/?, P, F11, Escape.
void cmd_grid(CommandContext *c);
void cmd_curve(CommandContext *c);
void cmd_curve_range(CommandContext *c);
void cmd_zoom(CommandContext *c);
void cmd_strip_in(CommandContext *c);
void cmd_strip_out(CommandContext *c);
void cmd_pause(CommandContext *c);
void cmd_half_speed(CommandContext *c);
void cmd_mute(CommandContext *c);
void cmd_hud(CommandContext *c);
void cmd_help(CommandContext *c);
void cmd_snapshot(CommandContext *c);
void cmd_fullscreen(CommandContext *c);
void cmd_escape(CommandContext *c);
