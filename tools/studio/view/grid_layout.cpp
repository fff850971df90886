// grid_layout.cpp - the tempo, the grid's lines, blocks, rectangles and the
// curve view's range and drag axis.
#include "studio/view/grid_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/facts.h"
#include "studio/transport.h"
#include "sync/track.h"

constexpr int GRID_MARGIN = 8;
constexpr int CURVE_H = 120;
constexpr int STRIP_LABELS_H = 24; // the strip's time labels above it

std::string bar_beat(int32_t row, const TimelineTempo &tempo)
{
    int64_t bar = 0;
    int32_t beat = 0;
    tempo_bar_beat(tempo, row > 0 ? row : 0, &bar, &beat);
    return std::to_string(bar) + ":" + std::to_string(beat);
}

std::string row_name(int32_t row, const TimelineTempo &tempo)
{
    int64_t beat = 0;
    return row >= 0 && tempo_row_is_beat(tempo, row, &beat) ? bar_beat(row, tempo) : "row " + std::to_string(row);
}

bool line_beat(const TimelineTempo &tempo, int32_t row, int rows_per_line, bool *on_bar, int32_t *beat_row)
{
    // The first beat at or after the line's first row.
    int64_t beat = tempo_beat_at(tempo, row);
    if (tempo_beat_row(tempo, beat) < row)
        beat++;
    const int64_t end = static_cast<int64_t>(row) + rows_per_line;
    int32_t at = tempo_beat_row(tempo, beat);
    if (at < row || at >= end)
        return false;
    *beat_row = at;
    *on_bar = false;
    for (; at >= row && at < end; at = tempo_beat_row(tempo, ++beat)) {
        *on_bar = *on_bar || beat % tempo.beats_per_bar == 0;
        if (at == INT32_MAX)
            break;
    }
    return true;
}

int grid_rows_at(int zoom)
{
    return 1 << std::clamp(zoom, 0, 3);
}

int32_t cursor_row_at(double seconds, int rows_per_line)
{
    const double row = std::floor(seconds * STUDIO_ROWS_PER_SECOND + 1e-6);
    const int32_t r = row > 0.0 ? (row < INT32_MAX ? static_cast<int32_t>(row) : INT32_MAX) : 0;
    return r - r % rows_per_line;
}

int key_on_line_of(const KeyList &keys, int32_t row, int rows_per_line)
{
    const int64_t last = static_cast<int64_t>(row) + rows_per_line - 1;
    const int i = key_at_or_before(keys, static_cast<int32_t>(std::min<int64_t>(last, INT32_MAX)));
    return i >= 0 && keys[i].row >= row ? i : -1;
}

KeyBlock block_between(int32_t line_a, int32_t line_b, int track_a, int track_b, int rows_per_line)
{
    KeyBlock b;
    b.row0 = std::min(line_a, line_b);
    const int64_t end = static_cast<int64_t>(std::max(line_a, line_b)) + rows_per_line;
    b.row1 = static_cast<int32_t>(std::min<int64_t>(end, INT32_MAX));
    b.track0 = std::min(track_a, track_b);
    b.track1 = std::max(track_a, track_b);
    return b;
}

SDL_Rect curve_rect_in(int w, int h)
{
    const SDL_Rect strip = strip_rect(w, h);
    return SDL_Rect{strip.x, strip.y - STRIP_LABELS_H - CURVE_H, strip.w, CURVE_H};
}

SDL_Rect grid_rect_in(int w, int h, int grid_top, bool curve_on)
{
    const SDL_Rect strip = strip_rect(w, h);
    int bottom = strip.y - STRIP_LABELS_H;
    if (curve_on)
        bottom -= CURVE_H + 4;
    const int gh = bottom - grid_top;
    return SDL_Rect{GRID_MARGIN, grid_top, w - 2 * GRID_MARGIN, gh > 0 ? gh : 0};
}

int grid_line_count(const SDL_Rect &grid, float line_h)
{
    return line_h > 0.0f ? static_cast<int>((grid.h - line_h) / line_h) : 0;
}

bool grid_cell_at(const SDL_Rect &grid, float line_h, int track_count, int32_t cursor, int rows_per_line,
                  int x, int y, int *track, int32_t *row)
{
    const SDL_Point p = {x, y};
    const int lines = grid_line_count(grid, line_h);
    if (lines < 3 || !SDL_PointInRect(&p, &grid) || x < grid.x + GRID_LABEL_W)
        return false;
    const float col_w = (grid.w - GRID_LABEL_W) / static_cast<float>(track_count);
    *track = std::min(track_count - 1, static_cast<int>((x - grid.x - GRID_LABEL_W) / col_w));
    const int k = static_cast<int>(std::floor((y - grid.y - line_h) / line_h));
    const int64_t r = static_cast<int64_t>(cursor) + static_cast<int64_t>(k - lines / 2) * rows_per_line;
    *row = k < 0 || k >= lines || r < 0 || r > INT32_MAX ? -1 : static_cast<int32_t>(r);
    return true;
}

// The value of plain keys at a row, read as the frame reads a track.
static double value_of(const KeyList &keys, double row)
{
    SyncTrack t{nullptr, const_cast<SyncKey *>(keys.data()), static_cast<int32_t>(keys.size())};
    return track_value_at(&t, row);
}

void curve_value_range_in(const KeyList &keys, double from_row, double to_row, bool whole, float *lo, float *hi)
{
    float a = 0.0f, b = 1.0f;
    if (!keys.empty()) {
        a = b = static_cast<float>(value_of(keys, whole ? keys.front().row : from_row));
        const auto take = [&](float v) {
            a = std::min(a, v);
            b = std::max(b, v);
        };
        if (!whole)
            take(static_cast<float>(value_of(keys, to_row)));
        for (const SyncKey &k : keys)
            if (whole || (k.row >= from_row && k.row <= to_row))
                take(k.value);
    }
    if (b - a < 1.0f) {
        const float mid = (a + b) * 0.5f;
        a = mid - 0.5f;
        b = mid + 0.5f;
    }
    const float margin = (b - a) * 0.1f;
    *lo = a - margin;
    *hi = b + margin;
}

DragAxis choose_drag_axis(DragAxis now, int dx, int dy, bool free)
{
    if (free)
        return DRAG_FREE;
    if (now == DRAG_TIME || now == DRAG_VALUE)
        return now;
    const int ax = std::abs(dx), ay = std::abs(dy);
    if (std::max(ax, ay) < CURVE_AXIS_PIXELS)
        return DRAG_UNDECIDED;
    return ax >= ay ? DRAG_TIME : DRAG_VALUE;
}

float round_to_range(double value, float lo, float hi)
{
    const double step = std::pow(10.0, std::floor(std::log10((static_cast<double>(hi) - lo) / 100.0)));
    return static_cast<float>(std::round(value / step) * step);
}
