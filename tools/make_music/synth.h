// synth.h - the soundtrack's software synthesizer: deterministic maths,
// noise, envelopes, oscillators and filters, on which the instruments
// (instruments.h) and the mix (mix.h) are built.
//
// Same PCM on every x86-64 machine: nothing here calls the C maths library
// for a transcendental function (its results may differ between CPU-specific
// code paths); sines and exponentials are polynomials over + - * / only, noise
// comes from an integer-state generator, and the build forbids fused
// multiply-adds. No clock, no threads, no global state.
#pragma once

#include <cmath>  // floor only: exact
#include <cstdint>

// ---- Deterministic maths ---------------------------------------------------

constexpr double PI = 3.14159265358979323846;

double det_sin(double x);                 // radians, any finite x
double det_cos(double x);
double det_exp2(double x);                // 2^x, underflows to 0 below -1000
double det_exp(double x);                 // e^x
double soft_clip(double x);               // tanh-like, odd, |result| <= 1
double note_frequency(double midi_note);  // Hz; note 69 is A4 = 440 Hz

// Frames in a duration, at SAMPLE_RATE, truncated; negative or NaN give 0.
int64_t seconds_to_frames(double seconds);

// ---- Noise -------------------------------------------------------------------

// 32-bit xorshift generator (shifts 13, 17, 5). A zero seed is replaced by 1,
// since zero is the one state the generator never leaves.
struct Rng {
    uint32_t state;
};
Rng make_rng(uint32_t seed);
uint32_t next_u32(Rng &rng);
float next_noise(Rng &rng);  // uniform in [-1, 1)

// ---- Envelope ------------------------------------------------------------------

constexpr double MIN_RAMP_SECONDS = 0.002;  // shortest attack or release: 88 frames

// Attack (raised cosine from 0 to 1), exponential decay towards the sustain
// level with time constant decay_s, held while the gate is open, then a
// release to exactly 0 over release_s. Attack and release shorter than
// MIN_RAMP_SECONDS are lengthened to it.
struct Envelope {
    double attack_s;
    double decay_s;   // 0: no decay (sustain ignored, level stays 1)
    double sustain;   // 0..1
    double release_s;
};

// Gain at frame i of a note whose gate is open for gate_frames frames.
// Zero at i <= 0 and at i >= envelope_length().
double envelope_gain(const Envelope &env, int64_t gate_frames, int64_t i);
int64_t envelope_length(const Envelope &env, int64_t gate_frames);

// ---- Oscillators ---------------------------------------------------------------

// Phase in cycles, [0, 1); dt = frequency / SAMPLE_RATE.
double poly_blep(double phase, double dt);
double saw_wave(double phase, double dt);     // band-limited, -1..1
double square_wave(double phase, double dt);  // band-limited, -1..1

// Advances a phase in cycles and wraps it into [0, 1).
inline double advance_phase(double phase, double dt)
{
    phase += dt;
    if (phase >= 1.0)
        phase -= std::floor(phase);
    return phase;
}

// ---- Filters -------------------------------------------------------------------

// Two-pole state-variable filter (trapezoidal integration, stable at every
// cutoff): one step gives the low-, band- and high-pass outputs together.
struct Svf {
    double a1, a2, a3, k;
    double ic1, ic2;
};
struct SvfOut {
    double low, band, high;
};
void set_svf(Svf &f, double cutoff_hz, double q);  // cutoff clamped to 20 Hz..0.45 fs
Svf make_svf(double cutoff_hz, double q);
SvfOut step_svf(Svf &f, double in);
