// synth.cpp - deterministic maths, noise, envelopes, oscillators, filters,
// instruments and effects of the soundtrack synthesizer (see synth.h).
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

// Advances a phase in cycles and wraps it into [0, 1).
static double advance(double phase, double dt)
{
    phase += dt;
    if (phase >= 1.0)
        phase -= std::floor(phase);
    return phase;
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

// ---- Drums -------------------------------------------------------------------------

void render_kick(double drive, std::vector<float> &out)
{
    const Envelope env{0.002, 0.17, 0.0, 0.04};
    const int64_t gate = seconds_to_frames(0.34);
    const int64_t n = envelope_length(env, gate);
    out.assign(static_cast<size_t>(n), 0.0f);
    const double sweep_mul = det_exp(-1.0 / (0.03 * SAMPLE_RATE));
    const double norm = 1.0 / soft_clip(drive);
    double sweep = 1.0;
    double phase = 0.0;
    for (int64_t i = 0; i < n; ++i) {
        const double freq = 44.0 + 150.0 * sweep;  // Hz: a thump falling to a low tone
        sweep *= sweep_mul;
        const double body = det_sin(2.0 * PI * phase);
        phase = advance(phase, freq / SAMPLE_RATE);
        out[i] = static_cast<float>(soft_clip(drive * body * envelope_gain(env, gate, i)) * norm);
    }
}

void render_snare(uint32_t seed, std::vector<float> &out)
{
    const Envelope body_env{0.002, 0.045, 0.0, 0.03};
    const Envelope noise_env{0.002, 0.10, 0.0, 0.06};
    const int64_t gate = seconds_to_frames(0.2);
    const int64_t n = envelope_length(noise_env, gate);
    out.assign(static_cast<size_t>(n), 0.0f);
    Rng rng = make_rng(seed);
    Svf high = make_svf(1400.0, 0.7);
    Svf bright = make_svf(5200.0, 1.5);
    const double sweep_mul = det_exp(-1.0 / (0.02 * SAMPLE_RATE));
    double sweep = 1.0;
    double phase = 0.0;
    for (int64_t i = 0; i < n; ++i) {
        const double freq = 175.0 + 60.0 * sweep;
        sweep *= sweep_mul;
        const double tone = det_sin(2.0 * PI * phase);
        phase = advance(phase, freq / SAMPLE_RATE);
        const double noise = next_noise(rng);
        const double hiss = step_svf(high, noise).high + 0.6 * step_svf(bright, noise).band;
        const double v = 0.36 * tone * envelope_gain(body_env, gate, i) +
                         0.54 * hiss * envelope_gain(noise_env, gate, i);
        out[i] = static_cast<float>(v);
    }
}

// Six detuned square waves: the metallic part of cymbals (Hz).
static const double METAL_HZ[6] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};

static double metal_sample(double *phases, double scale)
{
    double v = 0.0;
    for (int k = 0; k < 6; ++k) {
        const double dt = METAL_HZ[k] * scale / SAMPLE_RATE;
        v += square_wave(phases[k], dt);
        phases[k] = advance(phases[k], dt);
    }
    return v / 6.0;
}

void render_hat(uint32_t seed, bool open, std::vector<float> &out)
{
    const Envelope env = open ? Envelope{0.002, 0.13, 0.0, 0.08} : Envelope{0.002, 0.022, 0.0, 0.02};
    const int64_t gate = seconds_to_frames(open ? 0.3 : 0.06);
    const int64_t n = envelope_length(env, gate);
    out.assign(static_cast<size_t>(n), 0.0f);
    Rng rng = make_rng(seed);
    Svf high = make_svf(7600.0, 0.8);
    double phases[6] = {0.0, 0.11, 0.23, 0.37, 0.51, 0.67};
    for (int64_t i = 0; i < n; ++i) {
        const double raw = 0.7 * next_noise(rng) + 0.5 * metal_sample(phases, 4.0);
        out[i] = static_cast<float>(step_svf(high, raw).high * envelope_gain(env, gate, i));
    }
}

