// glyph_field.h - scene 6: 30 overlapping rows of random bitmap-font glyphs,
// tinted by a slowly moving cosine pattern, copied straight onto the window.
#pragma once

#include <SDL.h>
#include <cstdint>

enum {
    GLYPH_LINE_LENGTH = 39,
    GLYPH_ROWS = 30,
    GLYPH_ROW_STEP = 35, // window pixels between rows
    GLYPH_COPIES = GLYPH_ROWS * GLYPH_LINE_LENGTH,
    GLYPH_STEPS_PER_FRAME = GLYPH_LINE_LENGTH + 2 * GLYPH_COPIES, // 2379
};

enum : int32_t { GLYPH_RANDOM_START = 5323 };

// The scene's own generator: starts at 5323, never reset, carried between
// frames and visits.
extern int32_t GlyphRandomState;
// The 39 character codes of the current frame (34..96).
extern char GlyphLine[GLYPH_LINE_LENGTH];

// One step, state = state * 8253729 + 2396403 wrapping in 32 bits; returns
// the number drawn from the new state, state mod 32767 with the sign of the
// state (-32766..32766).
int32_t next_glyph_random(int32_t *state);

// A new glyph line: 39 steps, code 65 + (d mod 32) each, sign kept (34..96).
void make_glyph_line(int32_t *state, char *line);

// The shade a (0..255) of glyph j in the row at window y; tt = Tick * 0.0001.
int glyph_shade(int y, int j, double tt);

// One glyph copy of the field.
struct GlyphCopy {
    SDL_Rect src, dst;
    uint8_t r, g, b; // colour modulation of the font texture
};

// The 1170 copies of one frame, row by row, left to right, from the current
// random state (39 + 2 * 1170 steps) and the line it makes; glyph_table is
// the font's 240 cells (code n uses cell n - 33).
void plan_glyph_field(int32_t *state, char *line, uint32_t tick, const SDL_Rect *glyph_table,
                      GlyphCopy *copies);
