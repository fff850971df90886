// strip.h - the geometry of the HUD's timeline strip: the whole length of the
// music along the bottom of the window, with the runs of one track's whole
// value (the scene, the overlay line) sampled once per pixel column.
#pragma once

#include <SDL.h>

#include <vector>

struct SyncTrack;

// The strip's rectangle in a window of w x h pixels.
SDL_Rect strip_rect(int w, int h);

// The music time under window column x (clamped to the strip), and the
// column of a time. length > 0.
double strip_time_at(const SDL_Rect &strip, int x, double length);
int strip_x_of(const SDL_Rect &strip, double seconds, double length);

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
