// transport.cpp - grid steps, scene-change jumps and the loop's wrap.
#include "studio/transport.h"

#include <algorithm>
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

double grid_step(double seconds, int direction, const TimelineTempo &tempo, int beats, double length)
{
    const double row = seconds * STUDIO_ROWS_PER_SECOND;
    const double unit = tempo_rows_per_beat(tempo) * beats; // rows a step, not a whole number in general
    const auto row_of = [&](int64_t n) { return static_cast<double>(tempo_beat_row(tempo, n * beats)); };
    // A first guess from the mean step, then the exact rows of the beats.
    int64_t n = static_cast<int64_t>(std::floor(row / unit));
    double line;
    if (direction > 0) {
        n -= 1;
        while (row_of(n) <= row + ROW_TOLERANCE && row_of(n) < INT32_MAX)
            n++;
        line = row_of(n);
    } else {
        n += 1;
        while (n > 0 && row_of(n) > row - BACK_STEP_GRACE_ROWS + ROW_TOLERANCE)
            n--;
        line = n > 0 ? row_of(n) : 0.0;
    }
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

double snap_to_beat(double seconds, const TimelineTempo &tempo)
{
    if (!(seconds > 0.0))
        return 0.0;
    const double row = seconds * STUDIO_ROWS_PER_SECOND;
    const double rows_per_beat = tempo_rows_per_beat(tempo);
    const int64_t near = static_cast<int64_t>(std::min(std::round(row / rows_per_beat), 1e15));
    // Of the beats around the guess, the one whose row is nearest.
    double best = 0.0, best_gap = -1.0;
    for (int64_t b = near - 1; b <= near + 1; b++) {
        const double at = tempo_beat_row(tempo, b > 0 ? b : 0);
        const double gap = std::fabs(at - row);
        if (best_gap < 0.0 || gap < best_gap) {
            best = at;
            best_gap = gap;
        }
    }
    return best / STUDIO_ROWS_PER_SECOND;
}

bool mark_step(double seconds, int direction, const std::vector<TimelineMark> &marks, const TimelineMark **found)
{
    const double row = seconds * STUDIO_ROWS_PER_SECOND;
    *found = nullptr;
    if (direction > 0) {
        for (const TimelineMark &m : marks)
            if (m.row > row + ROW_TOLERANCE) {
                *found = &m;
                break;
            }
    } else {
        for (auto m = marks.rbegin(); m != marks.rend(); ++m)
            if (m->row <= row - BACK_STEP_GRACE_ROWS + ROW_TOLERANCE) {
                *found = &*m;
                break;
            }
    }
    return *found != nullptr;
}

int32_t bar_start_row(const TimelineTempo &tempo, int32_t row)
{
    const int64_t beat = tempo_beat_at(tempo, row > 0 ? row : 0);
    return tempo_beat_row(tempo, beat - beat % tempo.beats_per_bar);
}

int32_t next_bar_row(const TimelineTempo &tempo, int32_t row)
{
    const int64_t beat = tempo_beat_at(tempo, row > 0 ? row : 0);
    return tempo_beat_row(tempo, beat - beat % tempo.beats_per_bar + tempo.beats_per_bar);
}

static int32_t row_at(double seconds)
{
    const double row = std::floor(clamp_time(seconds, -1.0) * STUDIO_ROWS_PER_SECOND + ROW_TOLERANCE);
    return row < INT32_MAX ? static_cast<int32_t>(row) : INT32_MAX;
}

void press_loop(LoopRange *loop, double seconds, const TimelineTempo &tempo)
{
    const int32_t bar = bar_start_row(tempo, row_at(seconds));
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
        loop->end_row = next_bar_row(tempo, last);
        break;
    }
    default:
        *loop = LoopRange{};
        break;
    }
}

LoopRange loop_between(double a, double b, const TimelineTempo &tempo)
{
    const double ra = snap_to_beat(a, tempo) * STUDIO_ROWS_PER_SECOND;
    const double rb = snap_to_beat(b, tempo) * STUDIO_ROWS_PER_SECOND;
    const auto whole = [](double r) { return static_cast<int32_t>(std::min(std::round(r), double(INT32_MAX))); };
    LoopRange loop;
    if (whole(ra) == whole(rb))
        return loop;
    loop.stage = 2;
    loop.start_row = whole(std::min(ra, rb));
    loop.end_row = whole(std::max(ra, rb));
    return loop;
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
