// key_model.h - the key editor's model: a track's keys as a plain list in
// row order, and the edits on it (insert, set, remove, move, copy, paste).
// No source text here: studio/key_edit.h keeps the timeline source in step.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sync/track.h"

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

// Whether two keys are the same: row, kind, and the value bit for bit.
bool same_key(const SyncKey &a, const SyncKey &b);

// The index range [*first, *last) of the keys in rows [from, to).
void keys_in_rows(const KeyList &keys, int32_t from, int32_t to, size_t *first, size_t *last);
