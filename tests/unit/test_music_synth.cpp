// Tests of the soundtrack synthesizer: deterministic maths, noise,
// envelopes, oscillators, filters, instruments, mixing and effects.
#include "make_music/arrangement.h"
#include "make_music/instruments.h"
#include "make_music/mix.h"
#include "make_music/synth.h"

#include "test_music_pitch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

double rms_of(const std::vector<float> &v, size_t from, size_t to)
{
    double sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += double{v[i]} * v[i];
    return std::sqrt(sum / static_cast<double>(to - from));
}

float peak_abs(const std::vector<float> &v)
{
    float p = 0.0f;
    for (float x : v)
        p = std::max(p, std::fabs(x));
    return p;
}

// Upward zero crossings in [from, to).
int rising_crossings(const std::vector<float> &v, size_t from, size_t to)
{
    int n = 0;
    for (size_t i = from + 1; i < to; ++i)
        if (v[i - 1] < 0.0f && v[i] >= 0.0f)
            ++n;
    return n;
}

} // namespace

// ---- Deterministic maths -------------------------------------------------------

TEST(MusicMaths, SineMatchesLibraryAndKnownValues)
{
    EXPECT_EQ(det_sin(0.0), 0.0);
    EXPECT_NEAR(det_sin(PI / 6), 0.5, 1e-12);
    EXPECT_NEAR(det_sin(PI / 2), 1.0, 1e-12);
    EXPECT_NEAR(det_sin(-PI / 2), -1.0, 1e-12);
    EXPECT_NEAR(det_cos(PI), -1.0, 1e-12);
    EXPECT_NEAR(det_cos(PI / 3), 0.5, 1e-12);
    for (double x = -100.0; x <= 100.0; x += 0.0137)
        ASSERT_NEAR(det_sin(x), std::sin(x), 1e-10) << "x = " << x;
}

TEST(MusicMaths, SineOfNonFiniteIsZero)
{
    EXPECT_EQ(det_sin(std::nan("")), 0.0);
    EXPECT_EQ(det_sin(INFINITY), 0.0);
}

TEST(MusicMaths, Exp2MatchesLibraryAndPowersOfTwo)
{
    EXPECT_EQ(det_exp2(0.0), 1.0);
    EXPECT_EQ(det_exp2(10.0), 1024.0);
    EXPECT_EQ(det_exp2(-3.0), 0.125);
    EXPECT_NEAR(det_exp2(0.5), 1.4142135623730951, 1e-15);
    EXPECT_NEAR(det_exp(1.0), 2.718281828459045, 1e-14);
    for (double x = -40.0; x <= 40.0; x += 0.0173)
        ASSERT_NEAR(det_exp2(x) / std::exp2(x), 1.0, 1e-14) << "x = " << x;
}

TEST(MusicMaths, Exp2UnderflowsAndRejectsNaN)
{
    EXPECT_EQ(det_exp2(-5000.0), 0.0);
    EXPECT_EQ(det_exp2(std::nan("")), 0.0);
    EXPECT_TRUE(std::isfinite(det_exp2(5000.0)));
}

TEST(MusicMaths, SoftClipIsBoundedOddAndCloseToTanh)
{
    EXPECT_EQ(soft_clip(0.0), 0.0);
    EXPECT_EQ(soft_clip(3.0), 1.0);
    EXPECT_EQ(soft_clip(50.0), 1.0);
    EXPECT_EQ(soft_clip(-50.0), -1.0);
    EXPECT_EQ(soft_clip(std::nan("")), 0.0);
    double previous = -1.0;
    for (double x = -5.0; x <= 5.0; x += 0.01) {
        const double y = soft_clip(x);
        ASSERT_GE(y, previous) << "not monotonic at " << x;
        ASSERT_LE(std::fabs(y), 1.0);
        ASSERT_EQ(soft_clip(-x), -y);
        ASSERT_NEAR(y, std::tanh(x), 0.025) << "x = " << x;
        previous = y;
    }
}

TEST(MusicMaths, NoteFrequencies)
{
    EXPECT_EQ(note_frequency(69), 440.0);
    EXPECT_NEAR(note_frequency(81), 880.0, 1e-9);
    EXPECT_NEAR(note_frequency(57), 220.0, 1e-9);
    EXPECT_NEAR(note_frequency(62), 293.6648, 1e-4);  // D4
    EXPECT_NEAR(note_frequency(38), 73.4162, 1e-4);   // D2
}

