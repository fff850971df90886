// commands.h - the studio's commands: every key the studio answers, in one
// table of key, modifiers, command and help text. The dispatcher, the HUD's
// list of keys and the test against the manual's key table all read that
// table, so a new command is one line of it and one small function.
//
// A command is a plain function of a CommandContext (command_context.h): it
// changes the studio's state and says what the frame has to do with the
// world (seek, save the source, pause, mute, quit) in CommandContext::out;
// it never reads the music, the renderer or a file.
//
// The commands live by concern: the playhead and the views
// (transport_commands.h), the key on the playhead's line (key_commands.h),
// the block of rows x tracks with copy and paste (block_commands.h), edits
// as named undo steps (edit_steps.h) and the prompt for a value, factor or
// place (typing.h).
#pragma once

#include <SDL.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "studio/editor/command_context.h"

// ---- The table ------------------------------------------------------------------

// A row is a key's (`input` INPUT_KEY) or a mouse gesture's: its button or
// wheel and the surface its press must be on (gestures.h).
struct StudioCommand {
    SDL_Keycode key;             // SDLK_UNKNOWN for a gesture
    uint8_t mods;
    void (*run)(CommandContext *c);
    bool repeats;                // a held key repeats it
    const char *keys;            // a help row: its keys and action; null: the
    const char *help;            //   row of the entry before
    GestureInput input = INPUT_KEY;
    uint8_t surface = 0;         // a GestureSurface
};

extern const StudioCommand STUDIO_COMMANDS[];
extern const size_t STUDIO_COMMAND_COUNT;

// The help rows (keys, action) in table order, as docs/studio.md lists them.
std::vector<std::pair<std::string, std::string>> command_help_rows();

// The help rows as lines of at most `width` characters for the HUD.
std::vector<std::string> command_help_lines(size_t width);

// Runs the command of a key press (SDL keycode and SDL modifier state).
// While a value, factor or place is typed every key goes to the typing
// (keys that do not edit it are ignored) and no command runs. False when no
// command takes the key.
bool press_command_key(CommandContext *c, SDL_Keycode key, uint16_t sdl_mods, bool repeat);

// Runs the command of a mouse gesture (c->frame.mods the modifiers held, a
// GestureState in c->gesture): a press the first gesture row whose button,
// modifiers and surface take it, a move or release the command holding the
// drag (then done). False when none takes it.
bool run_gesture(CommandContext *c, const GestureEvent &event);
