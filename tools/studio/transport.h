// transport.h - the arithmetic of moving around the music: beat and bar
// steps on the grid, jumps between scene changes, the loop over bars and its
// wrap. Pure functions of times in seconds; the studio hands the results to
// the music player.
//
// Grid: 20 rows per second; beats and bars where the source's tempo puts
// them (timeline/timeline.h: by default 150 BPM, 4 beats a bar, so a beat is
// 8 rows, 0.4 s; at 128 BPM a beat is 9.375 rows and lands on the nearest
// row). Times are clamped to [0, length]; a negative length means the
// music's length is unknown and only 0 bounds the time.
#pragma once

#include <cstdint>
#include <vector>

#include "base/facts.h"
#include "timeline/timeline.h"

struct SyncTrack;

// Rows a second as a double, for arithmetic on music times.
constexpr double STUDIO_ROWS_PER_SECOND = ROWS_PER_SECOND;

// Backward steps skip a grid line that lies less than this many rows behind
// (0.1 s): pressed repeatedly during playback they keep going back instead of
// landing again on the line just passed.
constexpr double BACK_STEP_GRACE_ROWS = 2.0;

double clamp_time(double seconds, double length);

// The next beat's row strictly after `seconds` (direction > 0) or the last
// one at least the grace behind it (direction < 0), counting every `beats`
// beats from row 0 (1: beats, beats_per_bar: bars); clamped.
double grid_step(double seconds, int direction, const TimelineTempo &tempo, int beats, double length);

// The first row of the bar that holds `row` (rows before 0 count as 0), and
// the first row of the bar after it.
int32_t bar_start_row(const TimelineTempo &tempo, int32_t row);
int32_t next_bar_row(const TimelineTempo &tempo, int32_t row);

// The next key row of the scene track strictly after `seconds`, or the last
// at least the grace behind it; clamped. With no such key: forward stays,
// backward goes to 0.
double scene_change_step(double seconds, int direction, const SyncTrack *scene, double length);

// The nearest beat's row to a time, in seconds (never below 0).
double snap_to_beat(double seconds, const TimelineTempo &tempo);

// The next mark strictly after `seconds`, or the last at least the grace
// behind it (marks in row order); false when there is none that way.
bool mark_step(double seconds, int direction, const std::vector<TimelineMark> &marks, const TimelineMark **found);

// The loop over bars. L presses move it through three stages: none, start
// set (at the start of the bar then current), looping (from the earlier to
// the end of the later of the two bars); the next press clears it.
struct LoopRange {
    int stage = 0;        // 0: none, 1: start set, 2: looping
    int32_t start_row = 0;
    int32_t end_row = 0;  // exclusive; only in stage 2
};

void press_loop(LoopRange *loop, double seconds, const TimelineTempo &tempo);

// The loop a drag on the strip from `a` to `b` (seconds, either order)
// sets: between the beats nearest to each; none when both are the same beat.
LoopRange loop_between(double a, double b, const TimelineTempo &tempo);

// Where playback goes on when the time moved from `previous` to `now` in one
// frame: inside a loop that reaches its end (or the music's end, when that
// comes first) it wraps to the start by the amount it overshot; otherwise it
// stays at `now`.
double wrap_loop(const LoopRange &loop, double previous, double now, double length);