TEST(MusicMaths, SecondsToFrames)
{
    EXPECT_EQ(seconds_to_frames(1.0), 44100);
    EXPECT_EQ(seconds_to_frames(0.002), 88);  // 88.2 truncated
    EXPECT_EQ(seconds_to_frames(-1.0), 0);
    EXPECT_EQ(seconds_to_frames(std::nan("")), 0);
    EXPECT_EQ(seconds_to_frames(1e300), 0);
}

// ---- Noise -----------------------------------------------------------------------

TEST(MusicNoise, XorshiftSequenceFromSeedOne)
{
    // By hand: 1 ^ (1 << 13) = 8193; 8193 >> 17 = 0; 8193 ^ (8193 << 5) = 270369.
    Rng rng = make_rng(1);
    EXPECT_EQ(next_u32(rng), 270369u);
    Rng zero = make_rng(0);  // replaced by 1
    EXPECT_EQ(next_u32(zero), 270369u);
}

TEST(MusicNoise, UniformAroundZeroInRange)
{
    Rng rng = make_rng(12345);
    double sum = 0.0, sum_sq = 0.0;
    float lo = 1.0f, hi = -1.0f;
    const int n = 200000;
    for (int i = 0; i < n; ++i) {
        const float v = next_noise(rng);
        ASSERT_GE(v, -1.0f);
        ASSERT_LT(v, 1.0f);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        sum += v;
        sum_sq += double{v} * v;
    }
    EXPECT_NEAR(sum / n, 0.0, 0.01);
    EXPECT_NEAR(sum_sq / n, 1.0 / 3.0, 0.01);  // variance of uniform -1..1
    EXPECT_LT(lo, -0.99f);
    EXPECT_GT(hi, 0.99f);
}

// ---- Envelope --------------------------------------------------------------------

TEST(MusicEnvelope, StartsAndEndsAtZero)
{
    const Envelope env{0.01, 0.1, 0.5, 0.05};
    const int64_t gate = 10000;
    const int64_t len = envelope_length(env, gate);
    EXPECT_EQ(len, 10000 + 2205);  // release 0.05 s
    EXPECT_EQ(envelope_gain(env, gate, 0), 0.0);
    EXPECT_EQ(envelope_gain(env, gate, -5), 0.0);
    EXPECT_EQ(envelope_gain(env, gate, len), 0.0);
    EXPECT_GT(envelope_gain(env, gate, len - 1), 0.0);
    EXPECT_LT(envelope_gain(env, gate, len - 1), 1e-5);
    EXPECT_LT(envelope_gain(env, gate, 1), 1e-4);
}

TEST(MusicEnvelope, AttackDecaySustainValues)
{
    // Attack 441 frames, raised cosine: 1 at its end, half way at its middle.
    const Envelope env{0.01, 0.1, 0.25, 0.05};
    EXPECT_NEAR(envelope_gain(env, 100000, 441), 1.0, 1e-12);
    EXPECT_NEAR(envelope_gain(env, 100000, 220), 0.5 - 0.5 * std::cos(PI * 220 / 441), 1e-12);
    // 0.1 s (one time constant) after the attack: 0.25 + 0.75 / e.
    EXPECT_NEAR(envelope_gain(env, 100000, 441 + 4410), 0.25 + 0.75 * std::exp(-1.0), 1e-9);
    // Long after: the sustain level.
    EXPECT_NEAR(envelope_gain(env, 100000, 90000), 0.25, 1e-8);
}

TEST(MusicEnvelope, ReleaseStartsFromTheLevelAtTheGate)
{
    const Envelope env{0.002, 0.0, 1.0, 0.1};
    const int64_t gate = 50;  // closes in the middle of the 88-frame attack
    const double at_gate = 0.5 - 0.5 * std::cos(PI * 50 / 88);
    EXPECT_NEAR(envelope_gain(env, gate, gate), at_gate, 1e-10);
    EXPECT_NEAR(envelope_gain(env, gate, gate + 2205), at_gate * 0.5, 1e-10);  // half the release
    EXPECT_EQ(envelope_gain(env, gate, gate + 4410), 0.0);
}

TEST(MusicEnvelope, ShortRampsAreLengthenedSoEdgesDoNotClick)
{
    const Envelope env{0.0, 0.0, 1.0, 0.0};
    const int64_t gate = 1000;
    EXPECT_EQ(envelope_length(env, gate), 1000 + 88);  // MIN_RAMP_SECONDS = 2 ms
    // The steepest step of a raised cosine over 88 frames is pi / (2 * 88).
    double largest = 0.0;
    for (int64_t i = 1; i <= envelope_length(env, gate); ++i)
        largest = std::max(largest, std::fabs(envelope_gain(env, gate, i) - envelope_gain(env, gate, i - 1)));
    EXPECT_LE(largest, PI / (2 * 88) + 1e-9);
    EXPECT_GT(largest, 0.017);
}