void render_crash(uint32_t seed, std::vector<float> &left, std::vector<float> &right)
{
    const Envelope env{0.002, 0.8, 0.0, 0.5};
    const int64_t gate = seconds_to_frames(2.2);
    const int64_t n = envelope_length(env, gate);
    left.assign(static_cast<size_t>(n), 0.0f);
    right.assign(static_cast<size_t>(n), 0.0f);
    Rng rng_l = make_rng(seed);
    Rng rng_r = make_rng(seed ^ 0x9E3779B9u);
    Svf high_l = make_svf(4200.0, 0.7);
    Svf high_r = make_svf(4200.0, 0.7);
    double phases_l[6] = {0.0, 0.13, 0.29, 0.41, 0.57, 0.73};
    double phases_r[6] = {0.5, 0.61, 0.07, 0.83, 0.19, 0.31};
    for (int64_t i = 0; i < n; ++i) {
        const double g = envelope_gain(env, gate, i);
        const double l = 0.8 * next_noise(rng_l) + 0.4 * metal_sample(phases_l, 3.1);
        const double r = 0.8 * next_noise(rng_r) + 0.4 * metal_sample(phases_r, 3.3);
        left[i] = static_cast<float>(step_svf(high_l, l).high * g);
        right[i] = static_cast<float>(step_svf(high_r, r).high * g);
    }
}

void render_riser(uint32_t seed, int64_t frames, std::vector<float> &out)
{
    const Envelope env{0.02, 0.0, 1.0, 0.01};
    const int64_t gate = std::max<int64_t>(frames - seconds_to_frames(0.01), 0);
    const int64_t n = envelope_length(env, gate);
    out.assign(static_cast<size_t>(n), 0.0f);
    Rng rng = make_rng(seed);
    Svf band = make_svf(300.0, 2.5);
    for (int64_t i = 0; i < n; ++i) {
        const double u = static_cast<double>(i) / static_cast<double>(n);  // 0..1
        if ((i & 15) == 0)
            set_svf(band, 300.0 * det_exp2(5.0 * u), 2.5);  // 300 Hz .. 9.6 kHz
        const double v = step_svf(band, next_noise(rng)).band * u * u;
        out[i] = static_cast<float>(0.45 * v * envelope_gain(env, gate, i));
    }
}

// ---- Tonal instruments -------------------------------------------------------------

void render_bass(const BassNote &note, std::vector<float> &out)
{
    const Envelope env{0.003, 0.0, 1.0, 0.015};
    const int64_t n = envelope_length(env, note.gate_frames);
    out.assign(static_cast<size_t>(n), 0.0f);
    const double detune = det_exp2(7.0 / 1200.0);  // 7 cents
    const double glide_mul = det_exp(-1.0 / (0.035 * SAMPLE_RATE));
    const double filter_mul = det_exp(-1.0 / (0.09 * SAMPLE_RATE));
    const double start = note.glide_from > 0.0 ? note.glide_from : note.frequency;
    const double norm = 1.0 / soft_clip(note.drive);
    double glide = 1.0, filter_env = 1.0;
    double p1 = 0.0, p2 = 0.5, p_sub = 0.0;
    Svf lp = make_svf(note.cutoff, 1.3);
    for (int64_t i = 0; i < n; ++i) {
        const double freq = note.frequency + (start - note.frequency) * glide;
        glide *= glide_mul;
        if ((i & 15) == 0)
            set_svf(lp, note.cutoff * (1.0 + note.env_amount * filter_env), 1.3);
        filter_env *= filter_mul;
        const double dt1 = freq * detune / SAMPLE_RATE;
        const double dt2 = freq / detune / SAMPLE_RATE;
        const double dt_sub = freq / SAMPLE_RATE;  // a sine under the fundamental
        const double raw = 0.5 * (saw_wave(p1, dt1) + saw_wave(p2, dt2));
        const double sub = det_sin(2.0 * PI * p_sub);
        p1 = advance(p1, dt1);
        p2 = advance(p2, dt2);
        p_sub = advance(p_sub, dt_sub);
        const double v = step_svf(lp, raw).low + 0.55 * sub;
        out[i] = static_cast<float>(soft_clip(note.drive * v) * norm * envelope_gain(env, note.gate_frames, i));
    }
}

