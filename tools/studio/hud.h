// hud.h - what the studio draws over its window: the values of this frame,
// the timeline strip, and the box of timeline errors.
//
// Text is drawn from a glyph atlas made once with SDL_ttf from a monospace
// Debian font; every draw is a single SDL_RenderGeometry call of quads, so
// the HUD costs a few draw calls whatever it shows.
#pragma once

#include <SDL.h>

#include <string>
#include <vector>

#include "transport.h"

struct HudFont {
    SDL_Texture *atlas = nullptr; // printable ASCII, one cell per character
    int cell_w = 0, cell_h = 0;   // advance and line height, pixels
};

// The font the HUD looks for (fonts-dejavu-core).
constexpr const char *HUD_FONT_PATH = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

// Opens SDL_ttf and builds the atlas. False (reason in *error) when the font
// cannot be used: the HUD then draws its shapes without text.
bool open_hud_font(HudFont *font, const char *path, int pixel_size, std::string *error);
void close_hud_font(HudFont *font);

struct HudState {
    double seconds;   // music time of the frame
    double length;    // the strip's length in seconds (> 0)
    double fps;
    bool paused, muted;
    LoopRange loop;
    const std::string *notice; // one line under the values (a file that cannot be read), or null
};

// The value panel and the strip, from the current frame values and tracks.
void draw_hud(const HudFont &font, const HudState &state);

// A box of error lines in the upper middle of the window.
void draw_error_box(const HudFont &font, const std::string &errors);

// "mm:ss.mmm" of a music time, rounded to the millisecond.
std::string format_clock(double seconds);
