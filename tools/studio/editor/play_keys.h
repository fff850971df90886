// play_keys.h - the one way keys reach the picture.
//
// The key editor owns the timeline's keys (key_edit.h); the tracks the frame
// reads (the process-wide Tracks of the sync device) hold a copy of one
// version of them. Every change of what plays goes through play_version:
//
//   - an edit, an undo or a redo: the editor's keys (edit.cpp, finish_command,
//     once the save of the source is queued; the save itself only writes the
//     text into the file, studio/files/save.h);
//   - a step of a key dragged in the curve view: the editor's keys with the
//     dragged track as it is now (edit.cpp, curve_motion), and the editor's
//     own keys again when the drag is given up;
//   - a version of the file taken from outside: the watch's parse, which the
//     editor loads at the same time (studio.cpp, take_watch_result).
//
// Only the tracks whose keys differ are replaced, so an edit of one track
// copies that track alone. The editor link's server (studio/link/) reads the
// same tracks: a replaced track goes to the following demos at its next
// poll, and this is the place that tells of a change.
#pragma once

#include <array>

#include "studio/editor/key_model.h"
#include "timeline/timeline.h"

struct KeyEditor;

// One version of the timeline's keys, by timeline track (TimelineTrackNames).
using KeyVersion = std::array<const KeyList *, TIMELINE_TRACK_COUNT>;

// The editor's keys; with `track` >= 0, `keys` in place of that track's.
KeyVersion editor_version(const KeyEditor &e, int track = -1, const KeyList *keys = nullptr);

// The keys of a parsed timeline.
KeyVersion timeline_version(const Timeline &timeline);

// Gives each playing track whose keys differ from the version's track of
// its name those keys (a track the timeline does not know keeps its own).
// False when memory ran out on the way (those tracks keep what they had),
// with a line on standard error.
bool play_version(const KeyVersion &version);
