// mix.cpp - the soundtrack's mix bus, its delay and reverb and the peak
// normalisation (see mix.h).
#include "make_music/mix.h"

#include "make_music/arrangement.h"
#include "make_music/synth.h"

#include <algorithm>
#include <cmath>  // floor and fabs only: both exact

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
