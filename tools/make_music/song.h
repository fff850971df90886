// song.h - the soundtrack's composition: which notes play in which bar, and
// the master stage that turns the mix into the final stereo signal.
//
// D minor at 150 BPM on the grid of arrangement.h. The chords run
// i-VI-iv-V (Dm Bb Gm A) with a Phrygian bII (Eb) in the intro and the break;
// the sections follow the arc intro, build, main, break, climax, outro.
#pragma once

#include "make_music/mix.h"

#include <cstdint>

// The instrument parts, as bits of a mask.
enum : unsigned {
    PART_KICK = 1u << 0,
    PART_SNARE = 1u << 1,
    PART_HATS = 1u << 2,
    PART_CRASH = 1u << 3,
    PART_RISER = 1u << 4,
    PART_BASS = 1u << 5,
    PART_PADS = 1u << 6,
    PART_DRONE = 1u << 7,
    PART_LEAD = 1u << 8,
    PART_DRUMS = PART_KICK | PART_SNARE | PART_HATS | PART_CRASH,
    ALL_PARTS = (1u << 9) - 1,
};

// Renders every note of the parts in `parts` that starts in bars
// [first_bar, end_bar) into a fresh mix of `frames` frames, with first_bar at
// frame 0, then runs the delay and the reverb. Notes that reach past the end
// are cut there. Unmastered: the level is whatever the instruments sum to.
void render_bars(int first_bar, int end_bar, int64_t frames, Mix &mix, unsigned parts = ALL_PARTS);

// Master stage, in place on mix.left/right: gentle saturation against the
// raw peak, a raised-cosine fade to silence over [fade_start, fade_end)
// (nothing when fade_start >= the mix length), then normalisation of the peak
// to `peak`. Returns the final scale factor.
double master_mix(Mix &mix, int64_t fade_start, int64_t fade_end, double peak);

// The whole soundtrack: TOTAL_FRAMES frames, mastered to MASTER_PEAK.
void render_soundtrack(Mix &mix);
