// play_keys.h - the one way keys reach the picture.
//
// The key editor owns the timeline's keys (key_edit.h); the tracks the frame
// reads (the process-wide Tracks of the sync device) hold a copy of one
// version of them. Every change of what plays goes through play_version:
//
//   - an edit, an undo or a redo: the editor's keys (command_frame.cpp, finish_command,
//     once the save of the source is queued; the save itself only writes the
//     text into the file, studio/files/save.h);
//   - a step of a key dragged in the curve view: the dragged track as it is
//     now (a command's preview, finish_command), and the editor's own keys
//     again when the drag is given up (its restore);
//   - a version of the file taken from outside: the watch's parse, which the
//     editor loads at the same time (studio.cpp, take_watch_result).
//
// Only the tracks whose keys differ are replaced, so an edit of one track
// copies that track alone. The editor link's server (studio/link/) reads the
// same tracks: a replaced track goes to the following demos at its next
// poll, and this is the place that tells of a change: each playing track
// has a count of its replacements (played_changes), so the server compares
// only the tracks whose count moved.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "studio/editor/key_model.h"
#include "timeline/timeline.h"

struct KeyEditor;
struct SyncTrack;

// One version of the timeline's keys, by timeline track (TimelineTrackNames);
// a null track is one that stays as it plays. The tracks the scenes declare
// follow by name: each goes into the device's track of that name (opened
// when it has none yet).
struct KeyVersion {
    std::array<const KeyList *, TIMELINE_TRACK_COUNT> tracks{};
    std::vector<std::pair<const std::string *, const KeyList *>> declared;
};

// The editor's keys.
KeyVersion editor_version(const KeyEditor &e);

// `keys` for one track (of the editor's, declared ones too), the others as
// they play (a drag's step: no
// comparison of the tracks it does not touch, however large).
KeyVersion track_version(const KeyEditor &e, int track, const KeyList &keys);

// The keys of a parsed timeline.
KeyVersion timeline_version(const Timeline &timeline);

// Gives each playing track whose keys differ from the version's track of
// its name those keys (a track the timeline does not know keeps its own).
// False when memory ran out on the way (those tracks keep what they had),
// with a line on standard error.
bool play_version(const KeyVersion &version);

// How many times play_version replaced this playing track's keys, a
// declared track's too (0 for a track it never replaced).
uint64_t played_changes(const SyncTrack *t);

// The track the frame reads for editor track `t` (a declared one by its
// name), or null.
const SyncTrack *playing_track(const KeyEditor &e, int t);
