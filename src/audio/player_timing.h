// player_timing.h - the music player's position arithmetic, on plain values:
// no SDL, no clock of its own (the caller passes the counter's reading and
// frequency), so that the steering can be followed step by step.
//
// Device timing counts frames of the file's rate, fractions kept:
// - the position at counter c is anchor + (c - anchor_counter) / frequency *
//   rate * pace * speed, pace being the playback rate (1, or 0.5 at half
//   speed);
// - at each callback (timing_device_handed) the anchor moves to the position
//   of that moment, raised to at least handed - buffer, and the speed is set
//   so that the position closes its distance to the target within a few
//   buffers, never more than a few percent off real time;
// - the target is where the sound is: the buffer just handed out is taken to
//   sound from its callback on, so at that moment the sound is at
//   handed - buffer, plus a small lead that absorbs callbacks arriving a
//   little early;
// - reading (timing_device_position), the position is eased off below
//   handed + buffer so that it never reaches it: a late callback slows it
//   instead of stopping it.
// Clock timing: anchor + (c - anchor_counter) * rate / frequency, exactly, in
// whole frames (halved, rounded down, at half speed).
#pragma once

#include <cstdint>

// Device timing, in frames of the file's rate (fractions kept).
struct DeviceTiming {
    bool running;            // played and not paused
    double handed;           // end of the last buffer handed to the device
    double buffer;           // one device buffer
    double anchor;           // position at anchor_counter
    uint64_t anchor_counter;
    double speed;            // steering: 1 runs at the pace
    double pace;             // playback rate: 1, or 0.5 at half speed
    bool settled;            // a callback found the position in the lower half of its band
};

// Clock timing, in whole frames of the stream's format.
struct ClockTiming {
    bool running;
    uint64_t anchor;
    uint64_t anchor_counter;
    bool half;               // half speed
};

// The position at `counter` (of a clock of `frequency` ticks a second), for a
// stream of `rate` frames a second: eased below handed + buffer, never past it.
double timing_device_position(const DeviceTiming &t, uint64_t counter, uint64_t frequency,
                              uint32_t rate);
// The callback's step: `frames` file frames handed to the device at
// `counter`. Moves the anchor there and sets the speed towards the target.
void timing_device_handed(DeviceTiming &t, double frames, uint64_t counter, uint64_t frequency,
                          uint32_t rate);
// The clock-timed position at counter `now`, in whole frames.
uint64_t timing_clock_position(const ClockTiming &c, uint64_t now, uint64_t frequency,
                               uint32_t rate);
