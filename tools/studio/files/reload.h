// reload.h - the timeline source watched while it plays, compiled in memory
// by the timeline parser; a good version is handed to the studio, which
// plays it (studio/editor/play_keys.h).
//
// A poll (the studio polls 20 times a second) looks only at the file's
// identity: device, inode, size and modification time. An unchanged file
// costs one stat. A changed one is read and parsed on a worker thread, so a
// large file never holds up a frame; the result is taken at a later poll.
// The file is opened without blocking and the opened descriptor must be a
// regular file of at most WATCH_MAX_BYTES (a FIFO or device renamed into
// place between a look and the open cannot stall anything).
//
// A changed text that parses is taken at once. One that does not parse is
// taken (its errors shown and printed) only once it has been seen the same at
// two polls in a row: an editor that truncates and then writes may be caught
// half-way, and a half-written file must not flash errors.
// A file that cannot be read (gone for a moment while an editor saves, not a
// regular file, too large) changes nothing: the tracks and the messages stay
// as they are. When the same reason holds at two polls in a row it is
// reported once (WATCH_READ_ERROR), until the file can be read again.
//
// Two identities are kept. `seen` is the file as last looked at, so that an
// unchanged one is not read again; it may be a version that was never
// taken (one that cannot be read, or a bad text waiting for its second
// look). `taken_file` is the file whose text is `taken`: the only version a
// save may replace, and the one an outside change is measured against.
//
// The studio's own saves are announced with note_own_save: the watch then
// knows the file as it wrote it, and does not take it for an outside change.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/file_identity.h"
#include "timeline/timeline.h"

// The parser's limit for a source file, as the compiler's.
constexpr size_t WATCH_MAX_BYTES = 16u << 20;

struct WatchJob; // a read and parse in flight on the worker thread

struct TimelineWatch {
    std::string path;
    std::string taken;        // the text last parsed, good or bad
    std::string pending;      // a changed bad text read once, not yet taken
    std::string pending_errors; // its messages
    bool has_pending = false;
    FileIdentity seen;        // the file as last looked at (read or not)
    FileIdentity taken_file;  // the file `taken` was read from (or the studio saved)
    bool unreadable = false;  // the last look could not read the file
    std::string read_error;   // why, while unreadable
    int read_error_polls = 0; // polls in a row with this reason
    bool read_error_reported = false;
    std::string errors;       // "FILE:LINE: message" lines of `taken`; empty when good
    Timeline timeline;        // the last good timeline
    bool has_timeline = false;
    uint64_t reads = 0;       // times the file was opened for reading
    size_t max_bytes = WATCH_MAX_BYTES;
    std::shared_ptr<WatchJob> job;
    bool job_stale = false;   // the studio saved while the job was reading
    bool saving = false;      // a save of the studio's is in flight (studio/save.h):
                              // the file's changes are its own until noted
    std::vector<std::string> declared; // the tracks the scenes declare: their sections parse
    bool read_again = false;  // declared changed: read and parse the file at the next poll
};

enum WatchResult {
    WATCH_UNCHANGED,    // nothing to do
    WATCH_NEW_TIMELINE, // `timeline` holds a new good version; errors are cleared
    WATCH_NEW_ERRORS,   // a new bad version: `errors` holds its messages
    WATCH_READ_ERROR,   // `read_error` has held for two polls: report it once
};

// The first version, read and parsed at once. False when the file cannot be
// read (the reason in *error); a file that does not parse is not a failure:
// the result then is WATCH_NEW_ERRORS.
bool open_timeline_watch(TimelineWatch *w, const std::string &path, WatchResult *result,
                         std::string *error);

// Looks at the file once; never blocks. Takes a finished read, or starts one
// when the file changed. Does nothing while the studio's own save is in flight.
WatchResult poll_timeline_watch(TimelineWatch *w);

// Waits for a read in flight and takes it (WATCH_UNCHANGED when none).
WatchResult finish_timeline_watch(TimelineWatch *w);

// Waits for a read in flight and drops it; for shutting down.
void close_timeline_watch(TimelineWatch *w);

// Whether the file differs from the one the watch last took (or a read is
// in flight): a change from outside that has not been taken yet, also one
// that cannot be read or waits as `pending`. False while the studio's own
// save is in flight (the save itself checks then).
bool timeline_changed_outside(const TimelineWatch &w);

// Records a save by the studio itself: `text` (which parsed as `parsed`) is
// now the file's content, and `written` the status of the file it wrote
// (taken before renaming it into place, so a change by someone else right
// after the rename still shows); null: look at the path now. The text and
// its parse are taken over (moved in: no copy of a large file on the frame).
void note_own_save(TimelineWatch *w, std::string text, Timeline parsed,
                   const struct stat *written);

// The track names the scene sources declare (timeline/declared_tracks.h).
// New names make the watch read and parse the file again at its next poll
// (its sections for them then parse, or no longer do); the same names change
// nothing.
void set_declared_tracks(TimelineWatch *w, std::vector<std::string> names);
