// hud.h - what the studio draws over its window with ImGui's draw lists: the
// values of this frame, the help line, the timeline strip (zoomable, with
// time labels, scene names, the beat and bar grid at the source's tempo,
// its marks and the music's envelope),
// and the box of timeline errors.
#pragma once

#include <SDL.h>

#include <string>
#include <vector>

#include "state/state.h"
#include "studio/view/grid_layout.h"
#include "studio/view/strip.h"
#include "studio/transport.h"
#include "timeline/declared_tracks.h"
#include "timeline/timeline.h"

struct ImDrawList;
struct Waveform;

struct HudState {
    double seconds = 0.0; // music time of the frame
    FrameTime time{};     // its Row and Tick, as the frame drew them
    double length = 1.0;  // the strip's length in seconds (> 0)
    StripSpan span{};     // what the strip shows
    double fps = 0.0;
    bool paused = false, muted = false;
    LoopRange loop{};
    bool help = false;    // the list of keys
    bool compact = false; // the panel without the track values (the grid shows them)
    std::vector<std::pair<std::string, bool>> notices{}; // lines under the values; true: a warning
    Waveform *waveform = nullptr; // or null
    bool strip_held = false;  // the strip is being dragged: drawn in full over a caption
    bool half_speed = false;  // picture and music run at half speed
    TimelineTempo tempo{};    // where beats and bars fall
    const std::vector<TimelineMark> *marks = nullptr; // shown on the strip, or null
    // The tracks the scenes declare, listed with their values (the grid has
    // no column for them) or marked when no code reads them; or null.
    const std::vector<TrackDeclaration> *declared = nullptr;
};

// The value panel, the list of keys and the strip, from the frame values and
// tracks. Returns the y below the panel.
float draw_hud(const HudState &state);

// The band of the window where this frame's caption line is drawn (its
// text and shadow, through the letterbox), or false when none shows.
bool caption_band(int w, int h, float *y0, float *y1);

// Fades what was drawn into `dl` from vertex `first` on where it lies in
// rows [y0, y1), so a caption under it stays readable.
void fade_in_band(ImDrawList *dl, int first, float y0, float y1);

// A box of error lines in the upper middle of the window.
void draw_error_box(const std::string &errors);

// "mm:ss.mmm" of a music time, rounded to the millisecond.
std::string format_clock(double seconds);

// The name of a scene index, "no scene" for an index without one.
const char *scene_name(int index);
