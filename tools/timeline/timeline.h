// timeline.h - the demo's sync timeline as readable text, compiled to the
// .track files the demo loads, and .track files dumped back to text.
//
// Source syntax (one statement per line, "#" starts a comment, blank lines
// and indentation are free; a UTF-8 byte-order mark at the start is skipped):
//
//   tempo BPM [BEATS]          the music's beats per minute and beats per bar
//   track NAME                 starts the section of one of the demo's tracks
//   ROW  VALUE  KIND           one key of the current track
//   mark NAME ROW              a named place in the music (for the studio)
//
// ROW is either a plain integer row (20 rows per second of music, negative
// allowed, 32-bit) or BAR:BEAT, both counted from 0. The tempo sets where a
// BAR:BEAT falls: BPM is a decimal number from 10 to 1200, BEATS a whole
// number from 1 to 32 (4 when left out). Without a tempo line the music runs
// at 150 BPM, 4 beats a bar: a beat is 8 rows, a bar 32, "12:0" is row 384
// and "3:2" row 112. At a tempo whose beat is not a whole number of rows
// (128 BPM: 9.375 rows) a BAR:BEAT names the nearest row, a half rounding
// up ("1:0" at 128 BPM is beat 4, 37.5 rows: row 38). Rows stay 20 a second
// whatever the tempo, so a key written as a plain row keeps its row when the
// tempo changes. At most one tempo line, before the first "track" and "mark"
// line.
//
// VALUE is a decimal number (for example 7, -0.5, 1.25e2), stored as a 32-bit
// float; it must be finite. KIND names the curve from this key to the next:
// hold, linear, smooth or quadratic. Rows must increase strictly within a
// track. Every track of DEMO_TRACKS (base/facts.h) must have exactly one
// section; a section without keys gives an empty track (reads 0.0
// everywhere). A track a scene declares in its own code (declared_tracks.h)
// may have one section; without one its file is an empty track. A mark may stand anywhere (inside a section too: the keys
// after it still belong to the section); NAME is one word, and marks do not
// go into the track files: the compiler checks them and keeps them, as it
// keeps comments, for the studio.
//
// Compiling checks the whole source first and writes nothing when anything is
// wrong; each problem is reported as "FILE:LINE: message", with control
// bytes of the source (NUL included) shown as \xHH. Dumping prints a
// .track file in the same syntax at the default tempo, rows as BAR:BEAT
// where they fall on a beat, so compile -> dump -> compile reproduces the
// files byte for byte.
//
// The parse also records where each section and each key stands in the text
// (line and byte offset of its line), and timeline_line_words splits a line
// as the parser does: the studio's source rewrite works from these, so the
// syntax lives in this one place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/facts.h"
#include "sync/track_file.h" // SyncKey, encode_track, decode_track, track_file_path

// The track names the demo opens, in its order ("scene", "clear.r", ...), and
// the music's rows per beat and bar: all from base/facts.h.
enum { TIMELINE_TRACK_COUNT = DEMO_TRACK_COUNT };
inline constexpr const auto &TimelineTrackNames = DEMO_TRACK_NAMES;

// Where a statement stands in the source: its line (from 1) and the byte
// offset of that line's first byte in the text given to parse_timeline (the
// byte-order mark, when there is one, is before the first line's offset).
struct SourcePlace {
    int32_t line = 0;
    uint32_t offset = 0;
};

struct TimelineTrack {
    std::string name;
    std::vector<SyncKey> keys;        // strictly increasing rows
    int line = 0;                     // source line of its "track" statement
    uint32_t offset = 0;              // byte offset of that line
    std::vector<SourcePlace> places;  // the line of each key, as `keys`
};

// The music's tempo. Rows stay 20 a second; the tempo only says where beats
// and bars fall.
struct TimelineTempo {
    double beats_per_minute = 60.0 * ROWS_PER_SECOND / ROWS_PER_BEAT; // 150
    int32_t beats_per_bar = BEATS_PER_BAR;                            // 4
};

struct TimelineMark {
    std::string name;
    int32_t row = 0;
    int line = 0; // its source line
};

// Tracks in the order of TimelineTrackNames; entries whose section is missing
// have line 0. The tracks the scenes declare follow in `declared`, in the
// order of the names given to the parse.
struct Timeline {
    TimelineTrack tracks[TIMELINE_TRACK_COUNT];
    std::vector<TimelineTrack> declared;
    TimelineTempo tempo;               // the default when there is no tempo line
    int tempo_line = 0;                // 0: no tempo line
    std::vector<TimelineMark> marks;   // in row order (equal rows: source order)
};

// Index of a track name in TimelineTrackNames, or -1.
int find_timeline_track(const std::string &name);

// Name of an interpolation kind ("hold", ...), or null for a kind outside 0..3.
const char *interp_kind_name(int32_t kind);

// Parses source text. file_name only labels the messages. On failure returns
// false with every problem found, one "FILE:LINE: message" per line, in
// *errors; *out is then incomplete and must not be written.
bool parse_timeline(const std::string &text, const std::string &file_name, Timeline *out,
                    std::string *errors);