TEST(MusicEnvelope, NegativeGateGivesOnlyTheRelease)
{
    const Envelope env{0.01, 0.0, 1.0, 0.01};
    EXPECT_EQ(envelope_length(env, -100), 441);
    for (int64_t i = 0; i < 441; ++i)
        ASSERT_EQ(envelope_gain(env, -100, i), 0.0);
}

// ---- Oscillators -----------------------------------------------------------------

TEST(MusicOscillator, SawAndSquareAwayFromEdges)
{
    const double dt = 0.01;
    EXPECT_DOUBLE_EQ(saw_wave(0.25, dt), -0.5);
    EXPECT_DOUBLE_EQ(saw_wave(0.75, dt), 0.5);
    EXPECT_DOUBLE_EQ(square_wave(0.25, dt), 1.0);
    EXPECT_DOUBLE_EQ(square_wave(0.75, dt), -1.0);
    // At the wrap the saw's jump from +1 to -1 is smoothed through 0.
    EXPECT_DOUBLE_EQ(saw_wave(0.0, dt), 0.0);
    EXPECT_DOUBLE_EQ(square_wave(0.5, dt), 0.0);
}

TEST(MusicOscillator, OneCycleAveragesToZero)
{
    const int n = 441;  // 100 Hz
    const double dt = 1.0 / n;
    double saw = 0.0, square = 0.0;
    for (int i = 0; i < n; ++i) {
        saw += saw_wave(i * dt, dt);
        square += square_wave(i * dt, dt);
    }
    EXPECT_NEAR(saw / n, 0.0, 1e-9);
    EXPECT_NEAR(square / n, 0.0, 1e-9);
}

// ---- Filters ---------------------------------------------------------------------

namespace {

// Gain of a filter output for a sine of the given frequency, after settling.
double svf_gain(double cutoff, double q, double freq, int which)
{
    Svf f = make_svf(cutoff, q);
    double sum_in = 0.0, sum_out = 0.0;
    for (int i = 0; i < 3 * SAMPLE_RATE / 2; ++i) {
        const double x = std::sin(2.0 * PI * freq * i / SAMPLE_RATE);
        const SvfOut o = step_svf(f, x);
        const double y = which == 0 ? o.low : which == 1 ? o.band : o.high;
        if (i >= SAMPLE_RATE / 2) {
            sum_in += x * x;
            sum_out += y * y;
        }
    }
    return std::sqrt(sum_out / sum_in);
}

} // namespace

TEST(MusicFilter, LowPassPassesDcAndCutsHighs)
{
    Svf f = make_svf(500.0, 0.707);
    double y = 0.0;
    for (int i = 0; i < 20000; ++i)
        y = step_svf(f, 1.0).low;
    EXPECT_NEAR(y, 1.0, 1e-9);
    // Two poles: an analogue filter gives (500/10000)^2 = 0.0025 at 10 kHz.
    EXPECT_LT(svf_gain(500.0, 0.707, 10000.0, 0), 0.0026);
    EXPECT_NEAR(svf_gain(500.0, 0.707, 50.0, 0), 1.0, 0.01);
}

TEST(MusicFilter, HighPassAndBandPass)
{
    EXPECT_LT(svf_gain(7600.0, 0.707, 200.0, 2), 0.001);  // (200/7600)^2 = 0.0007
    EXPECT_GT(svf_gain(7600.0, 0.707, 16000.0, 2), 0.9);
    // The band output peaks at the cutoff with a gain equal to Q.
    EXPECT_NEAR(svf_gain(1000.0, 2.0, 1000.0, 1), 2.0, 0.02);
}

// ---- Instruments --------------------------------------------------------------------

namespace {

// Checks that a note begins and ends at zero and stays within full scale.
void expect_clean_edges(const std::vector<float> &v, const char *name)
{
    ASSERT_GT(v.size(), 200u) << name;
    const float peak = peak_abs(v);
    EXPECT_GT(peak, 0.05f) << name << " is silent";
    EXPECT_LE(peak, 1.5f) << name;
    EXPECT_EQ(v.front(), 0.0f) << name;
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_LT(std::fabs(v[i]), 0.01f) << name << " starts abruptly";
        EXPECT_LT(std::fabs(v[v.size() - 1 - i]), 0.01f) << name << " ends abruptly";
    }
}

} // namespace

