// strip.cpp - strip geometry and the sampled runs of a track.
#include "studio/view/strip.h"

#include <climits>
#include <cmath>

#include "base/convert.h"
#include "sync/track.h"
#include "studio/transport.h"

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

double strip_time_in(const SDL_Rect &strip, int x, StripSpan span)
{
    double f = static_cast<double>(x - strip.x) / strip.w;
    f = f < 0.0 ? 0.0 : (f > 1.0 ? 1.0 : f);
    return span.from + f * (span.to - span.from);
}

float strip_x_in(const SDL_Rect &strip, double seconds, StripSpan span)
{
    return static_cast<float>(strip.x + (seconds - span.from) / (span.to - span.from) * strip.w);
}

// The shortest span a zoom reaches: 0.8 s, two beats at the default tempo.
constexpr double MIN_SPAN_SECONDS = 2.0 * ROWS_PER_BEAT / STUDIO_ROWS_PER_SECOND;

static StripSpan clamp_span(StripSpan span, double length)
{
    double width = span.to - span.from;
    if (width > length)
        width = length;
    if (width < MIN_SPAN_SECONDS)
        width = MIN_SPAN_SECONDS;
    double from = span.from;
    if (from + width > length)
        from = length - width;
    if (from < 0.0)
        from = 0.0;
    return StripSpan{from, from + width};
}

StripSpan zoom_strip(StripSpan span, double factor, double around, double length)
{
    const double width = (span.to - span.from) * factor;
    const double f = (around - span.from) / (span.to - span.from);
    return clamp_span(StripSpan{around - f * width, around - f * width + width}, length);
}

StripSpan pan_strip(StripSpan span, double by, double length)
{
    return clamp_span(StripSpan{span.from + by, span.to + by}, length);
}

StripSpan follow_strip(StripSpan span, double seconds, double length)
{
    const double width = span.to - span.from;
    if (seconds < span.from || seconds > span.to)
        span = StripSpan{seconds - width * 0.1, seconds - width * 0.1 + width};
    return clamp_span(span, length);
}

StripSpan follow_playhead(StripSpan span, double before, double now, double length)
{
    const bool was_inside = before >= span.from && before <= span.to;
    return was_inside ? follow_strip(span, now, length) : span;
}

void sample_strip_runs(const SyncTrack *track, const SDL_Rect &strip, double length,
                       std::vector<StripRun> *runs)
{
    sample_strip_runs_in(track, strip, StripSpan{0.0, length}, runs);
}

void sample_strip_runs_in(const SyncTrack *track, const SDL_Rect &strip, StripSpan span,
                          std::vector<StripRun> *runs)
{
    runs->clear();
    for (int c = 0; c < strip.w; c++) {
        const double seconds = span.from + (span.to - span.from) * c / strip.w;
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

void place_strip_marks(const SDL_Rect &strip, StripSpan span, const std::vector<TimelineMark> &marks,
                       float (*label_width)(const std::string &name), std::vector<StripMarkShown> *shown)
{
    shown->clear();
    int last_column = INT_MIN;
    float label_end = -HUGE_VALF;
    for (size_t i = 0; i < marks.size(); i++) {
        const float x = strip_x_in(strip, marks[i].row / STUDIO_ROWS_PER_SECOND, span);
        if (!(x >= strip.x && x <= strip.x + strip.w))
            continue;
        const int column = static_cast<int>(std::floor(x));
        if (column == last_column)
            continue;
        last_column = column;
        const bool label = x >= label_end;
        if (label)
            label_end = x + label_width(marks[i].name) + STRIP_MARK_LABEL_ROOM;
        shown->push_back(StripMarkShown{i, x, label});
    }
}
