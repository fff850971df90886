// Scene 6: the glyph field's own random sequence from 5323, its first line,
// the steps per frame, the glyph sizes and the colour range.
#include <gtest/gtest.h>

#include <vector>

#include "state/state.h"
#include "scene_window.h"
#include "scenes/glyph_field.h"
#include "scenes/scenes.h"

namespace {

// The font's cells: column q at 61q (less 1 past the first), row r at 50r,
// 25 wide in rows 0..4 and 21 below, 32 high.
std::vector<SDL_Rect> font_cells()
{
    std::vector<SDL_Rect> cells;
    for (int r = 0; r < 15; r++)
        for (int q = 0; q < 16; q++)
            cells.push_back(SDL_Rect{61 * q - (q > 0), 50 * r, r < 5 ? 25 : 21, 32});
    return cells;
}

// The recurrence worked in 64-bit arithmetic, kept to 32 bits by hand.
int32_t reference_step(int32_t s)
{
    const int64_t next = (static_cast<int64_t>(s) * 8253729 + 2396403) & 0xFFFFFFFFll;
    return static_cast<int32_t>(next >= 0x80000000ll ? next - 0x100000000ll : next);
}

struct Field {
    std::vector<SDL_Rect> cells = font_cells();
    std::vector<GlyphCopy> copies = std::vector<GlyphCopy>(GLYPH_COPIES);
    char line[GLYPH_LINE_LENGTH] = {};
    int32_t state = GLYPH_RANDOM_START;
    void plan(uint32_t tick) { plan_glyph_field(&state, line, tick, cells.data(), copies.data()); }
};

} // namespace

TEST(GlyphRandom, StepWrapsAndTheDrawKeepsTheSign)
{
    int32_t s = 5323;
    // 5323 * 8253729 + 2396403 = 43936995870 = 0xA3AD95A1E -> 0x3AD95A1E.
    EXPECT_EQ(next_glyph_random(&s), 987322910 % 32767);
    EXPECT_EQ(s, 987322910);
    next_glyph_random(&s);
    // The third state is negative: -1493870364 draws -(1493870364 mod 32767).
    EXPECT_EQ(next_glyph_random(&s), -22834);
    EXPECT_EQ(s, -1493870364);
}

TEST(GlyphLine, FirstLineFromTheStartState)
{
    int32_t s = GLYPH_RANDOM_START;
    char line[GLYPH_LINE_LENGTH];
    make_glyph_line(&s, line);
    EXPECT_EQ(line[0], 82);
    EXPECT_EQ(line[1], 93);
    EXPECT_EQ(line[2], 47);
    EXPECT_EQ(line[3], 39);
    EXPECT_EQ(line[4], 59);
    EXPECT_EQ(line[5], 96);
    for (char c : line) {
        ASSERT_GE(c, 34);
        ASSERT_LE(c, 96);
    }
}

TEST(GlyphField, FirstGlyphOfTheFirstRow)
{
    Field f;
    f.plan(0);
    const GlyphCopy &g = f.copies[0];
    // Code 82 is cell 49: row 3, column 1.
    EXPECT_EQ(g.src.x, 60);
    EXPECT_EQ(g.src.y, 150);
    EXPECT_EQ(g.src.w, 25);
    EXPECT_EQ(g.src.h, 32);
    EXPECT_EQ(g.dst.x, 0);
    EXPECT_EQ(g.dst.y, 0);
    EXPECT_EQ(g.dst.w, 50 - 11);
    EXPECT_EQ(g.dst.h, 64 + 3);
    // tt = 0: c1 = 1, c2 = cos(20.1) = 0.31490, a = 80 -> (17, 13, 17).
    EXPECT_EQ(g.r, 17);
    EXPECT_EQ(g.g, 13);
    EXPECT_EQ(g.b, 17);
}

