// The pixel reading rule and the tables built from images at start-up.
#include <gtest/gtest.h>

#include <vector>

#include "state/state.h"
#include "app/tables.h"
#include "gfx/image.h"

namespace {

SDL_Surface *make_surface(int w, int h, Uint32 format)
{
    SDL_Surface *s = SDL_CreateRGBSurfaceWithFormat(0, w, h, 0, format);
    EXPECT_NE(s, nullptr) << SDL_GetError();
    return s;
}

uint8_t *byte_at(SDL_Surface *s, int x, int y)
{
    return static_cast<uint8_t *>(s->pixels) + y * s->pitch + x * s->format->BytesPerPixel;
}

void set_rgb24(SDL_Surface *s, int x, int y, uint8_t r, uint8_t g, uint8_t b)
{
    // SDL's 24-bit BMP surfaces are BGR in memory: blue first.
    uint8_t *p = byte_at(s, x, y);
    p[0] = b;
    p[1] = g;
    p[2] = r;
}

SDL_Surface *white_house()
{
    SDL_Surface *s = make_surface(160, 101, SDL_PIXELFORMAT_BGR24);
    SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, 255, 255, 255));
    return s;
}

} // namespace

TEST(PixelReadingRule, ReadsEachWidthLittleEndianAtPitchAndOffset)
{
    SDL_Surface *s8 = make_surface(4, 3, SDL_PIXELFORMAT_INDEX8);
    *byte_at(s8, 3, 2) = 0xAB;
    EXPECT_EQ(read_pixel(s8, 3, 2), 0xABu);
    EXPECT_EQ(read_pixel(s8, 2, 2), 0u);

    SDL_Surface *s16 = make_surface(4, 3, SDL_PIXELFORMAT_RGB565);
    byte_at(s16, 1, 2)[0] = 0x34;
    byte_at(s16, 1, 2)[1] = 0x12;
    EXPECT_EQ(read_pixel(s16, 1, 2), 0x1234u);

    SDL_Surface *s24 = make_surface(5, 3, SDL_PIXELFORMAT_BGR24);
    uint8_t *p = byte_at(s24, 4, 1);
    p[0] = 0x11;
    p[1] = 0x22;
    p[2] = 0x33;
    EXPECT_EQ(read_pixel(s24, 4, 1), 0x332211u);
    set_rgb24(s24, 0, 2, 0xC8, 0x64, 0x0A); // red 200, green 100, blue 10
    EXPECT_EQ(read_pixel(s24, 0, 2), 0x00C8640Au);

    SDL_Surface *s32 = make_surface(4, 3, SDL_PIXELFORMAT_ARGB8888);
    uint8_t *q = byte_at(s32, 2, 1);
    q[0] = 0x44;
    q[1] = 0x33;
    q[2] = 0x22;
    q[3] = 0x11;
    EXPECT_EQ(read_pixel(s32, 2, 1), 0x11223344u);

    // Any other width reads as 0.
    const uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(read_raw_pixel(bytes, 8, 5, 0, 0), 0u);
    EXPECT_EQ(read_raw_pixel(bytes, 8, 0, 1, 0), 0u);

    SDL_FreeSurface(s8);
    SDL_FreeSurface(s16);
    SDL_FreeSurface(s24);
    SDL_FreeSurface(s32);
}

TEST(HouseMask, OneBlackPixelMarksFourCells)
{
    SDL_Surface *house = white_house();
    set_rgb24(house, 10, 20, 0, 0, 0);
    std::vector<uint8_t> mask(HOUSEMASK_W * HOUSEMASK_H, 0x55);
    build_house_mask(house, mask.data());
    for (int y = 0; y < HOUSEMASK_H; y++)
        for (int x = 0; x < HOUSEMASK_W; x++) {
            const bool marked = (x == 20 || x == 21) && (y == 19 || y == 20);
            EXPECT_EQ(mask[y * HOUSEMASK_W + x], marked ? 224 : 0) << x << "," << y;
        }
    SDL_FreeSurface(house);
}

TEST(HouseMask, TwoBlackPixelsStackTo192)
{
    SDL_Surface *house = white_house();
    set_rgb24(house, 10, 20, 0, 0, 0);
    set_rgb24(house, 10, 21, 0, 0, 0);
    std::vector<uint8_t> mask(HOUSEMASK_W * HOUSEMASK_H);
    build_house_mask(house, mask.data());
    EXPECT_EQ(mask[20 * 320 + 20], 192);
    EXPECT_EQ(mask[20 * 320 + 21], 192);
    EXPECT_EQ(mask[19 * 320 + 20], 224);
    EXPECT_EQ(mask[19 * 320 + 21], 224);
    EXPECT_EQ(mask[21 * 320 + 20], 224);
    EXPECT_EQ(mask[21 * 320 + 21], 224);
    EXPECT_EQ(mask[21 * 320 + 22], 0);
    EXPECT_EQ(mask[18 * 320 + 20], 0);
    SDL_FreeSurface(house);
}

