// transport.cpp - grid steps, scene-change jumps and the loop's wrap.
#include "studio/transport.h"

#include <cmath>

#include "sync/track.h"

// Rows computed from seconds carry rounding noise (19.6 s * 20 may give
// 391.99999999999994): grid decisions allow this much.
constexpr double ROW_TOLERANCE = 1e-6;

double clamp_time(double seconds, double length)
{
    if (!(seconds > 0.0))
        return 0.0; // NaN lands at the start too
    if (length >= 0.0 && seconds > length)
        return length;
    return seconds;
}

double grid_step(double seconds, int direction, int step_rows, double length)
{
    const double row = seconds * STUDIO_ROWS_PER_SECOND;
    const double step = step_rows;
    double line;
    if (direction > 0)
        line = (std::floor(row / step + ROW_TOLERANCE) + 1.0) * step;
    else
        line = std::floor((row - BACK_STEP_GRACE_ROWS) / step + ROW_TOLERANCE) * step;
    return clamp_time(line / STUDIO_ROWS_PER_SECOND, length);
}

double scene_change_step(double seconds, int direction, const SyncTrack *scene, double length)
{
    const double row = seconds * STUDIO_ROWS_PER_SECOND;
    double target = direction > 0 ? seconds : 0.0;
    if (direction > 0) {
        for (int32_t i = 0; i < scene->key_count; i++)
            if (scene->keys[i].row > row + ROW_TOLERANCE) {
                target = scene->keys[i].row / STUDIO_ROWS_PER_SECOND;
                break;
            }
    } else {
        for (int32_t i = scene->key_count - 1; i >= 0; i--)
            if (scene->keys[i].row <= row - BACK_STEP_GRACE_ROWS + ROW_TOLERANCE) {
                target = scene->keys[i].row / STUDIO_ROWS_PER_SECOND;
                break;
            }
    }
    return clamp_time(target, length);
}

// Row of the start of the bar that holds `seconds` (times before 0 count as 0).
static int32_t bar_start_row(double seconds)
{
    const double row = clamp_time(seconds, -1.0) * STUDIO_ROWS_PER_SECOND;
    const double bars = std::floor(row / ROWS_PER_BAR + ROW_TOLERANCE);
    if (bars >= INT32_MAX / ROWS_PER_BAR - 1)
        return (INT32_MAX / ROWS_PER_BAR - 1) * ROWS_PER_BAR;
    return static_cast<int32_t>(bars) * ROWS_PER_BAR;
}

void press_loop(LoopRange *loop, double seconds)
{
    const int32_t bar = bar_start_row(seconds);
    switch (loop->stage) {
    case 0:
        loop->stage = 1;
        loop->start_row = bar;
        break;
    case 1: {
        const int32_t first = bar < loop->start_row ? bar : loop->start_row;
        const int32_t last = bar < loop->start_row ? loop->start_row : bar;
        loop->stage = 2;
        loop->start_row = first;
        loop->end_row = last + ROWS_PER_BAR;
        break;
    }
    default:
        *loop = LoopRange{};
        break;
    }
}

double wrap_loop(const LoopRange &loop, double previous, double now, double length)
{
    if (loop.stage != 2)
        return now;
    const double start = loop.start_row / STUDIO_ROWS_PER_SECOND;
    double end = loop.end_row / STUDIO_ROWS_PER_SECOND;
    if (length >= 0.0 && length < end)
        end = length; // the music stops before the loop's end: wrap there
    if (end <= start || previous < start || previous >= end || now < end)
        return now;
    return start + std::fmod(now - end, end - start);
}