void render_pad(const PadChord &chord, std::vector<float> &left, std::vector<float> &right)
{
    const Envelope env{chord.attack_s, 0.0, 1.0, chord.release_s};
    const int64_t n = envelope_length(env, chord.gate_frames);
    left.assign(static_cast<size_t>(n), 0.0f);
    right.assign(static_cast<size_t>(n), 0.0f);
    const int count = std::clamp(chord.count, 0, MAX_PAD_NOTES);
    if (count == 0)
        return;
    // Two saws a side per note, detuned by -11/+5 cents left and -5/+11 right.
    const double cents[4] = {-11.0, 5.0, -5.0, 11.0};
    double dts[MAX_PAD_NOTES][4];
    double phases[MAX_PAD_NOTES][4];
    for (int k = 0; k < count; ++k)
        for (int j = 0; j < 4; ++j) {
            dts[k][j] = chord.frequencies[k] * det_exp2(cents[j] / 1200.0) / SAMPLE_RATE;
            phases[k][j] = 0.17 * (k * 4 + j) - std::floor(0.17 * (k * 4 + j));
        }
    const double norm = 1.0 / (2.0 * count);
    Svf lp_l = make_svf(chord.cutoff, 0.9);
    Svf lp_r = make_svf(chord.cutoff, 0.9);
    double lfo = 0.0;
    const double lfo_dt = 0.13 / SAMPLE_RATE;  // Hz: a slow breathing sweep
    for (int64_t i = 0; i < n; ++i) {
        if ((i & 31) == 0) {
            const double c = chord.cutoff * det_exp2(0.6 * det_sin(2.0 * PI * lfo));
            const double c2 = chord.cutoff * det_exp2(0.6 * det_cos(2.0 * PI * lfo));
            set_svf(lp_l, c, 0.9);
            set_svf(lp_r, c2, 0.9);
        }
        lfo = advance(lfo, lfo_dt);
        double l = 0.0, r = 0.0;
        for (int k = 0; k < count; ++k) {
            l += saw_wave(phases[k][0], dts[k][0]) + saw_wave(phases[k][1], dts[k][1]);
            r += saw_wave(phases[k][2], dts[k][2]) + saw_wave(phases[k][3], dts[k][3]);
            for (int j = 0; j < 4; ++j)
                phases[k][j] = advance(phases[k][j], dts[k][j]);
        }
        const double g = envelope_gain(env, chord.gate_frames, i) * norm;
        left[i] = static_cast<float>(step_svf(lp_l, l).low * g);
        right[i] = static_cast<float>(step_svf(lp_r, r).low * g);
    }
}

void render_lead(const LeadNote &note, std::vector<float> &out)
{
    const Envelope env{0.006, 0.5, 0.7, 0.09};
    const int64_t n = envelope_length(env, note.gate_frames);
    out.assign(static_cast<size_t>(n), 0.0f);
    const double glide_mul = det_exp(-1.0 / (0.04 * SAMPLE_RATE));
    const double filter_mul = det_exp(-1.0 / (0.18 * SAMPLE_RATE));
    const double start = note.glide_from > 0.0 ? note.glide_from : note.frequency;
    const int64_t vibrato_start = seconds_to_frames(0.18);
    const int64_t vibrato_ramp = seconds_to_frames(0.35);
    double glide = 1.0, filter_env = 1.0;
    double p_saw = 0.0, p_sq = 0.25, p_vib = 0.0;
    Svf lp = make_svf(note.cutoff, 1.1);
    for (int64_t i = 0; i < n; ++i) {
        // Vibrato: 5.5 Hz, fading in to a quarter semitone after 0.18 s.
        double depth = 0.0;
        if (i > vibrato_start)
            depth = 0.25 * std::min(1.0, static_cast<double>(i - vibrato_start) / vibrato_ramp);
        const double semis = depth * det_sin(2.0 * PI * p_vib);
        p_vib = advance(p_vib, 5.5 / SAMPLE_RATE);
        const double base = note.frequency + (start - note.frequency) * glide;
        glide *= glide_mul;
        const double freq = base * det_exp2(semis / 12.0);
        if ((i & 15) == 0)
            set_svf(lp, note.cutoff * (1.0 + 1.5 * filter_env), 1.1);
        filter_env *= filter_mul;
        const double dt = freq / SAMPLE_RATE;
        const double raw = 0.6 * saw_wave(p_saw, dt) + 0.4 * square_wave(p_sq, dt * 1.003);
        p_saw = advance(p_saw, dt);
        p_sq = advance(p_sq, dt * 1.003);
        out[i] = static_cast<float>(step_svf(lp, raw).low * envelope_gain(env, note.gate_frames, i));
    }
}

