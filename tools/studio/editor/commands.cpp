// commands.cpp - the studio's command table, the dispatch of a key press to
// its command and the help the HUD and the README list from the table.
#include "studio/editor/commands.h"

#include "studio/editor/block_commands.h"
#include "studio/editor/edit_steps.h"
#include "studio/editor/gestures.h"
#include "studio/editor/key_commands.h"
#include "studio/editor/transport_commands.h"
#include "studio/editor/typing.h"

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
    {SDLK_UNKNOWN, MOD_CTRL_ALT_ANY, gesture_zoom, false, SAME, INPUT_WHEEL, ON_ANYWHERE},
    {SDLK_UNKNOWN, MOD_SHIFT | MOD_CTRL_ALT_ANY, gesture_wheel_pan, false, "Shift+wheel, middle-button drag on the strip",
     "pan the strip", INPUT_WHEEL, ON_ANYWHERE},
    {SDLK_UNKNOWN, MOD_ANY, gesture_wheel_pan, false, SAME, INPUT_WHEEL_SIDEWAYS, ON_ANYWHERE},
    {SDLK_UNKNOWN, MOD_ANY, gesture_pan, false, SAME, INPUT_MIDDLE, ON_STRIP},
    {SDLK_UNKNOWN, MOD_ANY, gesture_seek, false, "click or drag on the strip", "seek, snapped to the beat (Shift: not snapped)",
     INPUT_LEFT, ON_STRIP},
    {SDLK_UNKNOWN, MOD_ANY, gesture_loop, false, "right-button drag on the strip",
     "loop between the beats nearest to where the drag starts and ends (a right click clears the loop)", INPUT_RIGHT,
     ON_STRIP},
    {SDLK_UNKNOWN, MOD_ANY, gesture_grid, false, "click on the grid, drag on the grid",
     "select that track (on a line: go to its row); select a block", INPUT_LEFT, ON_GRID},
    // A key dragged in the curve view (the strip, the curve view and the
    // grid do not overlap, so their order here does not matter).
    {SDLK_UNKNOWN, MOD_ANY, gesture_key, false, SAME, INPUT_LEFT, ON_CURVE},
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

static bool mods_match(uint8_t wanted, uint8_t held)
{
    uint8_t compared = MOD_SHIFT | MOD_CTRL | MOD_ALT;
    if (wanted & MOD_SHIFT_ANY)
        compared &= static_cast<uint8_t>(~MOD_SHIFT);
    if (wanted & MOD_CTRL_ALT_ANY)
        compared &= static_cast<uint8_t>(~(MOD_CTRL | MOD_ALT));
    return (held & compared) == (wanted & compared);
}

bool press_command_key(CommandContext *c, SDL_Keycode key, uint16_t sdl_mods, bool repeat)
{
    const uint8_t held = command_mods(sdl_mods);
    c->key = key;
    if (c->editor->typing) {
        press_typing_key(c, key, held);
        return true;
    }
    for (const StudioCommand &cmd : STUDIO_COMMANDS) {
        if (cmd.input != INPUT_KEY || cmd.key != key || !cmd.run || !mods_match(cmd.mods, held))
            continue;
        if (repeat && !cmd.repeats)
            return true; // held toggles act once
        cmd.run(c);
        return true;
    }
    return false;
}

// The drag ends: its command takes the release, and the state is let go.
static void end_drag(CommandContext *c)
{
    GestureState *g = c->gesture;
    c->event.phase = GESTURE_RELEASE;
    g->run(c);
    *g = GestureState{};
}

bool run_gesture(CommandContext *c, const GestureEvent &event)
{
    GestureState *g = c->gesture;
    c->event = event;
    if (event.phase == GESTURE_MOVE || event.phase == GESTURE_RELEASE) {
        if (g->drag == HOLD_NONE || (event.phase == GESTURE_RELEASE && event.input != g->button))
            return false;
        if (event.phase == GESTURE_RELEASE)
            end_drag(c);
        else
            g->run(c);
        return true;
    }
    if (g->drag != HOLD_NONE && event.phase == GESTURE_PRESS) {
        if (event.input != g->button)
            return false; // one drag at a time
        end_drag(c);      // its release was lost: that drag ends here
        c->event = event;
    }
    const uint8_t held = command_mods(c->frame.mods);
    for (const StudioCommand &cmd : STUDIO_COMMANDS) {
        if (cmd.input != event.input || !cmd.run || !mods_match(cmd.mods, held) ||
            !on_surface(c, static_cast<GestureSurface>(cmd.surface), event.x, event.y))
            continue;
        cmd.run(c);
        if (g->drag != HOLD_NONE) {
            g->button = event.input;
            g->run = cmd.run;
        }
        return true;
    }
    return false;
}
