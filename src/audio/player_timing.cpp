// player_timing.cpp - the music player's position arithmetic (see
// player_timing.h).
#include "audio/player_timing.h"

#include <algorithm>

namespace {

const double STEER_BUFFERS = 4.0;     // a distance to the target closes in about this many buffers
const double MAX_SPEED_CHANGE = 0.05; // the position runs at 95..105 % of real time
const double TARGET_LEAD = 0.125;     // of a buffer: room for callbacks a little early
const double EASE_BUFFERS = 0.25;     // the last part below handed + buffer, eased into

// floor(a * b / c) without overflow for b, c below 2^32.
uint64_t mul_div(uint64_t a, uint64_t b, uint64_t c)
{
    return (a / c) * b + (a % c) * b / c;
}

// The free-running position at `counter`, before easing.
double device_free_position(const DeviceTiming &t, uint64_t counter, uint64_t frequency,
                            uint32_t rate)
{
    if (!t.running || counter <= t.anchor_counter)
        return t.anchor;
    const double seconds =
        static_cast<double>(counter - t.anchor_counter) / static_cast<double>(frequency);
    return t.anchor + seconds * static_cast<double>(rate) * t.pace * t.speed;
}

// Eases a position into the ceiling handed + buffer: unchanged below the
// easing zone, then approaching the ceiling without reaching it. Rising in p.
// Until a callback finds the position back in the lower half of its band
// after a restart, it only stops at the ceiling: the first callback may come
// a whole buffer after the restart without being late, and the position
// then runs high in its band until steered down.
double ease_below_ceiling(const DeviceTiming &t, double p)
{
    const double ceiling = t.handed + t.buffer;
    const double zone = EASE_BUFFERS * t.buffer;
    const double start = ceiling - zone;
    if (p <= start || zone <= 0.0 || !t.settled)
        return std::min(p, ceiling);
    const double x = (p - start) / zone;
    return start + zone * x / (1.0 + x);
}

} // namespace

double timing_device_position(const DeviceTiming &t, uint64_t counter, uint64_t frequency,
                              uint32_t rate)
{
    return ease_below_ceiling(t, device_free_position(t, counter, frequency, rate));
}

void timing_device_handed(DeviceTiming &t, double frames, uint64_t counter, uint64_t frequency,
                          uint32_t rate)
{
    double now = timing_device_position(t, counter, frequency, rate);
    t.handed += frames;
    t.buffer = frames;
    now = std::max(now, t.handed - t.buffer);
    const double target = t.handed - t.buffer + TARGET_LEAD * t.buffer;
    const double change = (target - now) / (STEER_BUFFERS * t.buffer);
    t.speed = 1.0 + std::clamp(change, -MAX_SPEED_CHANGE, MAX_SPEED_CHANGE);
    t.anchor = now;
    t.anchor_counter = counter;
    t.settled = t.settled || now - (t.handed - t.buffer) <= 0.5 * t.buffer;
}

uint64_t timing_clock_position(const ClockTiming &c, uint64_t now, uint64_t frequency,
                               uint32_t rate)
{
    if (!c.running)
        return c.anchor;
    const uint64_t elapsed = now > c.anchor_counter ? now - c.anchor_counter : 0;
    const uint64_t frames = mul_div(elapsed, rate, frequency);
    return c.anchor + (c.half ? frames / 2 : frames); // floor(floor(x) / 2) = floor(x / 2)
}
