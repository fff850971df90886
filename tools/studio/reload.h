// reload.h - the timeline source watched while it plays: the file is read at
// every poll (the studio polls 20 times a second), compiled in memory by the
// timeline parser, and a good version replaces the twelve tracks' keys.
//
// A changed text that parses is taken at once. One that does not parse is
// taken (its errors shown and printed) only once it has been read the same at
// two polls in a row: an editor that truncates and then writes may be caught
// half-way, and a half-written file must not flash errors.
// A file that cannot be read (gone for a moment while an editor renames its
// new version into place, or not a regular file) changes nothing: the tracks
// and the messages stay as they are until it can be read again.
#pragma once

#include <string>

#include "timeline.h"

struct SyncTrack;

struct TimelineWatch {
    std::string path;
    std::string taken;        // the text last parsed, good or bad
    std::string pending;      // a changed bad text read once, not yet taken
    bool has_pending = false;
    bool unreadable = false;  // the last poll could not read the file
    std::string read_error;   // why, while unreadable
    std::string errors;       // "FILE:LINE: message" lines of `taken`; empty when good
    Timeline timeline;        // the last good timeline
    bool has_timeline = false;
};

enum WatchResult {
    WATCH_UNCHANGED,    // nothing to do
    WATCH_NEW_TIMELINE, // `timeline` holds a new good version; errors are cleared
    WATCH_NEW_ERRORS,   // a new bad version: `errors` holds its messages
};

// The first version, read and parsed at once. False when the file cannot be
// read (the reason in *error); a file that does not parse is not a failure:
// the result then is WATCH_NEW_ERRORS.
bool open_timeline_watch(TimelineWatch *w, const std::string &path, WatchResult *result,
                         std::string *error);

// Reads the file once and feeds what it read to take_timeline_text.
WatchResult poll_timeline_watch(TimelineWatch *w);

// One poll's worth of text; null when the file could not be read.
WatchResult take_timeline_text(TimelineWatch *w, const std::string *text);

// Gives each track the keys of the timeline track of the same name (tracks
// whose name the timeline does not know keep theirs). False when memory ran
// out on the way.
bool apply_timeline(const Timeline &timeline, SyncTrack *const *tracks, int count);
