// key_lines.h - one key line of the timeline source, for the key editor's
// rewrite (key_edit.h): the words of a changed key replaced in place, with
// the columns after them kept where there is room, and a new key's line in
// the columns of a neighbouring key line (the compiler's own line,
// format_key_line, when the file has none).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "sync/track.h"
#include "timeline/timeline.h"

// The end of the line of `text` that starts at `at`: after its '\n', or the
// text's end; the line itself.
size_t source_line_end_of(const std::string &text, size_t at);
std::string source_line_at(const std::string &text, size_t at);

// The line end of a line ("\n", "\r\n" or none).
std::string_view source_line_end(std::string_view line);

// A key line with the words that differ between `from` and `to` replaced.
std::string rewrite_key_line(const std::string &line, const SyncKey &from, const SyncKey &to,
                             const TimelineTempo &tempo);

// A new key line for `k` in the columns of `model` (a key line of the same
// track or of any track), or the compiler's own line when `model` is null.
std::string new_key_line(const std::string *model, const SyncKey &k, const TimelineTempo &tempo);
