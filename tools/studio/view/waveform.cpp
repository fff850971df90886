// waveform.cpp - decoding the music into a peak envelope, and drawing it.
#include "studio/view/waveform.h"

#include <imgui.h>

#include <chrono>
#include <cmath>
#include <cstdlib>

#include "base/ogg_source.h"
#include "gfx/render_context.h"

bool decode_peaks(const std::string &path, double bucket_seconds, std::vector<float> *peaks,
                  std::string *error)
{
    peaks->clear();
    OggSource src;
    if (!ogg_source_open_file(src, path.c_str())) {
        *error = path + ": cannot open";
        return false;
    }
    OggVorbis_File vf;
    if (ov_open_callbacks(&src, &vf, nullptr, 0, ogg_source_callbacks()) != 0) {
        ogg_source_close(src);
        *error = path + ": not Ogg Vorbis";
        return false;
    }
    const vorbis_info *info = ov_info(&vf, -1);
    const long rate = info ? info->rate : 44100;
    const long per_bucket = std::max(1L, static_cast<long>(rate * bucket_seconds));
    long in_bucket = 0;
    int peak = 0;
    char buffer[16384];
    int link = 0;
    bool ok = true;
    for (;;) {
        const long n = ov_read(&vf, buffer, sizeof buffer, 0, 2, 1, &link);
        if (n == OV_HOLE)
            continue;
        if (n < 0) {
            ok = false;
            *error = path + ": damaged";
            break;
        }
        if (n == 0)
            break;
        const int channels = ov_info(&vf, link) ? ov_info(&vf, link)->channels : 2;
        const int16_t *s = reinterpret_cast<const int16_t *>(buffer);
        const long frames = n / 2 / channels;
        for (long f = 0; f < frames; f++) {
            for (int c = 0; c < channels; c++)
                peak = std::max(peak, std::abs(static_cast<int>(s[f * channels + c])));
            if (++in_bucket == per_bucket) {
                peaks->push_back(peak / 32768.0f);
                peak = 0;
                in_bucket = 0;
            }
        }
    }
    if (in_bucket > 0)
        peaks->push_back(peak / 32768.0f);
    ov_clear(&vf);
    ogg_source_close(src);
    return ok || !peaks->empty();
}

void start_waveform(Waveform *w, const std::string &path)
{
    w->thread = std::thread([w, path] {
        const auto t0 = std::chrono::steady_clock::now();
        decode_peaks(path, w->bucket_seconds, &w->peaks, &w->error);
        w->decode_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        w->ready.store(true, std::memory_order_release);
    });
}

void stop_waveform(Waveform *w)
{
    if (w->thread.joinable())
        w->thread.join();
    if (w->texture)
        SDL_DestroyTexture(w->texture);
    w->texture = nullptr;
}

void paint_waveform(const std::vector<float> &peaks, double bucket_seconds, StripSpan span,
                    uint32_t *pixels, int w, int h)
{
    const uint32_t BAR = 0x78000000u; // black at alpha 120
    const double per_px = (span.to - span.from) / w;
    const float mid = h * 0.5f;
    for (int c = 0; c < w; c++) {
        const double t0 = span.from + c * per_px;
        size_t b0 = static_cast<size_t>(std::max(0.0, t0 / bucket_seconds));
        size_t b1 = static_cast<size_t>(std::max(0.0, (t0 + per_px) / bucket_seconds));
        if (b1 <= b0)
            b1 = b0 + 1;
        float p = 0.0f;
        for (size_t b = b0; b < b1 && b < peaks.size(); b++)
            p = std::max(p, peaks[b]);
        // Rows whose centre lies within the bar: |y + 0.5 - mid| < p * mid.
        for (int y = 0; y < h; y++)
            pixels[static_cast<size_t>(y) * w + c] = std::fabs(y + 0.5f - mid) < p * mid ? BAR : 0u;
    }
}

void add_waveform(ImDrawList *dl, Waveform *w, const SDL_Rect &strip, StripSpan span)
{
    if (!w->ready.load(std::memory_order_acquire) || w->peaks.empty())
        return;
    const int th = strip.h * 2 / 3;
    if (!w->texture || w->painted_w != strip.w || w->painted_h != th || w->painted.from != span.from ||
        w->painted.to != span.to) {
        if (w->texture && (w->painted_w != strip.w || w->painted_h != th)) {
            SDL_DestroyTexture(w->texture);
            w->texture = nullptr;
        }
        if (!w->texture) {
            w->texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                           strip.w, th);
            if (!w->texture)
                return;
            SDL_SetTextureBlendMode(w->texture, SDL_BLENDMODE_BLEND);
        }
        std::vector<uint32_t> pixels(static_cast<size_t>(strip.w) * th);
        paint_waveform(w->peaks, w->bucket_seconds, span, pixels.data(), strip.w, th);
        SDL_UpdateTexture(w->texture, nullptr, pixels.data(), strip.w * 4);
        w->painted = span;
        w->painted_w = strip.w;
        w->painted_h = th;
    }
    dl->AddImage(static_cast<ImTextureID>(w->texture), ImVec2(strip.x, strip.y),
                 ImVec2(strip.x + strip.w, strip.y + th));
}
