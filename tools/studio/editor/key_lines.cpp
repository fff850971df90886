// key_lines.cpp - one key line of the source: its words rewritten in place,
// or a new line in the columns of a neighbour.
#include "studio/editor/key_lines.h"

#include <algorithm>
#include <cstring>

// The end of the line that starts at `at`: after its '\n', or the text's end.
size_t source_line_end_of(const std::string &text, size_t at)
{
    const size_t nl = text.find('\n', at);
    return nl == std::string::npos ? text.size() : nl + 1;
}

std::string source_line_at(const std::string &text, size_t at)
{
    return text.substr(at, source_line_end_of(text, at) - at);
}

// The line end of a line ("\n", "\r\n" or none).
std::string_view source_line_end(std::string_view line)
{
    if (line.ends_with("\r\n"))
        return "\r\n";
    if (line.ends_with('\n'))
        return "\n";
    return "";
}

static std::string kind_word(int32_t kind)
{
    const char *name = interp_kind_name(kind);
    return name ? name : "hold";
}

static bool same_value(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Replaces the words of a key line that differ between `from` and `to`.
// A shorter word is padded and a longer one takes from the blanks after it,
// so the columns after it stay where they were when there is room.
std::string rewrite_key_line(const std::string &line, const SyncKey &from, const SyncKey &to,
                             const TimelineTempo &tempo)
{
    const std::vector<WordSpan> spans = timeline_line_words(line);
    if (spans.size() != 3)
        return line; // cannot happen on a source that parsed
    const std::string words[3] = {format_row(to.row, tempo), format_value(to.value), kind_word(to.kind)};
    const bool change[3] = {from.row != to.row, !same_value(from.value, to.value), from.kind != to.kind};
    std::string out = line;
    for (int w = 2; w >= 0; w--) {
        if (!change[w])
            continue;
        const size_t s = spans[w].begin, e = spans[w].end;
        const size_t old_len = e - s;
        std::string text = words[w];
        size_t eat = 0;
        if (w < 2) { // columns after this word
            size_t blanks = 0;
            while (e + blanks < out.size() && out[e + blanks] == ' ')
                blanks++;
            if (text.size() < old_len)
                text.append(old_len - text.size(), ' ');
            else if (text.size() > old_len && blanks > 1)
                eat = std::min(blanks - 1, text.size() - old_len);
        }
        out.replace(s, old_len + eat, text);
    }
    return out;
}

// A new key line in the columns of `model` (a key line of the same track
// or of any track), or in the compiler's own layout when there is none.
std::string new_key_line(const std::string *model, const SyncKey &k, const TimelineTempo &tempo)
{
    if (!model)
        return format_key_line(k, tempo);
    const std::string row = format_row(k.row, tempo), value = format_value(k.value), kind = kind_word(k.kind);
    const std::vector<WordSpan> spans = timeline_line_words(*model);
    std::string out = model->substr(0, spans.empty() ? 0 : spans[0].begin);
    const auto pad_to = [&](size_t column) {
        if (out.size() < column)
            out.append(column - out.size(), ' ');
        else
            out += ' ';
    };
    out += row;
    pad_to(spans.size() == 3 ? spans[1].begin : 0);
    out += value;
    pad_to(spans.size() == 3 ? spans[2].begin : 0);
    out += kind;
    const std::string_view end = source_line_end(*model);
    return out + std::string(end.empty() ? "\n" : end);
}
