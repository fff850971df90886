// follow_clock.cpp - the follower's time from the studio's transport.
#include "link/follow_clock.h"

#include <cmath>

#include "base/facts.h"

// Paused, a seek smaller than this is not made: a seek lands on whole
// sample frames, so the position may differ from the studio's time by a
// fraction of a frame, and must not be sought again every frame for it.
static const double PAUSED_SEEK_S = 1e-3;

FollowClockStep follow_clock(const LinkTransport &t, double age_s, double music_s, double tolerance_s)
{
    const double speed = t.half_speed ? 0.5 : 1.0;
    if (!t.playing)
        return {t.seconds, std::fabs(music_s - t.seconds) > PAUSED_SEEK_S, false, speed};
    double target = t.seconds + (age_s > 0.0 ? age_s : 0.0) * speed;
    if (t.looping) {
        // Rows to seconds: 20 rows a second.
        const double start = t.loop_start / double(ROWS_PER_SECOND), end = t.loop_end / double(ROWS_PER_SECOND);
        if (target >= end)
            target = start + std::fmod(target - start, end - start);
    }
    if (std::fabs(music_s - target) > tolerance_s)
        return {target, true, true, speed};
    return {music_s, false, true, speed};
}
