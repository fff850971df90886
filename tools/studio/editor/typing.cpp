// typing.cpp - the prompt: a value, a factor or a place typed on the keys
// and taken with Enter. Rows and values are read by the timeline compiler's
// own parsers, so the prompt takes exactly what the source would; seconds
// ("62.096", "1:02.096") are the prompt's own.
#include "studio/editor/typing.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "studio/editor/block_commands.h"
#include "studio/editor/key_commands.h"

static int typed_char(SDL_Keycode k)
{
    if (k >= SDLK_0 && k <= SDLK_9)
        return '0' + (k - SDLK_0);
    if (k >= SDLK_KP_1 && k <= SDLK_KP_9)
        return '1' + (k - SDLK_KP_1);
    if (k == SDLK_KP_0)
        return '0';
    if (k == SDLK_PERIOD || k == SDLK_KP_PERIOD)
        return '.';
    return 0;
}

static bool is_colon(SDL_Keycode k)
{
    return k == SDLK_COLON || k == SDLK_SEMICOLON;
}

void cmd_type(CommandContext *c)
{
    c->editor->typing = true;
    c->editor->typing_for = TYPING_VALUE;
    c->editor->typed = std::string(1, static_cast<char>(typed_char(c->key)));
}

void cmd_scale(CommandContext *c)
{
    c->editor->typing = true;
    c->editor->typing_for = TYPING_SCALE;
    c->editor->typed.clear();
}

void cmd_go_to(CommandContext *c)
{
    c->editor->typing = true;
    c->editor->typing_for = TYPING_PLACE;
    c->editor->typed.clear();
    say(c, "go to: type BAR:BEAT, a row or seconds (with a point), then Enter", false);
}

// Seconds with a point: "62.096", or minutes and seconds "1:02.096".
static bool parse_seconds(const std::string &text, size_t colon, double *seconds, std::string *why)
{
    const auto real = [](const std::string &t, double *v) {
        const auto r = std::from_chars(t.data(), t.data() + t.size(), *v);
        return !t.empty() && r.ec == std::errc() && r.ptr == t.data() + t.size() && std::isfinite(*v) && *v >= 0.0;
    };
    double sec = 0.0;
    if (colon == std::string::npos) {
        if (!real(text, &sec)) {
            *why = "not a time: '" + text + "'";
            return false;
        }
        *seconds = sec;
        return true;
    }
    const std::string minutes = text.substr(0, colon);
    int64_t m = 0;
    const auto r = std::from_chars(minutes.data(), minutes.data() + minutes.size(), m);
    if (minutes.empty() || r.ec != std::errc() || r.ptr != minutes.data() + minutes.size() || m < 0 ||
        !real(text.substr(colon + 1), &sec) || sec >= 60.0 || m > 1000000) {
        *why = "not a time: '" + text + "' (M:SS.fff)";
        return false;
    }
    *seconds = static_cast<double>(m) * 60.0 + sec;
    return true;
}

// The beat of a "BAR:BEAT" whose beat the bar does not have, as a number.
static std::string beat_of(const std::string &text, size_t colon)
{
    const size_t first = text.find_first_not_of('0', colon + 1);
    return first == std::string::npos ? "0" : text.substr(first);
}

bool parse_place(const std::string &text, const TimelineTempo &tempo, double *seconds, std::string *why)
{
    if (!text.empty() && text[0] == '-') {
        *why = "not a place: '" + text + "' is before the start";
        return false;
    }
    const size_t colon = text.find(':');
    if (text.find('.') != std::string::npos)
        return parse_seconds(text, colon, seconds, why);
    int32_t row = 0;
    WordFault fault = WORD_OK;
    parse_timeline_row(text, tempo, &row, &fault);
    switch (fault) {
    case WORD_OK: *seconds = row / STUDIO_ROWS_PER_SECOND; return true;
    case WORD_OUT_OF_RANGE: *why = "out of range: '" + text + "'"; return false;
    case WORD_BEAT_OUT_OF_RANGE:
        *why = "no beat " + beat_of(text, colon) + " in a bar of " + std::to_string(tempo.beats_per_bar);
        return false;
    case WORD_MALFORMED: break;
    }
    *why = "not a place: '" + text + (colon != std::string::npos ? "' (BAR:BEAT)" : "' (BAR:BEAT, a row, or seconds with a point)");
    return false;
}

static void take_place(CommandContext *c)
{
    double seconds = 0.0;
    std::string why;
    if (!parse_place(c->editor->typed, editor_tempo(*c->editor), &seconds, &why)) {
        say(c, why, true);
        return;
    }
    // A place after the music's end is refused, not cut to the end (an
    // unknown length leaves every place open, as seeks do then).
    if (c->length >= 0.0 && seconds > c->length) {
        char text[96];
        std::snprintf(text, sizeof text, " is at %.3f s, the music ends at %.3f s", seconds, c->length);
        say(c, "past the end: '" + c->editor->typed + "'" + text, true);
        return;
    }
    seek_seconds(c, seconds);
    const int32_t row = cursor_row_at(c->out.seek_to, 1);
    const std::string name = row_name(c, row);
    say(c, "at " + name + (name.rfind("row ", 0) == 0 ? "" : " (row " + std::to_string(row) + ")"), false);
}


static void take_typed(CommandContext *c)
{
    EditorState *e = c->editor;
    e->typing = false;
    if (e->typing_for == TYPING_PLACE) {
        take_place(c);
        return;
    }
    float v = 0.0f;
    WordFault fault = WORD_OK;
    parse_timeline_value(e->typed, &v, &fault);
    if (fault != WORD_OK) {
        say(c, (fault == WORD_OUT_OF_RANGE ? "out of range: '" : "not a number: '") + e->typed + "'", true);
        return;
    }
    if (e->typing_for == TYPING_VALUE) {
        set_value_here(c, v, "set");
        return;
    }
    if (scale_block(c, v))
        return;
    const int i = key_here_or_say(c);
    if (i >= 0)
        set_value_here(c, e->model.keys[e->column][i].value * v, "scale");
}

// The longest text a prompt takes: longer than any number or place it can
// take, short enough for the HUD's line.
constexpr size_t TYPED_MAX = 64;

// While a value, a factor or a place is typed every key belongs to the
// prompt: digits, the point, minus (the sign) and, for a place, the colon
// edit it; Backspace erases, Enter takes it, Escape cancels it (only it: the
// block and the studio stay). Any other key, and any key with Ctrl or Alt,
// is ignored, so no command runs half-way through a number.
void press_typing_key(CommandContext *c, SDL_Keycode k, uint8_t held)
{
    EditorState *e = c->editor;
    if (k == SDLK_ESCAPE) {
        e->typing = false;
        return;
    }
    const bool colon = e->typing_for == TYPING_PLACE && is_colon(k);
    if (held != MOD_NONE && !(held == MOD_SHIFT && colon))
        return;
    const int ch = colon ? ':' : typed_char(k);
    if (ch && e->typed.size() < TYPED_MAX) {
        e->typed += static_cast<char>(ch);
        return;
    }
    switch (k) {
    case SDLK_MINUS:
    case SDLK_KP_MINUS:
        if (!e->typed.empty() && e->typed[0] == '-')
            e->typed.erase(0, 1);
        else if (e->typed.size() < TYPED_MAX)
            e->typed.insert(0, "-");
        return;
    case SDLK_BACKSPACE:
        if (!e->typed.empty())
            e->typed.pop_back();
        return;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        take_typed(c);
        return;
    default:
        return; // the prompt keeps it: no command runs
    }
}