TEST(GlyphField, PensAdvanceByTwiceTheCellWidthRowsBy35)
{
    Field f;
    f.plan(5000);
    for (int row = 0; row < GLYPH_ROWS; row++) {
        for (int j = 0; j < GLYPH_LINE_LENGTH; j++) {
            const GlyphCopy &g = f.copies[row * GLYPH_LINE_LENGTH + j];
            ASSERT_EQ(g.dst.x, 50 * j);
            ASSERT_EQ(g.dst.y, 35 * row);
            ASSERT_EQ(g.src.x, f.cells[f.line[j] - 33].x);
            ASSERT_EQ(g.src.y, f.cells[f.line[j] - 33].y);
            ASSERT_GE(g.dst.w, 35);
            ASSERT_LE(g.dst.w, 65);
            ASSERT_GE(g.dst.h, 49);
            ASSERT_LE(g.dst.h, 79);
        }
    }
    // Row 1, glyph 2 at Tick 5000 (tt = 0.5): a = 152 -> (89, 61, 89).
    const GlyphCopy &g = f.copies[GLYPH_LINE_LENGTH + 2];
    EXPECT_EQ(g.r, 89);
    EXPECT_EQ(g.g, 61);
    EXPECT_EQ(g.b, 89);
}

TEST(GlyphField, EachFrameTakes2379Steps)
{
    Field f;
    int32_t reference = GLYPH_RANDOM_START;
    for (int frame = 0; frame < 3; frame++) {
        for (int i = 0; i < 2379; i++)
            reference = reference_step(reference);
        f.plan(static_cast<uint32_t>(frame * 7));
        ASSERT_EQ(f.state, reference) << frame;
    }
    EXPECT_EQ(GLYPH_STEPS_PER_FRAME, 2379);
}

TEST(GlyphField, ColoursStayInTheirRange)
{
    // a = 0 gives (65, 93, 65); a = 64 red and blue 1; a = 92 green 1; a = 255
    // gives (192, 164, 192).
    int lo_r = 999, hi_r = 0, lo_g = 999, hi_g = 0;
    Field f;
    for (uint32_t tick = 0; tick < 400000; tick += 4999) {
        f.plan(tick);
        for (const GlyphCopy &g : f.copies) {
            lo_r = std::min<int>(lo_r, g.r);
            hi_r = std::max<int>(hi_r, g.r);
            lo_g = std::min<int>(lo_g, g.g);
            hi_g = std::max<int>(hi_g, g.g);
        }
    }
    EXPECT_GE(lo_r, 1);
    EXPECT_LE(hi_r, 192);
    EXPECT_GE(lo_g, 1);
    EXPECT_LE(hi_g, 164);
}

TEST(GlyphFieldScene, DrawsOntoTheWindowAndCarriesTheState)
{
    SceneWindow w;
    ASSERT_TRUE(w.ok);
    // A font of solid white cells on black (keyed out).
    SDL_Surface *font = SDL_CreateRGBSurfaceWithFormat(0, 940, 732, 24, SDL_PIXELFORMAT_BGR24);
    ASSERT_NE(font, nullptr);
    SDL_FillRect(font, nullptr, SDL_MapRGB(font->format, 0, 0, 0));
    const std::vector<SDL_Rect> cells = font_cells();
    for (int i = 0; i < GLYPH_CELLS; i++) {
        GlyphTable[i] = cells[i];
        SDL_FillRect(font, &cells[i], SDL_MapRGB(font->format, 255, 255, 255));
    }
    FontTexture = SceneWindow::texture_from(font, true, 0, 0, 0);
    ASSERT_NE(FontTexture, nullptr);
    SDL_SetRenderDrawColor(renderer, 1, 2, 3, 255);
    SDL_RenderClear(renderer);
    GlyphRandomState = GLYPH_RANDOM_START;

    draw_glyph_field(FrameTime{0.0f, 0});
    EXPECT_EQ(PenX, 1950);
    EXPECT_EQ(PenY, 1015);
    int32_t reference = GLYPH_RANDOM_START;
    for (int i = 0; i < 2379; i++)
        reference = reference_step(reference);
    EXPECT_EQ(GlyphRandomState, reference);
    EXPECT_EQ(GlyphLine[0], 82);
    SDL_BlendMode mode = SDL_BLENDMODE_NONE;
    SDL_GetRenderDrawBlendMode(renderer, &mode);
    EXPECT_EQ(mode, SDL_BLENDMODE_BLEND);
    // The first glyph (0, 0, 39, 67) in colour (17, 13, 17), covered from
    // y = 35 by the second row; the 11 pixels between it and the next
    // glyph at x = 50 keep the window's colour.
    EXPECT_EQ(w.pixel(10, 10), 0x110D11u);
    EXPECT_EQ(w.pixel(38, 10), 0x110D11u);
    EXPECT_EQ(w.pixel(39, 10), 0x010203u);
    EXPECT_EQ(w.pixel(49, 10), 0x010203u);

    FontTexture = nullptr;
}
