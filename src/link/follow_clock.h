// follow_clock.h - what time a following demo draws, and what it does to
// its own music, given the studio's last transport.
//
// Paused studio: the follower draws exactly the studio's time, its music
// paused there. Playing studio: the follower's music plays on its own from
// the studio's place; the studio's time now is estimated from a transport
// (the freshest: reckon_from_new_transport) and the real time since it
// came (at the studio's speed, wrapped inside its loop), and the music is
// moved only when it is further than the tolerance (one frame) from that.
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

// Which transport the studio's time is reckoned from. A transport is read
// at the follower's next frame, up to a frame after it came, so reckoning
// from the last one read puts the follower behind by a wait that changes
// from frame to frame. While the studio plays on without a jump, every
// transport reckoned forward to now gives the studio's time less its wait;
// the largest of them is the closest, so a transport replaces the one
// reckoned from (`from`, read at from_ms) only when it is ahead of it. Any
// change of state (paused, speed, loop), or a step from the transport
// before it (`previous`) backwards or of more than a quarter of a second
// of music (a seek, the loop's wrap), starts again from the new one. The
// one reckoned from counts a millisecond less for each second of its age,
// so that the two machines' clocks may drift apart.
bool reckon_from_new_transport(const LinkTransport &from, uint64_t from_ms, const LinkTransport &previous,
                               const LinkTransport &t, uint64_t now_ms);
