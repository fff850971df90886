// hud.h - what the studio draws over its window with ImGui's draw lists: the
// values of this frame, the help line, the timeline strip (zoomable, with
// time labels, scene names, the beat and bar grid and the music's envelope),
// and the box of timeline errors.
#pragma once

#include <SDL.h>

#include <string>
#include <vector>

#include "studio/strip.h"
#include "studio/transport.h"

struct Waveform;

struct HudState {
    double seconds;   // music time of the frame
    double length;    // the strip's length in seconds (> 0)
    StripSpan span;   // what the strip shows
    double fps;
    bool paused, muted;
    LoopRange loop;
    bool help;        // the line of keys
    bool compact;     // the panel without the track values (the grid shows them)
    std::vector<std::pair<std::string, bool>> notices; // lines under the values; true: a warning
    Waveform *waveform; // or null
};

// The line of keys shown with F1 or ?.
extern const char *const HUD_HELP_LINES[];

// The value panel, the help line and the strip, from the frame values and
// tracks. Returns the y below the panel.
float draw_hud(const HudState &state);

// A box of error lines in the upper middle of the window.
void draw_error_box(const std::string &errors);

// "mm:ss.mmm" of a music time, rounded to the millisecond.
std::string format_clock(double seconds);

// "BAR:BEAT" of a row at or after 0.
std::string bar_beat(int32_t row);

// The name of a scene index, "no scene" for an index without one.
const char *scene_name(int index);
