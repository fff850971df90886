// strip.cpp - strip geometry and the sampled runs of a track.
#include "strip.h"

#include <cmath>

#include "base/convert.h"
#include "sync/track.h"
#include "transport.h"

enum {
    STRIP_MARGIN = 8,  // window pixels around the strip
    STRIP_HEIGHT = 30,
};

SDL_Rect strip_rect(int w, int h)
{
    const int sw = w - 2 * STRIP_MARGIN;
    return SDL_Rect{STRIP_MARGIN, h - STRIP_MARGIN - STRIP_HEIGHT, sw > 1 ? sw : 1, STRIP_HEIGHT};
}

double strip_time_at(const SDL_Rect &strip, int x, double length)
{
    double f = static_cast<double>(x - strip.x) / strip.w;
    f = f < 0.0 ? 0.0 : (f > 1.0 ? 1.0 : f);
    return f * length;
}

int strip_x_of(const SDL_Rect &strip, double seconds, double length)
{
    double f = seconds / length;
    f = f < 0.0 ? 0.0 : (f > 1.0 ? 1.0 : f);
    return strip.x + static_cast<int>(std::floor(f * strip.w));
}

void sample_strip_runs(const SyncTrack *track, const SDL_Rect &strip, double length,
                       std::vector<StripRun> *runs)
{
    runs->clear();
    for (int c = 0; c < strip.w; c++) {
        const double seconds = length * c / strip.w;
        // The row as the frame loop forms it: single precision.
        const float row = static_cast<float>(seconds * STUDIO_ROWS_PER_SECOND);
        const int value = to_int32(track_value_at(track, static_cast<double>(row)));
        const int x = strip.x + c;
        if (!runs->empty() && runs->back().value == value && runs->back().x1 == x)
            runs->back().x1 = x + 1;
        else
            runs->push_back(StripRun{x, x + 1, value});
    }
}
