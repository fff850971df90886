// The text overlay: the line table and its selector, the layout of glyph
// copies (worked values of line 2), characters without a cell, and the drawn
// result on a software renderer (shadow pass before text pass, colour
// modulation left white).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/convert.h"
#include "state/state.h"
#include "scene_window.h"
#include "text/overlay.h"

namespace {

// The font cells laid out by hand: 15 rows of 16, x = 61 q
// less 1 after the first column, y = 50 r, 25 wide in rows 0..4, else 21.
std::vector<SDL_Rect> font_cells()
{
    std::vector<SDL_Rect> cells;
    for (int r = 0; r < 15; ++r)
        for (int q = 0; q < 16; ++q)
            cells.push_back(SDL_Rect{q == 0 ? 0 : 61 * q - 1, 50 * r, r < 5 ? 25 : 21, 32});
    return cells;
}

bool same_rect(const SDL_Rect &a, const SDL_Rect &b)
{
    return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
}

#define EXPECT_RECT(r, X, Y, W, H) EXPECT_TRUE(same_rect((r), SDL_Rect{X, Y, W, H})) \
    << (r).x << "," << (r).y << "," << (r).w << "," << (r).h

const char *line_for(float clear_a)
{
    const OverlayLine *line = find_overlay_line(to_int32(clear_a));
    return line ? line->text : nullptr;
}

TEST(OverlayTable, SelectorsPickTheirLines)
{
    EXPECT_STREQ(line_for(1.9f), "______Velmoran+Orvex+Myrskyvuo______");
    EXPECT_STREQ(line_for(2.0f), "CINDERHALLs____________");
    EXPECT_STREQ(line_for(16.5f), "____Not_living_and_not_yet_dead____");
    EXPECT_STREQ(line_for(17.0f), "______Welcome_to_hell_on_Earth_____");
    EXPECT_STREQ(line_for(18.99f), "_____We_are_stuck_here_together____");
    EXPECT_STREQ(line_for(32.0f), "______Leave_your_life_behind..._____");
    EXPECT_STREQ(line_for(33.0f), "______This_mortal_realm_of_man._____");
    EXPECT_STREQ(line_for(34.0f), "______It_is_time_for_judgement._____");
    EXPECT_STREQ(line_for(50.0f), "_______kolo_and_tervas_coded");
    EXPECT_STREQ(line_for(51.0f), "_vanhan_myllyn_kuoropoika_composed");
    EXPECT_STREQ(line_for(52.0f), "halvikko_norppis_and_tervas_made_gfx");
    EXPECT_STREQ(line_for(53.0f), "__greetings_to__vokk__zelmonia__qrx");
    EXPECT_STREQ(line_for(54.0f), "_may_your_souls_burn_forever_bright");
    for (int selector : {1, 2, 16, 17, 18})
        EXPECT_EQ(find_overlay_line(selector)->y, 508) << selector;
    for (int selector : {32, 33, 34, 50, 51, 52, 53, 54})
        EXPECT_EQ(find_overlay_line(selector)->y, 980) << selector;
}

TEST(OverlayTable, OtherValuesPickNothing)
{
    for (float v : {0.0f, 0.99f, 3.0f, 15.0f, 19.0f, 31.0f, 35.0f, 49.0f, 55.0f, -0.5f, -1.0f, -2.0f, -16.0f, 1e10f})
        EXPECT_EQ(line_for(v), nullptr) << v;
}

TEST(OverlayTable, LinesUseOnlyCharactersWithCellsAndFitTheWindow)
{
    for (int i = 0; i < DemoCaptions.count; ++i) {
        const OverlayLine &line = DemoCaptions.lines[i];
        int width = 0;
        for (const char *p = line.text; *p; ++p) {
            ASSERT_GE(*p, 33) << line.text;
            ASSERT_LE(*p, 126) << line.text;
            width += *p <= 112 ? 50 : 42;
        }
        EXPECT_LE(100 + width, 1920) << line.text; // shadow included
    }
}

TEST(OverlayLayout, LineTwoWorkedValues)
{
    const auto cells = font_cells();
    const char *text = "CINDERHALLs____________";
    const int n = static_cast<int>(std::strlen(text));
    std::vector<OverlayCopy> shadow(n), main(n);

    int pen = 100;
    ASSERT_EQ(layout_text(text, n, &pen, 508, 0, cells.data(), shadow.data()), n);
    EXPECT_EQ(pen, 1242); // ten 50-wide glyphs, one 42-wide, twelve 50-wide
    pen = 100;
    ASSERT_EQ(layout_text(text, n, &pen, 508, 4, cells.data(), main.data()), n);
    EXPECT_EQ(pen, 1242);

    // "C", code 67: cell 34, row 2, column 2.
    EXPECT_RECT(shadow[0].src, 121, 100, 25, 32);
    EXPECT_RECT(shadow[0].dst, 100, 508, 50, 64);
    EXPECT_RECT(main[0].src, 121, 100, 25, 32);
    EXPECT_RECT(main[0].dst, 96, 504, 50, 64);
    // "s", code 115: cell 82, row 5, 21 wide.
    EXPECT_RECT(shadow[10].src, 121, 250, 21, 32);
    EXPECT_RECT(shadow[10].dst, 600, 508, 42, 64);
    EXPECT_RECT(main[10].dst, 596, 504, 42, 64);
    // "_": cell 62, right after the "s".
    EXPECT_RECT(shadow[11].src, 853, 150, 25, 32);
    EXPECT_RECT(shadow[11].dst, 642, 508, 50, 64);
    // The last glyph: the text ends at 1238, its shadow at 1242.
    EXPECT_RECT(main[n - 1].dst, 1188, 504, 50, 64);
    EXPECT_RECT(shadow[n - 1].dst, 1192, 508, 50, 64);
}

TEST(OverlayLayout, CharactersWithoutCellLeaveAGap)
{
    const auto cells = font_cells();
    OverlayCopy out[4];
    int pen = 0;
    // "!" (cell 0), space, "~" (cell 93, row 5), a byte above 127.
    const char text[] = {'!', ' ', '~', static_cast<char>(0xC4)};
    ASSERT_EQ(layout_text(text, 4, &pen, 10, 0, cells.data(), out), 2);
    EXPECT_RECT(out[0].src, 0, 0, 25, 32);
    EXPECT_RECT(out[0].dst, 0, 10, 50, 64);
    EXPECT_RECT(out[1].src, 792, 250, 21, 32); // 93 = row 5, column 13
    EXPECT_RECT(out[1].dst, 100, 10, 42, 64);  // after the 50-pixel gap
    EXPECT_EQ(pen, 50 + 50 + 42 + 50);
}

// ---- Drawn on a software renderer -------------------------------------------

struct OverlayDrawing : ::testing::Test {
    SceneWindow win;
    // A font image whose cell 34 ("C") is orange, whose "_" cell is green,
    // with everything else black (the transparent colour).
    void SetUp() override
    {
        ASSERT_TRUE(win.ok) << SDL_GetError();
        SDL_Surface *font = SDL_CreateRGBSurfaceWithFormat(0, 976, 750, 24, SDL_PIXELFORMAT_RGB24);
        ASSERT_NE(font, nullptr);
        SDL_FillRect(font, nullptr, SDL_MapRGB(font->format, 0, 0, 0));
        for (int i = 0; i < GLYPH_CELLS; ++i)
            GlyphTable[i] = font_cells()[i];
        SDL_Rect c = GlyphTable[34], u = GlyphTable[62];
        SDL_FillRect(font, &c, SDL_MapRGB(font->format, 200, 100, 50));
        SDL_FillRect(font, &u, SDL_MapRGB(font->format, 0, 160, 0));
        FontTexture = SceneWindow::texture_from(font, true, 0, 0, 0);
        ASSERT_NE(FontTexture, nullptr);
        SDL_SetRenderDrawColor(renderer, 10, 20, 30, 255);
        SDL_RenderClear(renderer);
    }
    void TearDown() override { FontTexture = nullptr; }
};

TEST_F(OverlayDrawing, ShadowFirstThenTextInTheFontColours)
{
    SDL_SetTextureColorMod(FontTexture, 7, 8, 9); // as another scene may leave it
    draw_text_overlay("CINDERHALLs____________", 508);

    // "C": text at x 96..145, y 504..567; shadow at x 100..149, y 508..571.
    EXPECT_EQ(win.pixel(96, 504), 0xC86432u);
    EXPECT_EQ(win.pixel(145, 567), 0xC86432u); // over its own shadow
    EXPECT_EQ(win.pixel(147, 570), 0x000000u); // shadow only
    EXPECT_EQ(win.pixel(100, 571), 0x000000u);
    EXPECT_EQ(win.pixel(99, 571), 0x0A141Eu);  // left of the shadow
    EXPECT_EQ(win.pixel(147, 505), 0x0A141Eu); // right of the text, above the shadow
    EXPECT_EQ(win.pixel(95, 504), 0x0A141Eu);
    EXPECT_EQ(win.pixel(96, 503), 0x0A141Eu);
    // The "I" cell is transparent: its shadow draws nothing either, so the
    // "C" shadow's right edge shows at x 146..149 below the text.
    EXPECT_EQ(win.pixel(149, 568), 0x000000u);
    EXPECT_EQ(win.pixel(150, 568), 0x0A141Eu);
    // The underscores: the first text glyph at x 638..687 covers the first
    // shadow at 642..691 where they overlap; the last shadow ends at 1241.
    EXPECT_EQ(win.pixel(660, 540), 0x00A000u);
    EXPECT_EQ(win.pixel(1240, 570), 0x000000u);
    EXPECT_EQ(win.pixel(1237, 567), 0x00A000u);
    EXPECT_EQ(win.pixel(1242, 570), 0x0A141Eu);

    Uint8 r = 0, g = 0, b = 0;
    SDL_GetTextureColorMod(FontTexture, &r, &g, &b);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g, 255);
    EXPECT_EQ(b, 255);
    EXPECT_EQ(PenY, 508);
}

TEST_F(OverlayDrawing, EmptyTextDrawsNothingButLeavesWhiteModulation)
{
    SDL_SetTextureColorMod(FontTexture, 1, 2, 3);
    draw_text_overlay("", 980);
    for (int x : {0, 96, 100, 500, 1919})
        EXPECT_EQ(win.pixel(x, 980), 0x0A141Eu);
    Uint8 r = 0, g = 0, b = 0;
    SDL_GetTextureColorMod(FontTexture, &r, &g, &b);
    EXPECT_EQ(r + g + b, 3 * 255);
}

} // namespace
