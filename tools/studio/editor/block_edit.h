// block_edit.h - edits on the keys of one track within a range of rows, the
// pieces of the key editor's block commands (a block is the same range on
// several tracks, each done by these). Plain key lists in, plain key lists
// out; the caller makes one undo step of all the tracks it changed.
//
// Rows are [row0, row1). A key never swallows another: a move or a pasting
// that would land a key on a row that holds one outside the range is
// refused whole (false, the reason in *why, the keys untouched), unless the
// paste is told to replace what is in its rows.
#pragma once

#include <cstdint>
#include <string>

#include "studio/editor/key_edit.h"

// How many keys lie in [row0, row1).
int count_keys_in(const KeyList &keys, int32_t row0, int32_t row1);

// Removes the keys in [row0, row1); returns how many.
int delete_keys_in(KeyList *keys, int32_t row0, int32_t row1);

// Moves every key in [row0, row1) by `delta` rows. Refused when one would
// go below row 0 or past the last row, or onto a key outside the range.
bool move_keys_in(KeyList *keys, int32_t row0, int32_t row1, int32_t delta, std::string *why);

// Puts `clip` (rows relative to `at`, all below `length`) at row `at`. With
// `replace` the keys in [at, at + length) go first; without it the keys
// there stay and a clip key on one of their rows refuses the whole paste.
bool paste_keys_at(KeyList *keys, const KeyList &clip, int32_t at, int32_t length, bool replace,
                   std::string *why);

// Sets the curve kind of every key in [row0, row1); returns how many.
int set_kind_in(KeyList *keys, int32_t row0, int32_t row1, int32_t kind);

// Multiplies, or adds to, the value of every key in [row0, row1); returns
// how many.
int scale_values_in(KeyList *keys, int32_t row0, int32_t row1, float factor);
int offset_values_in(KeyList *keys, int32_t row0, int32_t row1, float delta);
