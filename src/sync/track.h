// track.h - one sync track: its keys, key search and interpolation.
//
// A track is a list of keys on a timeline of rows (20 rows per second of
// music). Between two keys the value follows the curve named by the first
// key's kind; before the first key and from the last key on it holds the end
// value. Tracks are created and filled by the device (device.h); the frame
// loop only reads them through track_value_at. The file layout is in
// track_file.h.
#pragma once

#include <cstdint>

enum {
    INTERP_HOLD = 0,
    INTERP_LINEAR = 1,
    INTERP_SMOOTH = 2,
    INTERP_QUADRATIC = 3,
};

struct SyncKey {
    int32_t row;   // rows, 20 per second of music
    float value;
    int32_t kind;  // INTERP_*; widened with sign from the file's byte
};

struct SyncTrack {
    char *name;        // heap copy of the name the track was opened with
    SyncKey *keys;     // key_count keys, strictly increasing rows once loaded
    int32_t key_count; // never negative
};

// Index of the key whose row equals `row`; otherwise -(p + 1) where p is the
// index of the first key with a greater row (key_count if none). -1 for an
// empty track.
int locate_key(const SyncTrack *t, int row);

// The track's value at a fractional row. Pure read; no allocation.
double track_value_at(const SyncTrack *t, double row);