TEST(HouseMask, ReadsImageRow100AndNearBlackIsNotBlack)
{
    SDL_Surface *house = white_house();
    set_rgb24(house, 159, 100, 0, 0, 0); // only the second pass sees row 100
    set_rgb24(house, 0, 0, 0, 0, 1);     // raw value 1: not black
    std::vector<uint8_t> mask(HOUSEMASK_W * HOUSEMASK_H);
    build_house_mask(house, mask.data());
    EXPECT_EQ(mask[99 * 320 + 318], 224);
    EXPECT_EQ(mask[99 * 320 + 319], 224);
    EXPECT_EQ(mask[0], 0);
    EXPECT_EQ(mask[1], 0);
    SDL_FreeSurface(house);
}

TEST(GlyphTable, CellsOfTheFontImage)
{
    SDL_Rect cells[GLYPH_CELLS];
    build_glyph_table(cells);
    auto expect_cell = [&](int i, int x, int y, int w, int h) {
        EXPECT_EQ(cells[i].x, x) << "cell " << i;
        EXPECT_EQ(cells[i].y, y) << "cell " << i;
        EXPECT_EQ(cells[i].w, w) << "cell " << i;
        EXPECT_EQ(cells[i].h, h) << "cell " << i;
    };
    expect_cell(0, 0, 0, 25, 32);
    expect_cell(1, 60, 0, 25, 32);
    expect_cell(2, 121, 0, 25, 32);
    expect_cell(3, 182, 0, 25, 32);
    expect_cell(15, 914, 0, 25, 32);
    expect_cell(34, 121, 100, 25, 32); // "C"
    expect_cell(79, 914, 200, 25, 32); // last cell of row 4
    expect_cell(80, 0, 250, 21, 32);
    expect_cell(82, 121, 250, 21, 32); // "s"
    expect_cell(239, 914, 700, 21, 32);
    // The smallest font image that holds every cell.
    EXPECT_EQ(cells[15].x + cells[15].w, FONT_MIN_W);
    EXPECT_EQ(cells[239].y + cells[239].h, FONT_MIN_H);
}

TEST(HeightMap, LumaIsTruncatedRec709)
{
    EXPECT_EQ(height_from_pixel(0xFFFFFF), 254u);
    EXPECT_EQ(height_from_pixel(0x000000), 0u);
    EXPECT_EQ(height_from_pixel(0x050505), 4u);
    EXPECT_EQ(height_from_pixel(0xFF0000), 54u);  // 255 * 0.2126 = 54.2
    EXPECT_EQ(height_from_pixel(0x00FF00), 182u); // 255 * 0.7152 = 182.4
    EXPECT_EQ(height_from_pixel(0x0000FF), 18u);  // 255 * 0.0722 = 18.4
    EXPECT_EQ(height_from_pixel(0x070707), 6u);     // 6.999999999999999
    EXPECT_EQ(height_from_pixel(0xAB808080), 128u); // exactly 128.0; the top byte plays no part
}

TEST(HeightMap, MapsFollowTheImagesAtEveryCorner)
{
    SDL_Surface *d1 = make_surface(1024, 1024, SDL_PIXELFORMAT_BGR24);
    SDL_Surface *c1 = make_surface(1024, 1024, SDL_PIXELFORMAT_BGR24);
    SDL_FillRect(d1, nullptr, 0);
    SDL_FillRect(c1, nullptr, 0);
    set_rgb24(d1, 1023, 0, 255, 255, 255);
    set_rgb24(d1, 0, 1023, 5, 5, 5);
    set_rgb24(c1, 1023, 1023, 0x12, 0x34, 0x56);
    std::vector<uint32_t> heights(MAP_SIZE * MAP_SIZE, 77), colours(MAP_SIZE * MAP_SIZE, 77);
    build_terrain_maps(d1, c1, heights.data(), colours.data());
    EXPECT_EQ(heights[0 * 1024 + 1023], 254u);
    EXPECT_EQ(heights[1023 * 1024 + 0], 4u);
    EXPECT_EQ(heights[512 * 1024 + 512], 0u);
    EXPECT_EQ(colours[1023 * 1024 + 1023], 0x123456u);
    EXPECT_EQ(colours[0], 0u);
    SDL_FreeSurface(d1);
    SDL_FreeSurface(c1);
}