void render_drone(double frequency, int64_t gate_frames, std::vector<float> &out)
{
    const Envelope env{1.5, 0.0, 1.0, 2.0};
    const int64_t n = envelope_length(env, gate_frames);
    out.assign(static_cast<size_t>(n), 0.0f);
    const double dt = frequency / SAMPLE_RATE;
    double phase = 0.0;
    for (int64_t i = 0; i < n; ++i) {
        const double w = 2.0 * PI * phase;
        const double v = det_sin(w) + 0.3 * det_sin(2.0 * w) + 0.12 * det_sin(3.0 * w);
        phase = advance(phase, dt);
        out[i] = static_cast<float>(0.75 * v * envelope_gain(env, gate_frames, i));
    }
}

// ---- Mixing -------------------------------------------------------------------------

void init_mix(Mix &mix, int64_t frames)
{
    const size_t n = static_cast<size_t>(std::max<int64_t>(frames, 0));
    mix.left.assign(n, 0.0f);
    mix.right.assign(n, 0.0f);
    mix.reverb_send.assign(n, 0.0f);
    mix.delay_send.assign(n, 0.0f);
}

// Frames of a note of length len placed at start that fall inside the mix.
static int64_t visible_frames(const Mix &mix, int64_t start, int64_t len)
{
    const int64_t total = static_cast<int64_t>(mix.left.size());
    if (start < 0 || start >= total)
        return 0;
    return std::min(len, total - start);
}

void mix_mono(Mix &mix, int64_t start, const std::vector<float> &note, const Placement &p)
{
    const int64_t n = visible_frames(mix, start, static_cast<int64_t>(note.size()));
    const double angle = (std::clamp(p.pan, -1.0, 1.0) + 1.0) * (PI / 4);
    const float gl = static_cast<float>(p.gain * det_cos(angle));
    const float gr = static_cast<float>(p.gain * det_sin(angle));
    const float rev = static_cast<float>(p.gain * p.reverb);
    const float dly = static_cast<float>(p.gain * p.delay);
    for (int64_t i = 0; i < n; ++i) {
        const float v = note[i];
        mix.left[start + i] += gl * v;
        mix.right[start + i] += gr * v;
        mix.reverb_send[start + i] += rev * v;
        mix.delay_send[start + i] += dly * v;
    }
}

void mix_stereo(Mix &mix, int64_t start, const std::vector<float> &left,
                const std::vector<float> &right, const Placement &p)
{
    const int64_t len = static_cast<int64_t>(std::min(left.size(), right.size()));
    const int64_t n = visible_frames(mix, start, len);
    const float g = static_cast<float>(p.gain);
    const float rev = static_cast<float>(0.5 * p.gain * p.reverb);
    const float dly = static_cast<float>(0.5 * p.gain * p.delay);
    for (int64_t i = 0; i < n; ++i) {
        const float l = left[i], r = right[i];
        mix.left[start + i] += g * l;
        mix.right[start + i] += g * r;
        mix.reverb_send[start + i] += rev * (l + r);
        mix.delay_send[start + i] += dly * (l + r);
    }
}

// ---- Effects ---------------------------------------------------------------------------