TEST(MusicInstrument, EveryNoteHasCleanEdges)
{
    std::vector<float> a, b;
    render_kick(2.4, a);
    expect_clean_edges(a, "kick");
    render_snare(7, a);
    expect_clean_edges(a, "snare");
    render_hat(7, false, a);
    expect_clean_edges(a, "closed hat");
    render_hat(7, true, a);
    expect_clean_edges(a, "open hat");
    render_crash(7, a, b);
    expect_clean_edges(a, "crash left");
    expect_clean_edges(b, "crash right");
    render_riser(7, 70560, a);
    expect_clean_edges(a, "riser");
    render_bass(BassNote{55.0, 110.0, 8820, 600.0, 2.0, 2.6}, a);
    expect_clean_edges(a, "bass");
    const PadChord chord{{146.83, 220.0, 293.66, 349.23}, 4, 44100, 1500.0, 0.3, 0.5};
    render_pad(chord, a, b);
    expect_clean_edges(a, "pad left");
    expect_clean_edges(b, "pad right");
    render_lead(LeadNote{587.33, 440.0, 8820, 2600.0}, a);
    expect_clean_edges(a, "lead");
    render_drone(73.42, 88200, a);
    expect_clean_edges(a, "drone");
}

TEST(MusicInstrument, NoteLengthsFollowTheGate)
{
    std::vector<float> a, b;
    render_bass(BassNote{55.0, 0.0, 4410, 600.0, 2.0, 1.5}, a);
    EXPECT_EQ(a.size(), 4410u + 661u);  // release 15 ms
    render_lead(LeadNote{440.0, 0.0, 4410, 2000.0}, a);
    EXPECT_EQ(a.size(), 4410u + 3969u);  // release 90 ms
    const PadChord chord{{220.0, 0, 0, 0}, 1, 1000, 1000.0, 0.1, 0.5};
    render_pad(chord, a, b);
    EXPECT_EQ(a.size(), 1000u + 22050u);
    EXPECT_EQ(b.size(), a.size());
}

TEST(MusicInstrument, KickFallsToALowTone)
{
    // 44 Hz plus a sweep that has decayed to 150 * e^(-0.2/0.03) = 0.2 Hz by
    // 0.2 s: between 0.2 s and 0.3 s there are about 4.4 cycles.
    std::vector<float> kick;
    render_kick(1.6, kick);
    const int cycles = rising_crossings(kick, 8820, 13230);
    EXPECT_GE(cycles, 4);
    EXPECT_LE(cycles, 5);
}

TEST(MusicInstrument, BassPlaysItsPitch)
{
    // A closed filter leaves mostly the fundamental: 110 Hz gives 55 cycles in 0.5 s.
    std::vector<float> bass;
    render_bass(BassNote{110.0, 0.0, 44100, 150.0, 0.0, 1.0}, bass);
    const int cycles = rising_crossings(bass, 22050, 44100);
    EXPECT_GE(cycles, 54);
    EXPECT_LE(cycles, 56);
}

TEST(MusicInstrument, LeadGlidesFromThePreviousNote)
{
    // 440 Hz is a period of 44100 / 440 = 100.2 frames. Gliding up from
    // 220 Hz with a 40 ms time constant, the first 20 ms average about 267 Hz
    // (165 frames); by 0.12 s the glide is within 11 Hz of its target.
    std::vector<float> glide, straight;
    render_lead(LeadNote{440.0, 220.0, 22050, 1200.0}, glide);
    render_lead(LeadNote{440.0, 0.0, 22050, 1200.0}, straight);
    EXPECT_NEAR(period_of(straight, 5292, 7938, 60, 250), 100.2, 1.0);
    EXPECT_NEAR(period_of(glide, 5292, 7938, 60, 250), 100.2, 3.0);
    EXPECT_NEAR(period_of(straight, 0, 882, 60, 250), 100.2, 1.0);
    EXPECT_GT(period_of(glide, 0, 882, 60, 250), 130);
}

TEST(MusicInstrument, NoiseFollowsTheSeed)
{
    std::vector<float> a, b, c;
    render_snare(42, a);
    render_snare(42, b);
    render_snare(43, c);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0);
    ASSERT_EQ(a.size(), c.size());
    EXPECT_NE(std::memcmp(a.data(), c.data(), a.size() * sizeof(float)), 0);
}

// ---- Mixing and effects ------------------------------------------------------------------

