// track_export.h - the studio's --export DIR: the compiled .track files in
// DIR kept in step with every good version of the timeline the studio takes
// (its own saves and outside ones), so that the demo run from DIR shows the
// edits. The files are written with the compiler's own writer, all or
// nothing as `timeline compile` writes them, on a thread of their own: a
// request copies the key lists and returns, and a request made while a write
// is running replaces any older one still waiting (only the newest version
// matters).
#pragma once

#include <memory>
#include <string>

#include "timeline/timeline.h"

struct ExportWorker;

struct TrackExport {
    std::shared_ptr<ExportWorker> worker; // null: no export
};

// Starts exporting into `dir` (created on the first write if missing).
void open_track_export(TrackExport *x, const std::string &dir);

// Asks for the tracks of `timeline` to be written; nothing when not open.
void request_track_export(TrackExport *x, const Timeline &timeline);

// The message of a write that failed since the last call ("cannot ..."),
// once; false when there is none.
bool take_track_export_error(TrackExport *x, std::string *error);

// Waits until every request made so far is written; how many sets have been
// written in all.
unsigned long finish_track_export(TrackExport *x);

// Finishes the writes asked for and stops the thread.
void close_track_export(TrackExport *x);
