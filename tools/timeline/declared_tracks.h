// declared_tracks.h - the tracks the scenes declare in their own code
// (src/scenes/scene_track.h), found by reading the scene sources.
//
// The pattern: a line whose first word is DEMO_SCENE_TRACK( declares a track
// and must read, spaces aside,
//
//   DEMO_SCENE_TRACK(HANDLE, "NAME");
//
// HANDLE a C++ identifier, NAME 1 to 64 letters, digits, "." and "_". Any
// other line starting so is an error rather than a declaration passed over
// (the build would compile it, and the timeline must know the name). A
// declaration is "read" when its handle's name appears again, as a whole
// word, anywhere else in its unit.
//
// The compiler reads the sources itself, rather than a list the build
// writes from them, so that `timeline compile` by hand and the studio's
// reload see the same names as the build, from the one reading here.
#pragma once

#include <string>
#include <vector>

struct TrackDeclaration {
    std::string name;   // the track's name
    std::string handle; // the handle's C++ name
    std::string file;   // as the scan was given it
    int line = 0;
    bool read = false;  // the handle is used again in its unit
};

// Scans one unit's text, appending its declarations to *out; each problem
// is appended to *errors as "FILE:LINE: message". False when there was one.
bool scan_track_declarations(const std::string &text, const std::string &file,
                             std::vector<TrackDeclaration> *out, std::string *errors);

// The rules across units: a name declared twice, or one of the demo's own
// tracks (base/facts.h). False with "FILE:LINE: message" lines in *errors.
bool check_track_declarations(const std::vector<TrackDeclaration> &decls, std::string *errors);

// Every *.cpp of dir, in name order, scanned and checked; files named
// "DIR/NAME.cpp" in the messages. False with the messages (a source that
// cannot be read is one).
bool read_track_declarations(const std::string &dir, std::vector<TrackDeclaration> *out,
                             std::string *errors);

// "FILE:LINE: warning: ..." for each declaration whose handle no code reads.
std::string unread_track_warnings(const std::vector<TrackDeclaration> &decls);

// The scene table's length as src/scenes/scene_table.cpp gives it: its
// entry lines, `{"NAME", ROUTINE, true|false},` each on a line of its own;
// -1 when there are none.
int count_scene_table_entries(const std::string &text);

// "FILE:LINE: warning: ..." for each "scene" key whose scene (its value
// truncated) is outside a table of `scenes` entries.
struct Timeline;
std::string scene_key_warnings(const Timeline &timeline, int scenes, const std::string &file);

// The names, in declaration order.
std::vector<std::string> declared_track_names(const std::vector<TrackDeclaration> &decls);
