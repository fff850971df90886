// glyph_field.cpp - scene 6: random glyph field.
//
// Every frame a new line of 39 pseudo-random characters is drawn 30 times down
// the window, rows 35 pixels apart so each covers the bottom of the one above,
// at twice the font size with a small random change of size per glyph and a
// colour from a cosine pattern over the grid and the Tick. Copies go straight
// onto the window, which is not cleared. The copies are planned into a table
// first, then sent to the renderer in order.
#include "scenes/glyph_field.h"

#include "base/convert.h"
#include "state/state.h"
#include "scenes/scenes.h"

#include <cmath>
#include <cstdlib>

int32_t next_glyph_random(int32_t *state)
{
    *state = static_cast<int32_t>(static_cast<uint32_t>(*state) * 8253729u + 2396403u);
    return *state % 32767;
}

void make_glyph_line(int32_t *state, char *line)
{
    for (int i = 0; i < GLYPH_LINE_LENGTH; i++)
        line[i] = static_cast<char>(65 + next_glyph_random(state) % 32);
}

int glyph_shade(int y, int j, double tt)
{
    const double c1 = std::cos(y * 0.01 + j * 0.01 + tt);
    const double c2 = std::cos(c1 * 20.0 + (j * 0.01 + 1.0) * 0.1 + tt);
    return to_int32(std::fabs(c2 * 255.0));
}

void plan_glyph_field(int32_t *state, char *line, uint32_t tick, const SDL_Rect *glyph_table,
                      GlyphCopy *copies)
{
    make_glyph_line(state, line);
    const double tt = tick * 0.0001;
    GlyphCopy *out = copies;
    for (int row = 0; row < GLYPH_ROWS; row++) {
        const int y = row * GLYPH_ROW_STEP;
        int pen_x = 0;
        for (int j = 0; j < GLYPH_LINE_LENGTH; j++) {
            const SDL_Rect src = glyph_table[line[j] - 33];
            const int32_t d1 = next_glyph_random(state);
            const int32_t d2 = next_glyph_random(state);
            const int a = glyph_shade(y, j, tt);
            out->src = src;
            out->dst = SDL_Rect{pen_x, y, 2 * src.w + d1 % 16, 2 * src.h + d2 % 16};
            out->r = static_cast<uint8_t>(std::abs(64 - a) + 1);
            out->g = static_cast<uint8_t>(std::abs(92 - a) + 1);
            out->b = out->r;
            out++;
            pen_x += 2 * src.w; // the size change does not move the pen
        }
    }
}

uint32_t plan_glyph_copies(const SceneFrame &frame, const SceneOutput &out)
{
    plan_glyph_field(out.glyph_random, out.glyph_line, frame.tick, frame.glyph_table,
                     out.glyph_copies);
    return 0;
}

void draw_glyph_field(const FrameTime &time)
{
    SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_BLEND);
    plan_glyph_copies(current_scene_frame(time), scene_state_output(nullptr));
    for (int row = 0; row < GLYPH_ROWS; row++) {
        PenX = 0;
        PenY = row * GLYPH_ROW_STEP;
        for (int j = 0; j < GLYPH_LINE_LENGTH; j++) {
            const GlyphCopy &c = GlyphCopies[row * GLYPH_LINE_LENGTH + j];
            SDL_SetTextureColorMod(FontTexture, c.r, c.g, c.b);
            SDL_RenderCopy(renderer, FontTexture, &c.src, &c.dst);
            PenX += 2 * c.src.w;
        }
    }
}
