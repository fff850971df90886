// mix.h - the soundtrack's mix: dry stereo and two sends the instruments
// are added into, the delay and reverb effects, and the peak normalisation.
// Same deterministic arithmetic as the synthesizer (synth.h).
#pragma once

#include <cstdint>
#include <vector>

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
