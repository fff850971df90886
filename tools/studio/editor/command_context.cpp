// command_context.cpp - the helpers every room of the studio's commands
// shares: saying a line, asking for a seek, the cursor's line, names.
#include "studio/editor/command_context.h"

#include <cstdio>

uint8_t command_mods(uint16_t sdl_mods)
{
    return static_cast<uint8_t>(((sdl_mods & KMOD_SHIFT) ? MOD_SHIFT : 0) | ((sdl_mods & KMOD_CTRL) ? MOD_CTRL : 0) |
                                ((sdl_mods & KMOD_ALT) ? MOD_ALT : 0));
}

void say(CommandContext *c, const std::string &text, bool warn)
{
    c->editor->message = text;
    c->editor->message_warn = warn;
    c->out.said = true;
}

void seek_seconds(CommandContext *c, double seconds)
{
    c->out.seek = true;
    c->out.seek_to = clamp_time(seconds, c->length);
}

void seek_row(CommandContext *c, int64_t row)
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

std::string row_name(const CommandContext *c, int32_t row)
{
    return row_name(row, editor_tempo(*c->editor));
}

std::string number_text(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

std::string keys_word(int n)
{
    return std::to_string(n) + (n == 1 ? " key" : " keys");
}

const char *track_name(const CommandContext *c, int t)
{
    return key_editor_track_name(c->editor->model, t);
}

int32_t cursor_row(const CommandContext *c)
{
    return editor_cursor_row(*c->editor, c->seconds);
}

int rows_per_line(const CommandContext *c)
{
    return editor_rows_per_line(*c->editor);
}