void apply_delay(Mix &mix, int64_t delay_frames, double feedback, double wet)
{
    const int64_t total = static_cast<int64_t>(mix.left.size());
    if (delay_frames <= 0 || total == 0)
        return;
    std::vector<float> line_l(static_cast<size_t>(delay_frames), 0.0f);
    std::vector<float> line_r(static_cast<size_t>(delay_frames), 0.0f);
    const double c = 1.0 - det_exp(-2.0 * PI * 2800.0 / SAMPLE_RATE);  // one-pole at 2.8 kHz
    double lp_l = 0.0, lp_r = 0.0;
    int64_t pos = 0;
    for (int64_t i = 0; i < total; ++i) {
        const double out_l = line_l[pos];
        const double out_r = line_r[pos];
        lp_l += c * (out_l - lp_l);
        lp_r += c * (out_r - lp_r);
        // The send enters on the left; each side feeds the other.
        line_l[pos] = static_cast<float>(mix.delay_send[i] + feedback * lp_r);
        line_r[pos] = static_cast<float>(feedback * lp_l);
        mix.left[i] += static_cast<float>(wet * out_l);
        mix.right[i] += static_cast<float>(wet * out_r);
        mix.reverb_send[i] += static_cast<float>(0.3 * wet * (out_l + out_r));
        if (++pos == delay_frames)
            pos = 0;
    }
}

namespace {

// Comb lengths in frames at 44.1 kHz, mutually prime-ish so echoes do not
// line up; the right channel's are 23 frames longer for width.
const int COMB_FRAMES[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
const int ALLPASS_FRAMES[4] = {556, 441, 341, 225};
const int STEREO_SPREAD = 23;

struct Comb {
    std::vector<float> buf;
    size_t pos;
    double store;
};

struct Allpass {
    std::vector<float> buf;
    size_t pos;
};

double step_comb(Comb &c, double in, double feedback, double damping)
{
    const double out = c.buf[c.pos];
    c.store = out * (1.0 - damping) + c.store * damping;
    c.buf[c.pos] = static_cast<float>(in + c.store * feedback);
    if (++c.pos == c.buf.size())
        c.pos = 0;
    return out;
}

double step_allpass(Allpass &a, double in)
{
    const double held = a.buf[a.pos];
    a.buf[a.pos] = static_cast<float>(in + held * 0.5);
    if (++a.pos == a.buf.size())
        a.pos = 0;
    return held - in;
}

} // namespace

void apply_reverb(Mix &mix, double feedback, double damping, double wet)
{
    Comb combs[2][8];
    Allpass passes[2][4];
    for (int side = 0; side < 2; ++side) {
        for (int k = 0; k < 8; ++k)
            combs[side][k] = Comb{std::vector<float>(COMB_FRAMES[k] + side * STEREO_SPREAD, 0.0f), 0, 0.0};
        for (int k = 0; k < 4; ++k)
            passes[side][k] = Allpass{std::vector<float>(ALLPASS_FRAMES[k] + side * STEREO_SPREAD, 0.0f), 0};
    }
    const int64_t total = static_cast<int64_t>(mix.left.size());
    for (int64_t i = 0; i < total; ++i) {
        const double in = 0.015 * mix.reverb_send[i];
        double out[2];
        for (int side = 0; side < 2; ++side) {
            double acc = 0.0;
            for (int k = 0; k < 8; ++k)
                acc += step_comb(combs[side][k], in, feedback, damping);
            for (int k = 0; k < 4; ++k)
                acc = step_allpass(passes[side][k], acc);
            out[side] = acc;
        }
        mix.left[i] += static_cast<float>(wet * out[0]);
        mix.right[i] += static_cast<float>(wet * out[1]);
    }
}

double peak_of(const std::vector<float> &left, const std::vector<float> &right)
{
    float peak = 0.0f;
    for (float v : left)
        peak = std::max(peak, std::fabs(v));
    for (float v : right)
        peak = std::max(peak, std::fabs(v));
    return peak;
}

double normalise_peak(std::vector<float> &left, std::vector<float> &right, double target)
{
    const double peak = peak_of(left, right);
    if (!(peak > 0.0))
        return 1.0;
    const double scale = target / peak;
    for (float &v : left)
        v = static_cast<float>(v * scale);
    for (float &v : right)
        v = static_cast<float>(v * scale);
    return scale;
}
