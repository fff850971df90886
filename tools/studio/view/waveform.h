// waveform.h - the music's loudness envelope for the strip: "music.ogg"
// decoded once with the same Ogg Vorbis decoder and byte source the player
// uses, on a thread of its own at start, so no frame waits for it. The
// envelope is the peak of each 1/100 s of sound, 0..1.
#pragma once

#include <SDL.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "studio/view/strip.h"

struct ImDrawList;

struct Waveform {
    std::thread thread;
    std::atomic<bool> ready{false}; // peaks and error are final
    std::vector<float> peaks;       // one per bucket
    double bucket_seconds = 0.01;
    std::string error;              // why there is none
    double decode_seconds = 0.0;    // time the decoding took
    // The envelope as drawn: painted into a texture only when the strip's
    // span or size changes, then one quad a frame.
    SDL_Texture *texture = nullptr;
    StripSpan painted{0.0, 0.0};
    int painted_w = 0, painted_h = 0;
};

// Starts decoding `path` in the background.
void start_waveform(Waveform *w, const std::string &path);
// Waits for the decoding and frees the texture; call before destroying the
// Waveform.
void stop_waveform(Waveform *w);

// Decodes a whole Ogg Vorbis file into peaks (the thread's work, callable
// directly). False with the reason in *error.
bool decode_peaks(const std::string &path, double bucket_seconds, std::vector<float> *peaks,
                  std::string *error);

// Paints the envelope of `span` into w x h pixels 0xAARRGGBB: per column the
// peak of its buckets as a bar about the middle, translucent black, the rest
// transparent.
void paint_waveform(const std::vector<float> &peaks, double bucket_seconds, StripSpan span,
                    uint32_t *pixels, int w, int h);

// Draws the envelope over the upper part of the strip, once it is ready
// (mutable: the texture is repainted when the span changed).
void add_waveform(ImDrawList *dl, Waveform *w, const SDL_Rect &strip, StripSpan span);
