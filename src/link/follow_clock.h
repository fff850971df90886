// follow_clock.h - what time a following demo draws, and what it does to
// its own music, given the studio's last transport.
//
// Paused studio: the follower draws exactly the studio's time, its music
// paused there. Playing studio: the follower's music plays on its own from
// the studio's place; the studio's time now is estimated from its last
// transport and the real time since it came (at the studio's speed, wrapped
// inside its loop), and the music is moved only when it is further than the
// tolerance (one frame) from that.
#pragma once

#include "link/link_protocol.h"

// One displayed frame at 60 Hz, in seconds: how far the follower may drift.
constexpr double FOLLOW_TOLERANCE_S = 1.0 / 60.0;

struct FollowClockStep {
    double seconds; // the time to draw this frame
    bool seek;      // move the music to `seconds` first
    bool play;      // the music plays (false: paused)
    double speed;   // 1 or 0.5
};

// `age_s`: real seconds since the transport came; `music_s`: where the
// follower's own music is.
FollowClockStep follow_clock(const LinkTransport &t, double age_s, double music_s, double tolerance_s);
