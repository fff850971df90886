// instruments.cpp - the soundtrack's instruments, each rendering one note
// (see instruments.h).
#include "make_music/instruments.h"

#include "make_music/arrangement.h"

#include <algorithm>
#include <cmath>  // floor and fabs only: both exact

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
        phase = advance_phase(phase, freq / SAMPLE_RATE);
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
        phase = advance_phase(phase, freq / SAMPLE_RATE);
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
        phases[k] = advance_phase(phases[k], dt);
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
        p1 = advance_phase(p1, dt1);
        p2 = advance_phase(p2, dt2);
        p_sub = advance_phase(p_sub, dt_sub);
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
        lfo = advance_phase(lfo, lfo_dt);
        double l = 0.0, r = 0.0;
        for (int k = 0; k < count; ++k) {
            l += saw_wave(phases[k][0], dts[k][0]) + saw_wave(phases[k][1], dts[k][1]);
            r += saw_wave(phases[k][2], dts[k][2]) + saw_wave(phases[k][3], dts[k][3]);
            for (int j = 0; j < 4; ++j)
                phases[k][j] = advance_phase(phases[k][j], dts[k][j]);
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
        p_vib = advance_phase(p_vib, 5.5 / SAMPLE_RATE);
        const double base = note.frequency + (start - note.frequency) * glide;
        glide *= glide_mul;
        const double freq = base * det_exp2(semis / 12.0);
        if ((i & 15) == 0)
            set_svf(lp, note.cutoff * (1.0 + 1.5 * filter_env), 1.1);
        filter_env *= filter_mul;
        const double dt = freq / SAMPLE_RATE;
        const double raw = 0.6 * saw_wave(p_saw, dt) + 0.4 * square_wave(p_sq, dt * 1.003);
        p_saw = advance_phase(p_saw, dt);
        p_sq = advance_phase(p_sq, dt * 1.003);
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
        phase = advance_phase(phase, dt);
        out[i] = static_cast<float>(0.75 * v * envelope_gain(env, gate_frames, i));
    }
}
