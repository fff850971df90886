// track.cpp - key search and interpolation of one sync track.
//
// Both functions are pure reads of a track that the device has loaded: keys
// in strictly increasing row order, key_count zero or more (device.cpp drops
// keys that would break the order). The frame loop calls track_value_at once
// per track per frame, so nothing here allocates or touches a file.
#include "sync/track.h"

#include <cassert>
#include <cmath>

#include "base/convert.h"

// Binary search by row: the index of the key on `row`, or -(p + 1) where p is
// the index of the first key with a greater row.
int locate_key(const SyncTrack *t, int row)
{
    int lo = 0;
    int hi = t->key_count;
    while (lo < hi) {
        int mi = lo + (hi - lo) / 2; // (lo + hi) / 2 without the overflow
        assert(mi != hi);
        if (t->keys[mi].row < row)
            lo = mi + 1;
        else if (t->keys[mi].row > row)
            hi = mi;
        else
            return mi;
    }
    assert(lo == hi);
    return -lo - 1;
}

// The value at a fractional row: the segment is chosen by the floored row, the
// position inside it by the unfloored row, so values move smoothly through the
// fraction of a row. Before the first key and from the last key on the track
// holds the end values; a segment of unknown kind reads 0.0.
double track_value_at(const SyncTrack *t, double row)
{
    if (t->key_count == 0)
        return 0.0;

    // Rows beyond the 32-bit range read as the range's ends: far past the
    // last key gives the last value. NaN floors to INT32_MIN, the first value.
    const int32_t r = row >= 2147483647.0 ? INT32_MAX : to_int32(std::floor(row));
    int i = locate_key(t, r);
    if (i < 0) {
        i = -i - 2; // last key below r, -1 before the first key
        if (i < 0)
            return t->keys[0].value;
    }
    if (i > t->key_count - 2)
        return t->keys[t->key_count - 1].value;

    const SyncKey &k = t->keys[i];
    const SyncKey &n = t->keys[i + 1];
    // The row span is a 32-bit difference for every sane track; formed in 64
    // bits so that keys more than 2^31 rows apart cannot overflow it.
    const int64_t span = static_cast<int64_t>(n.row) - k.row;
    const double tt = (row - k.row) / static_cast<double>(span); // 0 <= tt < 1
    // The difference is taken in single precision. Where that overflows (two
    // finite values near the float limits) it is taken in double instead, so
    // finite keys never give an infinite slope and NaN at the segment start.
    const float df = n.value - k.value;
    const double d = std::isinf(df) && std::isfinite(k.value) && std::isfinite(n.value)
                         ? static_cast<double>(n.value) - k.value
                         : df;
    const double s = k.value;

    switch (k.kind) {
    case INTERP_HOLD:
        return s;
    case INTERP_LINEAR:
        return s + tt * d;
    case INTERP_SMOOTH:
        return d * ((3.0 - (tt + tt)) * (tt * tt)) + s;
    case INTERP_QUADRATIC:
        return std::pow(tt, 2.0) * d + s;
    default:
        return 0.0;
    }
}
