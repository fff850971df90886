// synth.h - the soundtrack's software synthesizer: deterministic maths,
// noise, envelopes, oscillators, filters, the instruments and the effects.
//
// Same PCM on every x86-64 machine: nothing here calls the C maths library
// for a transcendental function (its results may differ between CPU-specific
// code paths); sines and exponentials are polynomials over + - * / only, noise
// comes from an integer-state generator, and the build forbids fused
// multiply-adds. No clock, no threads, no global state.
//
// Instruments render one note into a mono (or left/right) float buffer that
// the caller mixes; every note starts and ends at exactly zero gain with
// ramps of at least MIN_RAMP_SECONDS, so note edges never click.
// Amplitudes are nominal: about 1.0 at full velocity, before the mix.
#pragma once

#include <cstdint>
#include <vector>

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

// ---- Mixing and effects ------------------------------------------------------------

// The mix the instruments are added into: dry left/right and two mono sends.
struct Mix {
    std::vector<float> left, right;
    std::vector<float> reverb_send, delay_send;
};
void init_mix(Mix &mix, int64_t frames);

struct Placement {
    double gain;
    double pan;     // -1 left .. +1 right, constant power
    double reverb;  // send level, relative to gain
    double delay;   // send level, relative to gain
};

// Adds a mono note at frame start; the part beyond the end of the mix is dropped.
void mix_mono(Mix &mix, int64_t start, const std::vector<float> &note, const Placement &p);
// Adds a left/right pair (same length); pan is ignored.
void mix_stereo(Mix &mix, int64_t start, const std::vector<float> &left,
                const std::vector<float> &right, const Placement &p);

// Ping-pong echo of the delay send: left first, then right, each repeat
// filtered darker. Its output goes to the dry mix and to the reverb send.
void apply_delay(Mix &mix, int64_t delay_frames, double feedback, double wet);
// Parallel comb and serial all-pass reverb of the reverb send, added to the
// dry mix in stereo.
void apply_reverb(Mix &mix, double feedback, double damping, double wet);

// Largest absolute sample in the two channels.
double peak_of(const std::vector<float> &left, const std::vector<float> &right);
// Scales both channels so that their peak is target; silence stays silence.
// Returns the factor used.
double normalise_peak(std::vector<float> &left, std::vector<float> &right, double target);
