// key_history.h - the key editor's steps applied in place, and its undo and
// redo history (the calls undo_key_edit, redo_key_edit,
// key_editor_history_bytes and edit_step_first_change of key_edit.h).
//
// A step holds, per track, key splices and text splices in the coordinates
// before it. Applying one splices the track's keys, their line offsets and
// its section's text in place, each kept element moved once, and gives the
// step that undoes it.
#pragma once

#include <cstddef>

#include "studio/editor/key_edit.h"

// Room to grow for a sequence of `size`, so that an edit splices in place
// instead of moving a large track to a new block.
inline size_t edit_headroom(size_t size)
{
    return size + size / 8 + 256;
}

// Applies a step planned on the editor as it stands and keeps what undoes it
// (the oldest of KEY_EDITOR_UNDO_STEPS going first); clears redo.
void commit_edit_step(KeyEditor *e, const EditStep &step);
