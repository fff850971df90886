// Key search and interpolation on tracks built in memory.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "sync/track.h"

namespace {

SyncTrack make_track(SyncKey *keys, int count)
{
    return SyncTrack{const_cast<char *>("test"), keys, count};
}

TEST(LocateKey, FindsKeysAndInsertionPoints)
{
    SyncKey keys[] = {{0, 0.0f, 0}, {10, 0.0f, 0}, {20, 0.0f, 0}};
    SyncTrack t = make_track(keys, 3);
    EXPECT_EQ(locate_key(&t, 10), 1);
    EXPECT_EQ(locate_key(&t, 5), -2);
    EXPECT_EQ(locate_key(&t, -1), -1);
    EXPECT_EQ(locate_key(&t, 25), -4);
    EXPECT_EQ(locate_key(&t, 0), 0);
    EXPECT_EQ(locate_key(&t, 20), 2);
    EXPECT_EQ(locate_key(&t, 15), -3);
}

TEST(LocateKey, EmptyTrackAndExtremeRows)
{
    SyncTrack empty = make_track(nullptr, 0);
    EXPECT_EQ(locate_key(&empty, 0), -1);
    EXPECT_EQ(locate_key(&empty, INT32_MIN), -1);

    SyncKey keys[] = {{INT32_MIN, 0.0f, 0}, {0, 0.0f, 0}, {INT32_MAX, 0.0f, 0}};
    SyncTrack t = make_track(keys, 3);
    EXPECT_EQ(locate_key(&t, INT32_MIN), 0);
    EXPECT_EQ(locate_key(&t, INT32_MAX), 2);
    EXPECT_EQ(locate_key(&t, 1), -3);
}

TEST(TrackValue, EmptyTrackReadsZero)
{
    SyncTrack t = make_track(nullptr, 0);
    EXPECT_EQ(track_value_at(&t, 0.0), 0.0);
    EXPECT_EQ(track_value_at(&t, -7.25), 0.0);
    EXPECT_EQ(track_value_at(&t, 1e6), 0.0);
}

TEST(TrackValue, OneKeyHoldsEverywhere)
{
    SyncKey keys[] = {{5, 3.25f, INTERP_SMOOTH}};
    SyncTrack t = make_track(keys, 1);
    EXPECT_EQ(track_value_at(&t, -100.0), 3.25);
    EXPECT_EQ(track_value_at(&t, 5.0), 3.25);
    EXPECT_EQ(track_value_at(&t, 5.5), 3.25);
    EXPECT_EQ(track_value_at(&t, 1e5), 3.25);
    keys[0].kind = 9; // the last key's kind is never used
    EXPECT_EQ(track_value_at(&t, 6.0), 3.25);
}

// Keys (0, 0.0, linear) and (40, 255.0, hold): the ramp of the sample file.
TEST(TrackValue, LinearRampWorkedValues)
{
    SyncKey keys[] = {{0, 0.0f, INTERP_LINEAR}, {40, 255.0f, INTERP_HOLD}};
    SyncTrack t = make_track(keys, 2);
    EXPECT_EQ(track_value_at(&t, 10.5), 66.9375); // 10.5 / 40 * 255
    EXPECT_EQ(track_value_at(&t, 40.0), 255.0);
    EXPECT_EQ(track_value_at(&t, 100.0), 255.0);
    EXPECT_EQ(track_value_at(&t, -3.0), 0.0);
    EXPECT_EQ(track_value_at(&t, 20.0), 127.5);
    EXPECT_EQ(track_value_at(&t, 0.0), 0.0);
}

TEST(TrackValue, SmoothAndQuadraticAtHalfway)
{
    SyncKey keys[] = {{0, 0.0f, INTERP_SMOOTH}, {40, 255.0f, INTERP_HOLD}};
    SyncTrack t = make_track(keys, 2);
    EXPECT_EQ(track_value_at(&t, 20.0), 127.5);  // t 0.5: 0.25 * 2 = 0.5
    EXPECT_EQ(track_value_at(&t, 10.0), 39.84375); // t 0.25: 0.0625 * 2.5 * 255
    keys[0].kind = INTERP_QUADRATIC;
    EXPECT_EQ(track_value_at(&t, 20.0), 63.75);  // 0.25 * 255
    EXPECT_EQ(track_value_at(&t, 10.0), 15.9375); // 0.0625 * 255
}

TEST(TrackValue, HoldJumpsAtNextKey)
{
    SyncKey keys[] = {{10, 1.0f, INTERP_HOLD}, {20, 2.0f, INTERP_HOLD}};
    SyncTrack t = make_track(keys, 2);
    EXPECT_EQ(track_value_at(&t, 19.99), 1.0);
    EXPECT_EQ(track_value_at(&t, 20.0), 2.0);
    EXPECT_EQ(track_value_at(&t, 10.0), 1.0);
}

TEST(TrackValue, BeforeFirstKeyIgnoresItsKind)
{
    SyncKey keys[] = {{10, 4.0f, INTERP_LINEAR}, {20, 8.0f, INTERP_HOLD}};
    SyncTrack t = make_track(keys, 2);
    EXPECT_EQ(track_value_at(&t, 9.99), 4.0);
    EXPECT_EQ(track_value_at(&t, -100.0), 4.0);
    EXPECT_EQ(track_value_at(&t, 12.5), 5.0); // 4 + 0.25 * 4
}

TEST(TrackValue, InvalidKindReadsZeroOnlyInItsSegment)
{
    SyncKey keys[] = {{0, 1.0f, INTERP_LINEAR}, {10, 5.0f, 7}, {20, 9.0f, INTERP_LINEAR},
                      {30, 13.0f, INTERP_HOLD}};
    SyncTrack t = make_track(keys, 4);
    EXPECT_EQ(track_value_at(&t, 7.5), 4.0); // 1 + 0.75 * 4
    EXPECT_EQ(track_value_at(&t, 10.0), 0.0);
    EXPECT_EQ(track_value_at(&t, 15.0), 0.0);
    EXPECT_EQ(track_value_at(&t, 19.9), 0.0);
    EXPECT_EQ(track_value_at(&t, 25.0), 11.0); // 9 + 0.5 * 4
    EXPECT_EQ(track_value_at(&t, 30.0), 13.0);
    keys[1].kind = -1; // a 0xFF kind byte
    EXPECT_EQ(track_value_at(&t, 15.0), 0.0);
}

TEST(TrackValue, NegativeRowsFloorDownward)
{
    // Row -0.5 floors to -1 (truncation would pick the key at 0): t = 0.5.
    SyncKey keys[] = {{-1, 2.0f, INTERP_LINEAR}, {0, 4.0f, INTERP_LINEAR}, {1, 10.0f, INTERP_HOLD}};
    SyncTrack t = make_track(keys, 3);
    EXPECT_EQ(track_value_at(&t, -0.5), 3.0);
    EXPECT_EQ(track_value_at(&t, 0.5), 7.0);
}

TEST(TrackValue, FractionUsesUnflooredRow)
{
    SyncKey keys[] = {{0, 0.0f, INTERP_LINEAR}, {4, 1.0f, INTERP_HOLD}};
    SyncTrack t = make_track(keys, 2);
    EXPECT_EQ(track_value_at(&t, 1.0), 0.25);
    EXPECT_EQ(track_value_at(&t, 1.5), 0.375);
    EXPECT_EQ(track_value_at(&t, 3.75), 0.9375);
}

TEST(TrackValue, WideSpanDoesNotOverflow)
{
    SyncKey keys[] = {{-2000000000, 0.0f, INTERP_LINEAR}, {2000000000, 4.0f, INTERP_HOLD}};
    SyncTrack t = make_track(keys, 2);
    EXPECT_EQ(track_value_at(&t, 0.0), 2.0); // t = 2e9 / 4e9
}

TEST(TrackValue, RowsOutsideInt32ReadTheEndValues)
{
    // Far past the end reads the last value, far before the start and NaN
    // the first value.
    SyncKey keys[] = {{0, 6.0f, INTERP_LINEAR}, {10, 16.0f, INTERP_HOLD}};
    SyncTrack t = make_track(keys, 2);
    EXPECT_EQ(track_value_at(&t, std::numeric_limits<double>::quiet_NaN()), 6.0);
    EXPECT_EQ(track_value_at(&t, 1e12), 16.0);
    EXPECT_EQ(track_value_at(&t, std::numeric_limits<double>::infinity()), 16.0);
    EXPECT_EQ(track_value_at(&t, -1e12), 6.0);
}

TEST(TrackValue, FirstKeyOnTheLowestRowHoldsBeforeItAndForNaN)
{
    // Rows below the 32-bit range must not clamp onto a key at INT32_MIN and
    // extrapolate its segment.
    SyncKey keys[] = {{INT32_MIN, 0.0f, INTERP_LINEAR}, {0, 1.0f, INTERP_HOLD}};
    SyncTrack t = make_track(keys, 2);
    EXPECT_EQ(track_value_at(&t, std::numeric_limits<double>::quiet_NaN()), 0.0);
    EXPECT_EQ(track_value_at(&t, -std::numeric_limits<double>::infinity()), 0.0);
    EXPECT_EQ(track_value_at(&t, -1e30), 0.0);
    EXPECT_EQ(track_value_at(&t, -2147483648.5), 0.0);
    EXPECT_EQ(track_value_at(&t, -2147483648.0), 0.0);            // on the key
    EXPECT_EQ(track_value_at(&t, -1073741824.0), 0.5);            // halfway
}

TEST(TrackValue, CurvesStayBetweenKeysOfVeryDifferentSize)
{
    // FLT_MAX - 1e30 rounded to a float is off by more than 1e30: just before
    // the second key every curve would read far below both keys.
    const float big = std::numeric_limits<float>::max();
    for (int kind : {INTERP_LINEAR, INTERP_SMOOTH, INTERP_QUADRATIC}) {
        SyncKey keys[] = {{10, big, kind}, {20, 1e30f, INTERP_HOLD}};
        SyncTrack t = make_track(keys, 2);
        const double v = track_value_at(&t, std::nextafter(20.0, 10.0));
        EXPECT_GE(v, static_cast<double>(1e30f)) << kind;
        EXPECT_LE(v, static_cast<double>(big)) << kind;
    }
}

TEST(TrackValue, ExtremeFiniteValuesNeverGiveNaN)
{
    // -FLT_MAX to +FLT_MAX: the float difference overflows to infinity, which
    // would make the segment start read 0 * inf = NaN.
    const float big = std::numeric_limits<float>::max();
    for (int kind : {INTERP_LINEAR, INTERP_SMOOTH, INTERP_QUADRATIC}) {
        SyncKey keys[] = {{0, -big, kind}, {10, big, INTERP_HOLD}};
        SyncTrack t = make_track(keys, 2);
        EXPECT_EQ(track_value_at(&t, 0.0), -static_cast<double>(big)) << kind;
        const double mid = track_value_at(&t, 5.0);
        EXPECT_TRUE(std::isfinite(mid)) << kind;
        EXPECT_EQ(track_value_at(&t, 10.0), static_cast<double>(big)) << kind;
    }
    SyncKey keys[] = {{0, -big, INTERP_LINEAR}, {10, big, INTERP_HOLD}};
    SyncTrack t = make_track(keys, 2);
    EXPECT_EQ(track_value_at(&t, 5.0), 0.0); // exactly halfway in double
}

} // namespace
