// waveform.cpp - decoding the music into a peak envelope, and drawing it.
#include "waveform.h"

#include <imgui.h>

#include <chrono>
#include <cmath>
#include <cstdlib>

#include "base/ogg_source.h"

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
}

void add_waveform(ImDrawList *dl, const Waveform &w, const SDL_Rect &strip, StripSpan span)
{
    if (!w.ready.load(std::memory_order_acquire) || w.peaks.empty())
        return;
    const float mid = strip.y + strip.h * 0.33f, half = strip.h * 0.33f;
    const double per_px = (span.to - span.from) / strip.w;
    for (int c = 0; c < strip.w; c++) {
        const double t0 = span.from + c * per_px;
        size_t b0 = static_cast<size_t>(std::max(0.0, t0 / w.bucket_seconds));
        size_t b1 = static_cast<size_t>(std::max(0.0, (t0 + per_px) / w.bucket_seconds));
        if (b1 <= b0)
            b1 = b0 + 1;
        float p = 0.0f;
        for (size_t b = b0; b < b1 && b < w.peaks.size(); b++)
            p = std::max(p, w.peaks[b]);
        if (p <= 0.0f)
            continue;
        const float x = static_cast<float>(strip.x + c);
        dl->AddRectFilled(ImVec2(x, mid - p * half), ImVec2(x + 1, mid + p * half), IM_COL32(0, 0, 0, 120));
    }
}
