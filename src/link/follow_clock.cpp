// follow_clock.cpp - the follower's time from the studio's transport.
#include "link/follow_clock.h"

#include <cmath>

#include "base/facts.h"

// Paused, a seek smaller than this is not made: a seek lands on whole
// sample frames, so the position may differ from the studio's time by a
// fraction of a frame, and must not be sought again every frame for it.
static const double PAUSED_SEEK_S = 1e-3;

// The largest step of music from one transport to the next that is not a
// seek (the studio sends one a frame while it plays).
static const double LARGEST_STEP_S = 0.25;
// How much less a transport counts for each second since it came.
static const double DRIFT_PER_SECOND = 1e-3;

static bool same_state(const LinkTransport &a, const LinkTransport &b)
{
    return a.playing == b.playing && a.half_speed == b.half_speed && a.looping == b.looping &&
           a.loop_start == b.loop_start && a.loop_end == b.loop_end;
}

bool reckon_from_new_transport(const LinkTransport &from, uint64_t from_ms, const LinkTransport &previous,
                               const LinkTransport &t, uint64_t now_ms)
{
    if (!t.playing || !same_state(t, from) || !same_state(t, previous) || now_ms < from_ms)
        return true;
    const double step = t.seconds - previous.seconds;
    if (!(step >= 0.0 && step <= LARGEST_STEP_S))
        return true;
    const double age = double(now_ms - from_ms) / 1000.0;
    const double speed = t.half_speed ? 0.5 : 1.0;
    return t.seconds >= from.seconds + age * speed - age * DRIFT_PER_SECOND;
}

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
