// typing.h - the prompt: a value (0-9 and the point start it), a factor (X)
// or a place (Ctrl+G) typed on the keys. While it is open every key belongs
// to it: digits, the point, minus (the sign) and, for a place, the colon
// edit it; Backspace erases, Enter takes it, Escape cancels it; any other
// key is ignored, so no command runs half-way through a number.
#pragma once

#include <cstdint>
#include <string>

#include "studio/editor/command_context.h"

// The keys that open the prompt: a digit or the point (typed as its first
// character), X, Ctrl+G.
void cmd_type(CommandContext *c);
void cmd_scale(CommandContext *c);
void cmd_go_to(CommandContext *c);

// A key pressed while the prompt is open, with the modifiers held (MOD_*).
void press_typing_key(CommandContext *c, SDL_Keycode k, uint8_t held);

// A place typed after Ctrl+G: "BAR:BEAT" at `tempo` (beats counted from 0
// within the bar), a plain row ("384"), or seconds with a decimal point
// ("62.096", or "1:02.096" as minutes and seconds). *seconds gets the time;
// false with the reason in *why.
bool parse_place(const std::string &text, const TimelineTempo &tempo, double *seconds, std::string *why);
