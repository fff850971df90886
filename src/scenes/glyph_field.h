// glyph_field.h - scene 6: 30 overlapping rows of random bitmap-font glyphs,
// tinted by a slowly moving cosine pattern, copied straight onto the window.
#pragma once

#include <SDL.h>
#include <cstdint>

#include "scenes/scene_passes.h"
#include "state/state.h"

// The scene's state is in state/state.h: GlyphRandomState (starts at 5323,
// never reset, carried between frames and visits), GlyphLine (the 39
// character codes of the current frame, 34..96) and GlyphCopies.
enum {
    GLYPH_ROW_STEP = 35, // window pixels between rows
    GLYPH_STEPS_PER_FRAME = GLYPH_LINE_LENGTH + 2 * GLYPH_COPIES, // 2379
};

// One step, state = state * 8253729 + 2396403 wrapping in 32 bits; returns
// the number drawn from the new state, state mod 32767 with the sign of the
// state (-32766..32766).
int32_t next_glyph_random(int32_t *state);

// A new glyph line: 39 steps, code 65 + (d mod 32) each, sign kept (34..96).
void make_glyph_line(int32_t *state, char *line);

// The shade a (0..255) of glyph j in the row at window y; tt = Tick * 0.0001.
int glyph_shade(int y, int j, double tt);

// The 1170 copies of one frame, row by row, left to right, from the current
// random state (39 + 2 * 1170 steps) and the line it makes; glyph_table is
// the font's 240 cells (code n uses cell n - 33).
void plan_glyph_field(int32_t *state, char *line, uint32_t tick, const SDL_Rect *glyph_table,
                      GlyphCopy *copies);

// The scene's pixel work: the plan above, from out.glyph_random into
// out.glyph_line and out.glyph_copies, at the frame's Tick with the frame's
// glyph table. Writes no pixels.
ScenePixelFunction plan_glyph_copies;
