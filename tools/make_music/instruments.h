// instruments.h - the soundtrack's instruments, built on the synthesizer's
// maths, noise, envelopes, oscillators and filters (synth.h).
//
// Instruments render one note into a mono (or left/right) float buffer that
// the caller mixes; every note starts and ends at exactly zero gain with
// ramps of at least MIN_RAMP_SECONDS, so note edges never click.
// Amplitudes are nominal: about 1.0 at full velocity, before the mix.
#pragma once

#include "make_music/synth.h"

#include <cstdint>
#include <vector>

// ---- Instruments -----------------------------------------------------------------

// Each render_* function replaces the contents of its output buffer(s) with one
// note; the buffer length is the note's full length including its release.
void render_kick(double drive, std::vector<float> &out);
void render_snare(uint32_t seed, std::vector<float> &out);
void render_hat(uint32_t seed, bool open, std::vector<float> &out);
void render_crash(uint32_t seed, std::vector<float> &left, std::vector<float> &right);
void render_riser(uint32_t seed, int64_t frames, std::vector<float> &out);

struct BassNote {
    double frequency;   // Hz
    double glide_from;  // Hz, 0: no glide
    int64_t gate_frames;
    double cutoff;      // Hz, filter resting cutoff
    double env_amount;  // extra cutoff at the note start, as a multiple of cutoff
    double drive;       // 1: clean, larger: saturated
};
void render_bass(const BassNote &note, std::vector<float> &out);

constexpr int MAX_PAD_NOTES = 4;
struct PadChord {
    double frequencies[MAX_PAD_NOTES];  // Hz
    int count;
    int64_t gate_frames;
    double cutoff;      // Hz, centre of a slow sweep
    double attack_s;
    double release_s;
};
void render_pad(const PadChord &chord, std::vector<float> &left, std::vector<float> &right);

struct LeadNote {
    double frequency;
    double glide_from;  // Hz, 0: no glide
    int64_t gate_frames;
    double cutoff;      // Hz
};
void render_lead(const LeadNote &note, std::vector<float> &out);

// A low sine with slow attack and release, for drones under the pads.
void render_drone(double frequency, int64_t gate_frames, std::vector<float> &out);
