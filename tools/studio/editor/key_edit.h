// key_edit.h - the key editor's source rewrite: the timeline source kept in
// step with the keys of every track (studio/key_model.h), line by line.
//
// The editor starts from a source and the compiler's parse of it, which says
// where every section and every key line stands; it never reads the syntax
// itself (words are split by the compiler's timeline_line_words). Every edit
// replaces keys of one or more tracks. The source is then changed only where
// a key changed: a key whose row, value or kind changed has just those words
// of its line replaced (spacing, comment and the other words stay); a
// removed key loses its line; a new key gets a new line in its track's
// section, after the key before it (or after the "track" line), in the
// columns of a neighbouring key line of its track (of the file's first key
// line when the track has none), its row written as BAR:BEAT when it falls
// on a beat of the file's tempo, else as a plain row. Comments, blank lines,
// the tempo and mark lines, the order of the sections and every untouched key
// line stay byte for byte. Keys on the same row before and after keep their
// line; between two such keys, the keys that went are paired in order with
// the ones that came, and a pair rewrites the old line (so a key moved past
// no other key keeps its line and comment).
//
// Each edit is one undo step that holds only what changed: the keys that
// went and came, and the bytes of the lines that went and came, with their
// places. Undoing every step gives back the original bytes exactly.
//
// Cost of an edit on a track of n keys in a section of b bytes: the key list
// and the section's text are spliced in place (moves of O(n) keys and O(b)
// bytes, no copy of either), and the lines after the change get their new
// offsets (O(n) additions). apply_key_edit, which takes whole lists, also
// compares them with the editor's (O(n)); apply_key_ranges takes only the
// rows that change. Other sections are not touched; key_editor_text joins
// all sections (O(file)) and is for the save.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "studio/editor/key_model.h"
#include "sync/track.h"
#include "timeline/timeline.h"

// ---- The source in step with the model ----------------------------------------

// One change to a sequence: at index `at` (in the coordinates before the
// change), `removed` became `inserted`.
struct KeySplice {
    uint32_t at = 0;
    KeyList removed, inserted;
    std::vector<uint32_t> removed_places, inserted_places; // their lines' offsets
};

struct TextSplice {
    uint32_t at = 0;
    std::string removed, inserted;
};

// What one step did to one track: key splices and text splices, each list
// ascending and in the coordinates before the step.
struct TrackStep {
    int track = 0; // index in KeyEditor::keys
    std::vector<KeySplice> keys;
    std::vector<TextSplice> text;
};

struct EditStep {
    std::vector<TrackStep> tracks;
};

struct KeyEditor {
    // Per track: the timeline's own (TimelineTrackNames), then the tracks the
    // scenes declare, as the parse had them (`declared`, their names). A
    // declared track without a section has an empty one, last in `order`; its
    // first key writes the section's "track" line too.
    std::string head;                               // the source before the first section
    std::vector<std::string> section = std::vector<std::string>(TIMELINE_TRACK_COUNT); // from its "track" line
    std::vector<int> order = std::vector<int>(TIMELINE_TRACK_COUNT); // the sections in file order
    std::vector<KeyList> keys = std::vector<KeyList>(TIMELINE_TRACK_COUNT);
    std::vector<std::vector<uint32_t>> places = std::vector<std::vector<uint32_t>>(TIMELINE_TRACK_COUNT); // each key line's offset in its section
    std::vector<std::string> declared;              // the declared tracks' names
    TimelineTempo tempo;                            // the source's tempo
    std::deque<EditStep> undo;                      // each entry undoes a step
    std::vector<EditStep> redo;                     // each entry redoes an undone step
    bool loaded = false;
};

// How many steps undo keeps (the oldest go first).
constexpr size_t KEY_EDITOR_UNDO_STEPS = 1000;

// Takes a source and its parse (parse_timeline of exactly this text
// succeeded). Clears the undo history. A parse that does not fit the text
// leaves the editor not loaded.
void load_key_editor(KeyEditor *e, const std::string &text, const Timeline &parsed);

// The name of an editor track: the timeline's own, then the declared ones.
const char *key_editor_track_name(const KeyEditor &e, int t);

// The source as it stands (all sections joined: O(file), for the save).
std::string key_editor_text(const KeyEditor &e);

// The tempo of the loaded source: where its beats and bars fall.
const TimelineTempo &key_editor_tempo(const KeyEditor &e);

// Replaces the keys of the named tracks as one undo step and rewrites the
// lines concerned; clears redo. False (nothing changed) when no key list
// differs from what it was, a list's rows do not increase, a track is out of
// range, or no source is loaded.
bool apply_key_edit(KeyEditor *e, const std::vector<std::pair<int, KeyList>> &tracks);

// The keys of `track` in rows [from, to) replaced by `keys` (rows within
// [from, to), increasing).
struct KeyRange {
    int track = 0;
    int32_t from = 0, to = 0;
    KeyList keys;
};

// Replaces rows of tracks as one undo step, as apply_key_edit does, without
// whole lists: for example a move is two ranges of one row each (then the
// key gets a new line), a paste one range per track. Ranges of one track must
// not overlap. False (nothing changed) when a range is malformed (keys
// outside it or not increasing, overlapping ranges, a track out of range) or
// nothing differs.
bool apply_key_ranges(KeyEditor *e, const std::vector<KeyRange> &ranges);

// Undo and redo one step; false when there is none. *changed_tracks gets
// the tracks whose keys changed.
bool undo_key_edit(KeyEditor *e, std::vector<int> *changed_tracks);
bool redo_key_edit(KeyEditor *e, std::vector<int> *changed_tracks);

// The bytes the undo and redo history holds (keys and text), for measuring.
size_t key_editor_history_bytes(const KeyEditor &e);

// Where a step (an entry of undo or redo) changes keys: its first track and
// the first row there that a key leaves or takes; false for a step without
// keys. For naming an undo on the HUD and moving the selection to it.
bool edit_step_first_change(const EditStep &step, int *track, int32_t *row);