// The same, taking sections for the declared track names too (an unknown
// name's message then lists them).
bool parse_timeline(const std::string &text, const std::string &file_name,
                    const std::vector<std::string> &declared, Timeline *out, std::string *errors);

// ---- Tempo ----------------------------------------------------------------
// For the compiler's BAR:BEAT and the studio's grid, snapping and notation.

// Rows a beat: 1200 / BPM (8 at 150 BPM; 9.375 at 128).
double tempo_rows_per_beat(const TimelineTempo &tempo);

// The row nearest beat number `beat` (beats counted from 0 at row 0; a half
// row rounds up), clamped to the 32-bit rows.
int32_t tempo_beat_row(const TimelineTempo &tempo, int64_t beat);

// The number of the last beat at or before `row` (negative before row 0):
// tempo_beat_row of it is <= row < tempo_beat_row of the next.
int64_t tempo_beat_at(const TimelineTempo &tempo, int32_t row);

// The bar and the beat in it of the last beat at or before `row` (bars
// counted from 0 at row 0, negative before it): what a playhead's BAR:BEAT
// reads.
void tempo_bar_beat(const TimelineTempo &tempo, int32_t row, int64_t *bar, int32_t *beat);

// Whether `row` is a beat's row; its number in *beat.
bool tempo_row_is_beat(const TimelineTempo &tempo, int32_t row, int64_t *beat);

// A row as the source writes it: "BAR:BEAT" when it is a beat at or after
// row 0, the plain integer otherwise; at the default tempo, or the given one.
std::string format_row(int32_t row);
std::string format_row(int32_t row, const TimelineTempo &tempo);

// ---- The parser's words ----------------------------------------------------

// A word of a line: bytes [begin, end) of the line.
struct WordSpan {
    size_t begin = 0, end = 0;
};

// The words of one line (no line end in it, or a trailing "\r\n" or "\n"),
// up to a "#" comment, split exactly as the parser splits them.
std::vector<WordSpan> timeline_line_words(std::string_view line);

// What is wrong with a row or value word, if anything: the parser says it
// in its message, a caller with words of its own (the studio's prompt) by
// the kind.
enum WordFault { WORD_OK, WORD_MALFORMED, WORD_OUT_OF_RANGE, WORD_BEAT_OUT_OF_RANGE };

// A row word as the parser reads it: "-12", "384" or "12:0" (bar and beat
// at `tempo`) into a 32-bit row. Returns "" when it is one, else the
// message ("beat out of range '1:4' (beats are 0 to 3)"); *fault (when
// given) says which kind of fault.
std::string parse_timeline_row(std::string_view word, const TimelineTempo &tempo, int32_t *row,
                               WordFault *fault = nullptr);

// A value word as the parser reads it: a finite decimal number that fits a
// float. Returns "" or the message, as parse_timeline_row.
std::string parse_timeline_value(std::string_view word, float *value, WordFault *fault = nullptr);

// A value in the shortest decimal form that reads back to the same float.
std::string format_value(float value);

// One key line in source syntax at `tempo`: two spaces, the row padded to
// 8 columns, the value to 12, the kind ("?" for a kind outside 0..3).
std::string format_key_line(const SyncKey &key, const TimelineTempo &tempo);

// One track section in source syntax: "track NAME" and one line per key
// (format_key_line at the default tempo).
std::string format_track(const std::string &name, const std::vector<SyncKey> &keys);

// The file the demo reads a track from, inside a directory:
// DIR/sync_NAME.track with NAME escaped as the sync device escapes it.
std::string track_output_path(const std::string &dir, const std::string &name);

// Reads and parses source_path, then writes every track's .track file into
// out_dir (created if missing). All or nothing: nothing is written unless the
// whole source is valid; every file is written to a temporary name first,
// then all are moved into place, and when one move fails every file already
// replaced gets its old content back (and a file that did not exist before
// is removed). On failure returns false with the messages in *errors.
bool compile_timeline_file(const std::string &source_path, const std::string &out_dir,
                           std::string *errors);
// The same with the tracks the scenes declare (their files written too).
bool compile_timeline_file(const std::string &source_path, const std::string &out_dir,
                           const std::vector<std::string> &declared, std::string *errors);

// Writes the track files of a parsed timeline into out_dir (created if
// missing), all or nothing, as compile_timeline_file does; false with the
// reason in *error.
bool write_timeline_tracks(const Timeline &tl, const std::string &out_dir, std::string *error);

// Reads a .track file and formats it as a section named `name`; when name is
// empty it comes from the file name ("sync_cam.x.track" gives "cam.x").
bool dump_track_file(const std::string &path, const std::string &name, std::string *text,
                     std::string *error);

// The largest source the compiler and the studio read: a timeline of a
// million keys is about 14 MB.
constexpr size_t TIMELINE_MAX_SOURCE_BYTES = 16u << 20;
