// save.h - writing the key editor's source back into the watched timeline,
// off the frame path and never over a version the studio did not read.
//
// The save only turns the editor's text into the file: the playing tracks
// take an edit elsewhere (studio/editor/play_keys.h). A request takes the
// editor's text and a digest of its keys at once; a worker thread then
// parses the text again (it must give exactly those keys, digest for
// digest) and writes it beside the file (tools/common/output_file.h: exclusive temporary
// file, flushed to disk). It is put in place only while the file there is
// the one whose text the watch last took or saved (never a version it only
// looked at, such as one it could not read or a bad text not yet shown):
// tools/common/place_files.h's checked exchange. When it is another one, an
// outside save landed since: nothing of the studio's is written and the
// watch reads that version.
//
// A symbolic link is followed: the file it names is replaced and the link
// stays. A file without any write bit in its mode (or that we may not write)
// is never replaced, even by root: the request is refused with the reason.
//
// Saves run one at a time, in order; a request made while one runs waits
// for it (a newer request replaces a waiting one: each holds the whole
// text). While any is in flight the watch does not read the file and takes
// no change as an outside one; a finished save is announced to it
// (note_own_save), so the studio's own save is never reloaded.
#pragma once

#include <memory>
#include <string>

#include "studio/editor/key_edit.h"
#include "studio/files/reload.h"

struct SaveJob;

struct SourceSaver {
    std::shared_ptr<SaveJob> running; // on the worker thread
    std::shared_ptr<SaveJob> waiting; // the newest request behind it
};

enum SaveOutcome {
    SAVE_NONE,     // nothing finished
    SAVE_DONE,     // written and announced to the watch
    SAVE_FAILED,   // not written; *message says why
    SAVE_CONFLICT, // an outside save was found in place and kept; the watch reads it next
};

// Queues a save of `editor`'s source into `watch`'s file. False, with the
// reason in *why and nothing queued, when the file may not be replaced.
bool request_source_save(SourceSaver *saver, TimelineWatch *watch, const KeyEditor &editor,
                         std::string *why);

// Takes a finished save without waiting, and starts the waiting one. A
// failure or a conflict comes with a line for the HUD in *message.
SaveOutcome poll_source_save(SourceSaver *saver, TimelineWatch *watch, std::string *message);

// Waits for every save in flight (quitting; tests). The last outcome that
// was not SAVE_DONE wins, with its message.
SaveOutcome finish_source_saves(SourceSaver *saver, TimelineWatch *watch, std::string *message);

// For tests: called on the worker with the path about to be replaced, after
// the new file is written and before the exchange: the worst moment for an
// outside save to land. Null in the program.
extern void (*SaveHookBeforeReplace)(const std::string &path);