TEST(MusicMix, PanAndSends)
{
    Mix mix;
    init_mix(mix, 100);
    const std::vector<float> note(10, 1.0f);
    mix_mono(mix, 5, note, Placement{0.5, -1.0, 0.2, 0.4});  // hard left
    for (int i = 0; i < 100; ++i) {
        const bool inside = i >= 5 && i < 15;
        ASSERT_NEAR(mix.left[i], inside ? 0.5f : 0.0f, 1e-7) << i;
        ASSERT_NEAR(mix.right[i], 0.0f, 1e-7) << i;
        ASSERT_NEAR(mix.reverb_send[i], inside ? 0.1f : 0.0f, 1e-7) << i;
        ASSERT_NEAR(mix.delay_send[i], inside ? 0.2f : 0.0f, 1e-7) << i;
    }
    init_mix(mix, 100);
    mix_mono(mix, 0, note, Placement{1.0, 0.0, 0.0, 0.0});  // centre: -3 dB each side
    EXPECT_NEAR(mix.left[0], std::sqrt(0.5), 1e-7);
    EXPECT_NEAR(mix.right[0], std::sqrt(0.5), 1e-7);
}

TEST(MusicMix, NotesPastTheEndAreCut)
{
    Mix mix;
    init_mix(mix, 50);
    const std::vector<float> note(40, 1.0f);
    mix_mono(mix, 30, note, Placement{1.0, 1.0, 1.0, 1.0});  // 20 frames fit
    mix_mono(mix, 50, note, Placement{1.0, 1.0, 1.0, 1.0});  // none fit
    mix_mono(mix, -10, note, Placement{1.0, 1.0, 1.0, 1.0}); // before the start: dropped
    mix_stereo(mix, 45, note, note, Placement{1.0, 0.0, 0.0, 0.0});
    EXPECT_EQ(mix.left.size(), 50u);
    EXPECT_NEAR(mix.right[29], 0.0f, 1e-7);
    EXPECT_NEAR(mix.right[30], 1.0f, 1e-6);
    EXPECT_NEAR(mix.right[49], 2.0f, 1e-6);  // the stereo note adds from frame 45
    EXPECT_NEAR(mix.left[49], 1.0f, 1e-6);
}

TEST(MusicEffects, PingPongDelayRepeatsLeftThenRight)
{
    const int64_t d = 1000;
    Mix mix;
    init_mix(mix, 3 * d + 10);
    mix.delay_send[0] = 1.0f;
    apply_delay(mix, d, 0.5, 0.8);
    for (int64_t i = 0; i < 2 * d; ++i) {
        if (i != d) {
            ASSERT_EQ(mix.left[i], 0.0f) << i;
        }
        ASSERT_EQ(mix.right[i], 0.0f) << i;
    }
    EXPECT_FLOAT_EQ(mix.left[d], 0.8f);  // first repeat on the left, at full level
    // Second repeat on the right: feedback times one step of the 2.8 kHz one-pole.
    const double c = 1.0 - std::exp(-2.0 * PI * 2800.0 / 44100.0);
    EXPECT_NEAR(mix.right[2 * d], 0.8 * 0.5 * c, 1e-6);
    EXPECT_GT(mix.reverb_send[d], 0.0f);  // echoes feed the reverb
}

TEST(MusicEffects, ReverbTailDecaysAndIsStereo)
{
    Mix mix;
    init_mix(mix, 3 * SAMPLE_RATE);
    mix.reverb_send[0] = 1.0f;
    apply_reverb(mix, 0.85, 0.3, 2.0);
    const double first = rms_of(mix.left, 0, SAMPLE_RATE / 2);
    const double later = rms_of(mix.left, 2 * SAMPLE_RATE, 3 * SAMPLE_RATE);
    EXPECT_GT(first, 0.0);
    EXPECT_LT(later, first * 0.1);
    EXPECT_NE(std::memcmp(mix.left.data(), mix.right.data(), mix.left.size() * sizeof(float)), 0);
    // Silence stays silence.
    init_mix(mix, 1000);
    apply_reverb(mix, 0.85, 0.3, 2.0);
    EXPECT_EQ(peak_abs(mix.left), 0.0f);
}

TEST(MusicEffects, NormalisePeak)
{
    std::vector<float> l = {0.1f, -0.5f, 0.25f}, r = {0.2f, 0.0f, -0.4f};
    EXPECT_FLOAT_EQ(static_cast<float>(peak_of(l, r)), 0.5f);
    const double scale = normalise_peak(l, r, 0.75);
    EXPECT_DOUBLE_EQ(scale, 1.5);
    EXPECT_FLOAT_EQ(l[1], -0.75f);
    EXPECT_FLOAT_EQ(r[2], -0.6f);
    std::vector<float> zl(5, 0.0f), zr(5, 0.0f);
    EXPECT_EQ(normalise_peak(zl, zr, 0.75), 1.0);
    EXPECT_EQ(peak_of(zl, zr), 0.0);
}
