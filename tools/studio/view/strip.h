// strip.h - the geometry of the HUD's timeline strip: the whole length of the
// music along the bottom of the window, with the runs of one track's whole
// value (the scene, the overlay line) sampled once per pixel column.
#pragma once

#include <SDL.h>

#include <cstddef>
#include <string>
#include <vector>

#include "timeline/timeline.h"

struct SyncTrack;

// The strip's rectangle in a window of w x h pixels.
SDL_Rect strip_rect(int w, int h);

// The music time under window column x (clamped to the strip), and the
// column of a time. length > 0.
double strip_time_at(const SDL_Rect &strip, int x, double length);
int strip_x_of(const SDL_Rect &strip, double seconds, double length);

// The part of the music the strip shows, in seconds (to > from). Zooming
// keeps the time under `around` where it is on the strip.
struct StripSpan {
    double from, to;
};
double strip_time_in(const SDL_Rect &strip, int x, StripSpan span);
float strip_x_in(const SDL_Rect &strip, double seconds, StripSpan span); // unclamped
StripSpan zoom_strip(StripSpan span, double factor, double around, double length);
// Moves the span by `by` seconds, kept inside [0, length].
StripSpan pan_strip(StripSpan span, double by, double length);
// Keeps the playhead inside a zoomed span by paging it along.
StripSpan follow_strip(StripSpan span, double seconds, double length);
// Pages along only when the playhead leaves the span: it was inside at
// `before` (the time the strip last showed) and is outside `now`. A span
// zoomed or panned away from the playhead stays where it was put.
StripSpan follow_playhead(StripSpan span, double before, double now, double length);


// A run of columns [x0, x1) over which the track's value, truncated toward
// zero, is `value`.
struct StripRun {
    int x0, x1;
    int value;
};

// The runs of the track over the strip's columns, each column read at the
// time of its left edge.
void sample_strip_runs(const SyncTrack *track, const SDL_Rect &strip, double length,
                       std::vector<StripRun> *runs);
void sample_strip_runs_in(const SyncTrack *track, const SDL_Rect &strip, StripSpan span,
                          std::vector<StripRun> *runs);

// The marks the strip shows in `span`: the flag of each mark in view, one a
// pixel column (the first mark on it), and its name beside the flag where
// the name's backing clears the one drawn before it (widths from
// `label_width`); the rest are left out, as the time labels are, so what is
// drawn stays within what the strip's width can show however many marks a
// timeline holds. `marks` in row order, as the timeline keeps them.
struct StripMarkShown {
    size_t mark;  // index in `marks`
    float x;      // the flag's column
    bool label;   // the name is drawn
};
// A label's backing runs from its flag to STRIP_MARK_LABEL_ROOM pixels past
// its text.
constexpr float STRIP_MARK_LABEL_ROOM = 6.0f;
void place_strip_marks(const SDL_Rect &strip, StripSpan span, const std::vector<TimelineMark> &marks,
                       float (*label_width)(const std::string &name), std::vector<StripMarkShown> *shown);
