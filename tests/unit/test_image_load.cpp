// Reading BMP bytes: every depth SDL loads reads as its colours once
// converted, the header is checked before loading, and each failure's text
// names the file and the reason.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "state/state.h"
#include "app/tables.h"
#include "bmp_bytes.h"
#include "gfx/image.h"

namespace {

SDL_Surface *read_bytes(const std::vector<uint8_t> &b, int max_side = BMP_MAX_SIDE)
{
    return read_bmp(SDL_RWFromConstMem(b.data(), static_cast<int>(b.size())), "pic.bmp", max_side);
}

// Raw values as 0x00RRGGBB after conversion, top row first.
std::vector<uint32_t> rgb_of(const std::vector<uint8_t> &b, int w, int h)
{
    SDL_Surface *s = convert_to_rgb24(read_bytes(b), "pic.bmp");
    std::vector<uint32_t> out;
    EXPECT_NE(s, nullptr) << SDL_GetError();
    if (!s)
        return out;
    EXPECT_EQ(s->format->BytesPerPixel, 3);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            out.push_back(read_pixel(s, x, y));
    SDL_FreeSurface(s);
    return out;
}

std::string error_of(const std::vector<uint8_t> &b, int max_side = BMP_MAX_SIDE)
{
    SDL_ClearError();
    SDL_Surface *s = read_bytes(b, max_side);
    SDL_FreeSurface(s);
    return s ? "(loaded)" : SDL_GetError();
}

} // namespace

TEST(BmpDepths, EveryDepthReadsAsItsColours)
{
    const uint32_t black = 0x000000, white = 0xFFFFFF, orange = 0xC8640A, red = 0xFF0000;
    // 3x2 pictures; rows of odd widths exercise the row padding.
    EXPECT_EQ(rgb_of(bmp_bytes::make(3, 2, 1, {0, 1, 0, 1, 1, 0}, {black, white}), 3, 2),
              (std::vector<uint32_t>{black, white, black, white, white, black}));
    const std::vector<uint32_t> pal = {white, orange, black, red};
    const std::vector<uint32_t> want = {black, orange, white, red, black, orange};
    for (int bits : {4, 8})
        EXPECT_EQ(rgb_of(bmp_bytes::make(3, 2, bits, {2, 1, 0, 3, 2, 1}, pal), 3, 2), want) << bits;
    EXPECT_EQ(rgb_of(bmp_bytes::make(3, 2, 16, {0, 0x7C00, 0x7FFF, 0x7FFF, 0, 0x7C00}), 3, 2),
              (std::vector<uint32_t>{black, red, white, white, black, red}));
    // 32 bits: black must read 0 whatever the fourth byte says.
    EXPECT_EQ(rgb_of(bmp_bytes::make(3, 2, 32, {0, 0xFFC8640A, 0x00FFFFFF, 0xFF000000, 0, 0xFF0000}), 3, 2),
              (std::vector<uint32_t>{black, orange, white, black, black, red}));

    // A 24-bit file is kept exactly as SDL loaded it.
    const auto b24 = bmp_bytes::make(3, 2, 24, {black, orange, white, red, black, orange});
    SDL_Surface *s = read_bytes(b24);
    ASSERT_NE(s, nullptr) << SDL_GetError();
    EXPECT_EQ(convert_to_rgb24(s, "pic.bmp"), s);
    EXPECT_EQ(read_pixel(s, 1, 0), orange);
    SDL_FreeSurface(s);
}

TEST(BmpDepths, PaletteHouseKeepsItsSilhouette)
{
    // An 8-bit house whose black is palette entry 1: the mask must see black.
    std::vector<uint32_t> idx(HOUSE_MIN_W * HOUSE_MIN_H, 0);
    idx[20 * HOUSE_MIN_W + 10] = 1;
    SDL_Surface *house = convert_to_rgb24(
        read_bytes(bmp_bytes::make(HOUSE_MIN_W, HOUSE_MIN_H, 8, idx, {0xFFFFFF, 0x000000})), "house.bmp");
    ASSERT_NE(house, nullptr) << SDL_GetError();
    std::vector<uint8_t> mask(HOUSEMASK_W * HOUSEMASK_H);
    build_house_mask(house, mask.data());
    EXPECT_EQ(mask[20 * HOUSEMASK_W + 20], 224);
    EXPECT_EQ(mask[19 * HOUSEMASK_W + 21], 224);
    EXPECT_EQ(mask[0], 0);
    SDL_FreeSurface(house);
}

TEST(BmpHeader, RefusesOversizedAndCutFilesBeforeLoading)
{
    // A bare 54-byte header that claims 20000 x 20000 pixels.
    auto huge = bmp_bytes::make(1, 1, 24, {0});
    huge.resize(54);
    huge[18] = 0x20, huge[19] = 0x4E; // width 20000
    huge[22] = 0x20, huge[23] = 0x4E; // height 20000
    EXPECT_EQ(error_of(huge), "pic.bmp: 20000x20000 pixels, larger than the 16384x16384 this "
                              "program accepts");
    // Top-down rows (negative height) are measured by their count.
    huge[18] = 1, huge[19] = 0;
    huge[22] = 0x00, huge[23] = 0xC0, huge[24] = 0xFF, huge[25] = 0xFF; // -16384
    EXPECT_EQ(error_of(huge, 16383), "pic.bmp: 1x16384 pixels, larger than the 16383x16383 this "
                                     "program accepts");

    // The widest accepted image loads. Below 8 bits the last row's padding
    // may be missing; from 8 bits on SDL reads it.
    auto wide = bmp_bytes::make(BMP_MAX_SIDE, 1, 8, std::vector<uint32_t>(BMP_MAX_SIDE, 0), {0});
    EXPECT_EQ(error_of(wide), "(loaded)");
    auto mono = bmp_bytes::make(9, 2, 1, std::vector<uint32_t>(18, 0), {0, 0xFFFFFF});
    mono.resize(mono.size() - 2);
    EXPECT_EQ(error_of(mono), "(loaded)");
    mono.pop_back();
    EXPECT_EQ(error_of(mono), "pic.bmp: the file is cut short: 67 bytes of the 68 its header announces");
    auto odd = bmp_bytes::make(3, 2, 24, std::vector<uint32_t>(6, 0));
    odd.pop_back();
    EXPECT_EQ(error_of(odd), "pic.bmp: the file is cut short: 77 bytes of the 78 its header announces");

    EXPECT_EQ(error_of({'B'}), "pic.bmp: not a BMP file (shorter than its signature)");
    EXPECT_EQ(error_of({'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'}),
              "pic.bmp: not a BMP file (it does not start with \"BM\")");
    auto header_cut = bmp_bytes::make(1, 1, 24, {0});
    header_cut.resize(30);
    EXPECT_EQ(error_of(header_cut), "pic.bmp: the file ends inside its header (30 bytes)");
    // SDL's own refusals carry the name too.
    auto bad_depth = bmp_bytes::make(1, 1, 24, {0});
    bad_depth[28] = 7;
    const std::string e = error_of(bad_depth);
    EXPECT_EQ(e.rfind("pic.bmp: ", 0), 0u) << e;
    EXPECT_GT(e.size(), std::string("pic.bmp: ").size()) << e;
}
