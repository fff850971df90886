// overlay.h - the line of text drawn over every frame when "clear.a" selects
// one: the bitmap font at twice its size with a black drop shadow.
#pragma once

#include <SDL.h>

struct OverlayLine {
    int selector;     // "clear.a" truncated toward zero
    int y;            // pen y of the shadow, window pixels
    const char *text;
};

// A text table: `count` captions, each selector at most once.
struct CaptionTable {
    int count;
    const OverlayLine *lines;
};

// The program's own text table (text/captions.cpp): OVERLAY_LINE_COUNT lines.
extern const OverlayLine OverlayLines[];
extern const int OVERLAY_LINE_COUNT;
extern const CaptionTable DemoCaptions;

// The line of a table that a selector value picks, or null when it picks none.
const OverlayLine *find_caption(const CaptionTable &captions, int selector);
// The same in the program's own table.
const OverlayLine *find_overlay_line(int selector);

// Draws text with its shadow at pen y = y onto the current render target.
void draw_text_overlay(const char *text, int y);

// ---- Layout, apart from the renderer ---------------------------------------

// One copy of a glyph: the cell of the font image and where it goes.
struct OverlayCopy {
    SDL_Rect src;
    SDL_Rect dst;
};

// Glyph width on screen given to a character that has no font cell (codes
// below 33, taken as signed 8-bit values): it draws nothing and leaves a gap
// as wide as a wide glyph.
enum { BLANK_ADVANCE = 50 };

// Lays out the first `count` characters of text with the pen at (*pen_x,
// pen_y), every glyph at twice its cell size and glyphs back to back, each
// drawn `lift` pixels left of and above the pen (0 for the shadow, 4 for the
// text). Writes the copies into out, returns how many (characters without a
// cell make none) and advances *pen_x past the last character. glyphs is the
// 240-cell table.
int layout_text(const char *text, int count, int *pen_x, int pen_y, int lift,
                const SDL_Rect *glyphs, OverlayCopy *out);
