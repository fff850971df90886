// synth.cpp - deterministic maths, noise, envelopes, oscillators and
// filters of the soundtrack synthesizer (see synth.h).
#include "make_music/synth.h"

#include "make_music/arrangement.h"
#include "base/convert.h"  // to_int32: every float-to-integer conversion

#include <algorithm>
#include <bit>
#include <cmath>  // floor and fabs only: both exact

// ---- Deterministic maths -----------------------------------------------------

double det_sin(double x)
{
    if (!(x > -1e9 && x < 1e9))
        return 0.0;
    const double two_pi = 2.0 * PI;
    double r = x - std::floor(x / two_pi + 0.5) * two_pi;  // about -pi..pi
    if (r > PI / 2)
        r = PI - r;
    else if (r < -PI / 2)
        r = -PI - r;
    // Taylor series to r^17: error below 1e-13 on -pi/2..pi/2.
    const double r2 = r * r;
    double p = 1.0 / 355687428096000.0;
    p = p * r2 - 1.0 / 1307674368000.0;
    p = p * r2 + 1.0 / 6227020800.0;
    p = p * r2 - 1.0 / 39916800.0;
    p = p * r2 + 1.0 / 362880.0;
    p = p * r2 - 1.0 / 5040.0;
    p = p * r2 + 1.0 / 120.0;
    p = p * r2 - 1.0 / 6.0;
    return r + r * r2 * p;
}

double det_cos(double x)
{
    return det_sin(x + PI / 2);
}

double det_exp2(double x)
{
    if (!(x > -1000.0))
        return 0.0;  // also NaN
    if (x > 1000.0)
        x = 1000.0;
    const double n = std::floor(x + 0.5);
    const double y = (x - n) * 0.69314718055994531;  // |y| <= ln(2)/2
    // Taylor series of e^y to y^13: error below 1e-17.
    double p = 1.0 / 6227020800.0;
    p = p * y + 1.0 / 479001600.0;
    p = p * y + 1.0 / 39916800.0;
    p = p * y + 1.0 / 3628800.0;
    p = p * y + 1.0 / 362880.0;
    p = p * y + 1.0 / 40320.0;
    p = p * y + 1.0 / 5040.0;
    p = p * y + 1.0 / 720.0;
    p = p * y + 1.0 / 120.0;
    p = p * y + 1.0 / 24.0;
    p = p * y + 1.0 / 6.0;
    p = p * y + 0.5;
    p = p * y + 1.0;
    p = p * y + 1.0;
    // Times 2^n, built from its exponent bits: n is within -1000..1000, so
    // 2^n is a normal double and the product is exact scaling.
    const uint64_t bits = static_cast<uint64_t>(to_int32(n) + 1023) << 52;
    return p * std::bit_cast<double>(bits);
}

double det_exp(double x)
{
    return det_exp2(x * 1.4426950408889634);  // log2(e)
}

double soft_clip(double x)
{
    // Pade approximant of tanh, exact 1 at |x| = 3 and flat beyond.
    if (x >= 3.0)
        return 1.0;
    if (x <= -3.0)
        return -1.0;
    if (x != x)
        return 0.0;
    const double x2 = x * x;
    return x * (27.0 + x2) / (27.0 + 9.0 * x2);
}

double note_frequency(double midi_note)
{
    return 440.0 * det_exp2((midi_note - 69.0) / 12.0);
}

int64_t seconds_to_frames(double seconds)
{
    const int32_t n = to_int32(seconds * SAMPLE_RATE);
    return n > 0 ? n : 0;
}

// ---- Noise ---------------------------------------------------------------------

Rng make_rng(uint32_t seed)
{
    return Rng{seed != 0 ? seed : 1u};
}

uint32_t next_u32(Rng &rng)
{
    uint32_t x = rng.state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    rng.state = x;
    return x;
}

float next_noise(Rng &rng)
{
    // Top 24 bits as a signed number: exact in a float, -2^23 .. 2^23 - 1.
    const int32_t v = static_cast<int32_t>(next_u32(rng)) >> 8;
    return static_cast<float>(v) * (1.0f / 8388608.0f);
}

// ---- Envelope --------------------------------------------------------------------

static int64_t ramp_frames(double seconds)
{
    return std::max(seconds_to_frames(seconds), seconds_to_frames(MIN_RAMP_SECONDS));
}

// Level while the gate is open: attack, then decay towards the sustain level.
static double gate_level(const Envelope &env, int64_t i)
{
    const int64_t a = ramp_frames(env.attack_s);
    if (i <= 0)
        return 0.0;
    if (i < a)
        return 0.5 - 0.5 * det_cos(PI * static_cast<double>(i) / static_cast<double>(a));
    if (!(env.decay_s > 0.0))
        return 1.0;
    const double t = static_cast<double>(i - a) / SAMPLE_RATE;
    return env.sustain + (1.0 - env.sustain) * det_exp(-t / env.decay_s);
}

int64_t envelope_length(const Envelope &env, int64_t gate_frames)
{
    return std::max<int64_t>(gate_frames, 0) + ramp_frames(env.release_s);
}

double envelope_gain(const Envelope &env, int64_t gate_frames, int64_t i)
{
    const int64_t gate = std::max<int64_t>(gate_frames, 0);
    const int64_t r = ramp_frames(env.release_s);
    if (i <= 0 || i >= gate + r)
        return 0.0;
    if (i < gate)
        return gate_level(env, i);
    const double u = static_cast<double>(i - gate) / static_cast<double>(r);
    return gate_level(env, gate) * (0.5 + 0.5 * det_cos(PI * u));
}

// ---- Oscillators -------------------------------------------------------------------

double poly_blep(double phase, double dt)
{
    if (phase < dt) {
        const double t = phase / dt;
        return t + t - t * t - 1.0;
    }
    if (phase > 1.0 - dt) {
        const double t = (phase - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

double saw_wave(double phase, double dt)
{
    return 2.0 * phase - 1.0 - poly_blep(phase, dt);
}

double square_wave(double phase, double dt)
{
    double v = phase < 0.5 ? 1.0 : -1.0;
    double other = phase + 0.5;
    if (other >= 1.0)
        other -= 1.0;
    return v + poly_blep(phase, dt) - poly_blep(other, dt);
}

// ---- Filters -----------------------------------------------------------------------

void set_svf(Svf &f, double cutoff_hz, double q)
{
    const double fc = std::clamp(cutoff_hz, 20.0, 0.45 * SAMPLE_RATE);
    const double w = PI * fc / SAMPLE_RATE;
    const double g = det_sin(w) / det_cos(w);  // tan, prewarped cutoff
    f.k = 1.0 / std::max(q, 0.1);
    f.a1 = 1.0 / (1.0 + g * (g + f.k));
    f.a2 = g * f.a1;
    f.a3 = g * f.a2;
}

Svf make_svf(double cutoff_hz, double q)
{
    Svf f{};
    set_svf(f, cutoff_hz, q);
    return f;
}

SvfOut step_svf(Svf &f, double in)
{
    const double v3 = in - f.ic2;
    const double v1 = f.a1 * f.ic1 + f.a2 * v3;
    const double v2 = f.ic2 + f.a2 * f.ic1 + f.a3 * v3;
    f.ic1 = 2.0 * v1 - f.ic1;
    f.ic2 = 2.0 * v2 - f.ic2;
    return SvfOut{v2, v1, in - f.k * v1 - v2};
}
