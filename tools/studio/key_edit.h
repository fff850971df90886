// key_edit.h - the studio's key editor: the keys of every track as an
// edit model, and the timeline source kept in step with it line by line.
//
// Every edit replaces the key lists of one or more tracks. The source is then
// changed only where a key changed: a key whose row, value or kind changed
// has just those words of its line replaced (spacing, comment and the other
// words stay); a removed key loses its line; a new key gets a new line in its
// track's section, after the key before it (or after the "track" line), in
// the columns of a neighbouring key line of its track (of the file's first
// key line when the track has none), its row written as BAR:BEAT when it
// falls on a beat, else as a plain row. Comments, blank lines, the order of
// the sections and every untouched key line stay byte for byte.
//
// Each edit is one undo step holding the lines it replaced, so undoing every
// step gives back the original bytes exactly.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sync/track.h"
#include "timeline/timeline.h"

using KeyList = std::vector<SyncKey>; // strictly increasing rows

// ---- The edit model on plain key lists ---------------------------------------

// Index of the key at `row`, or -1.
int find_key(const KeyList &keys, int32_t row);

// Index of the last key at or before `row`, or -1.
int key_at_or_before(const KeyList &keys, int32_t row);

// Inserts a key; false when a key already sits on its row.
bool insert_key(KeyList *keys, SyncKey key);

// Sets the value of the key at `row`, or inserts one of kind `new_kind`.
void set_key_value(KeyList *keys, int32_t row, float value, int32_t new_kind);

// Removes the key at `row`; false when there is none.
bool remove_key(KeyList *keys, int32_t row);

// Moves the key at `from` to row `to`. Refused (false, reason in *why) when
// there is no key at `from`, `to` is below row 0, or another key sits on
// `to`: a move never swallows a key.
bool move_key(KeyList *keys, int32_t from, int32_t to, std::string *why);

// The keys in rows [from, from + length), their rows made relative to `from`.
KeyList copy_keys(const KeyList &keys, int32_t from, int32_t length);

// Replaces the keys in rows [at, at + length) by `clip` (relative rows, all
// below length) moved to `at`.
void paste_keys(KeyList *keys, const KeyList &clip, int32_t at, int32_t length);

// ---- The source in step with the model ----------------------------------------

// One replaced run of lines: at line index `at`, `removed` became `inserted`.
struct LineSplice {
    int at = 0;
    std::vector<std::string> removed, inserted;
};

struct TrackChange {
    int track = 0;        // index in TimelineTrackNames
    KeyList before, after;
};

struct EditStep {
    std::vector<LineSplice> splices; // ascending `at`, in the coordinates before the step
    std::vector<TrackChange> changes;
};

struct KeyEditor {
    std::vector<std::string> lines;  // the source, each line with its own line end
    KeyList keys[TIMELINE_TRACK_COUNT];
    int track_line[TIMELINE_TRACK_COUNT] = {};   // index of each "track" line
    std::vector<int> key_line[TIMELINE_TRACK_COUNT]; // index of each key's line
    std::vector<EditStep> undo, redo;
    bool loaded = false;
};

// How many steps undo keeps (the oldest go first).
constexpr size_t KEY_EDITOR_UNDO_STEPS = 1000;

// Takes a source and its parse (parse_timeline of exactly this text
// succeeded). Clears the undo history.
void load_key_editor(KeyEditor *e, const std::string &text, const Timeline &parsed);

// The source as it stands.
std::string key_editor_text(const KeyEditor &e);

// Replaces the keys of the named tracks as one undo step and rewrites the
// lines concerned; clears redo. False (nothing changed) when no key list
// differs from what it was.
bool apply_key_edit(KeyEditor *e, const std::vector<std::pair<int, KeyList>> &tracks);

// Undo and redo one step; false when there is none. *changed_tracks gets
// the tracks whose keys changed.
bool undo_key_edit(KeyEditor *e, std::vector<int> *changed_tracks);
bool redo_key_edit(KeyEditor *e, std::vector<int> *changed_tracks);
