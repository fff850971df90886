// timeline.h - the demo's sync timeline as readable text, compiled to the
// .track files the demo loads, and .track files dumped back to text.
//
// Source syntax (one statement per line, "#" starts a comment, blank lines
// and indentation are free; a UTF-8 byte-order mark at the start is skipped):
//
//   track NAME                 starts the section of one of the demo's tracks
//   ROW  VALUE  KIND           one key of the current track
//
// ROW is either a plain integer row (20 rows per second of music, negative
// allowed, 32-bit) or BAR:BEAT, both counted from 0, with 32 rows per bar and
// 8 rows per beat (4 beats per bar): "12:0" is row 384, "3:2" is row 112.
// VALUE is a decimal number (for example 7, -0.5, 1.25e2), stored as a 32-bit
// float; it must be finite. KIND names the curve from this key to the next:
// hold, linear, smooth or quadratic. Rows must increase strictly within a
// track. Every track of DEMO_TRACKS (base/facts.h) must have exactly one
// section; a section without keys gives an empty track (reads 0.0
// everywhere).
//
// Compiling checks the whole source first and writes nothing when anything is
// wrong; each problem is reported as "FILE:LINE: message", with control
// bytes of the source (NUL included) shown as \xHH. Dumping prints a
// .track file in the same syntax, rows as BAR:BEAT where they fall on a beat,
// so compile -> dump -> compile reproduces the files byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/facts.h"
#include "sync/track_file.h" // SyncKey, encode_track, decode_track, track_file_path

// The track names the demo opens, in its order ("scene", "clear.r", ...), and
// the music's rows per beat and bar: all from base/facts.h.
enum { TIMELINE_TRACK_COUNT = DEMO_TRACK_COUNT };
inline constexpr const auto &TimelineTrackNames = DEMO_TRACK_NAMES;

struct TimelineTrack {
    std::string name;
    std::vector<SyncKey> keys; // strictly increasing rows
    int line = 0;                  // source line of its "track" statement
};

// Tracks in the order of TimelineTrackNames; entries whose section is missing
// have line 0.
struct Timeline {
    TimelineTrack tracks[TIMELINE_TRACK_COUNT];
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

// A row as the source writes it: "BAR:BEAT" when it is a beat at or after
// row 0, the plain integer otherwise.
std::string format_row(int32_t row);

// A value in the shortest decimal form that reads back to the same float.
std::string format_value(float value);

// One track section in source syntax: "track NAME" and one line per key.
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

// Reads a .track file and formats it as a section named `name`; when name is
// empty it comes from the file name ("sync_cam.x.track" gives "cam.x").
bool dump_track_file(const std::string &path, const std::string &name, std::string *text,
                     std::string *error);

// Reads a whole regular file of at most max_bytes into *bytes. Anything else
// (a FIFO, a device, a directory) is refused without blocking: the file is
// opened non-blocking and the opened descriptor is checked.
bool read_whole_file(const std::string &path, size_t max_bytes, std::string *bytes,
                     std::string *error);
