// overlay.cpp - the line of text over every frame (a caption of the text
// table, text/captions.cpp, chosen by "clear.a"), in the bitmap font at twice
// its size, with a black shadow 4 pixels right of and below the text.
//
// All shadow glyphs are drawn before all text glyphs, so a shadow never covers
// a neighbouring glyph. The pen is the shared PenX/PenY that the glyph-field
// scene also uses; the font texture is left modulated with white.

#include "text/overlay.h"

#include <cstring>

#include "state/state.h"

namespace {

constexpr int FIRST_CODE = 33;      // "!" uses cell 0
constexpr int PEN_START_X = 100;
constexpr int SHADOW_OFFSET = 4;    // the text sits this far left of and above its shadow
constexpr int CHUNK = 64;           // glyph copies laid out at a time
constexpr int PEN_LIMIT = 1 << 24;  // far past any window: later glyphs cannot show

} // namespace

int layout_text(const char *text, int count, int *pen_x, int pen_y, int lift,
                const SDL_Rect *glyphs, OverlayCopy *out)
{
    int copies = 0;
    for (int i = 0; i < count; ++i) {
        const int cell = static_cast<signed char>(text[i]) - FIRST_CODE;
        if (cell < 0 || cell >= GLYPH_CELLS) {
            *pen_x += BLANK_ADVANCE;
            continue;
        }
        const SDL_Rect &src = glyphs[cell];
        out[copies].src = src;
        out[copies].dst = SDL_Rect{*pen_x - lift, pen_y - lift, 2 * src.w, 2 * src.h};
        ++copies;
        *pen_x += 2 * src.w;
    }
    return copies;
}

namespace {

// One pass over the text with the pen starting at (PenX, PenY).
void draw_text_pass(const char *text, int length, int lift)
{
    OverlayCopy copies[CHUNK];
    for (int done = 0; done < length && PenX < PEN_LIMIT; done += CHUNK) {
        const int count = length - done < CHUNK ? length - done : CHUNK;
        const int n = layout_text(text + done, count, &PenX, PenY, lift, GlyphTable, copies);
        for (int i = 0; i < n; ++i)
            SDL_RenderCopy(renderer, FontTexture, &copies[i].src, &copies[i].dst);
    }
}

} // namespace

void draw_text_overlay(const char *text, int y)
{
    // A null text draws like an empty one. Past PEN_LIMIT nothing can show,
    // so the length is bounded there and the pen never overflows.
    const int length = text ? static_cast<int>(strnlen(text, PEN_LIMIT / BLANK_ADVANCE)) : 0;

    PenX = PEN_START_X;
    PenY = y;
    SDL_SetTextureColorMod(FontTexture, 0, 0, 0); // shadow
    draw_text_pass(text, length, 0);

    PenX = PEN_START_X;
    SDL_SetTextureColorMod(FontTexture, 255, 255, 255); // the font's own colours
    draw_text_pass(text, length, SHADOW_OFFSET);
}
