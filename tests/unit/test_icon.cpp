// The Windows icon file: directory, image layout, transparency.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "make_images/make_images.h"

static uint32_t le(const std::vector<uint8_t> &b, size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; i--)
        v = v << 8 | b.at(at + i);
    return v;
}

TEST(Icon, FourSizesOfThirtyTwoBitImagesLaidEndToEnd)
{
    const Picture p = make_picture(8, 8, Rgb{10, 20, 30});
    const std::vector<uint8_t> ico = make_icon_file(p, Rgb{255, 255, 255});
    ASSERT_GE(ico.size(), 6u + 4 * 16);
    EXPECT_EQ(le(ico, 0, 2), 0u);
    EXPECT_EQ(le(ico, 2, 2), 1u); // icon
    ASSERT_EQ(le(ico, 4, 2), 4u);
    const int sizes[] = {16, 32, 48, 256};
    size_t next = 6 + 4 * 16;
    for (int i = 0; i < 4; i++) {
        const size_t e = 6 + 16 * i;
        const int s = sizes[i];
        EXPECT_EQ(ico[e], s == 256 ? 0 : s);
        EXPECT_EQ(le(ico, e + 6, 2), 32u);
        const uint32_t bytes = le(ico, e + 8, 4), offset = le(ico, e + 12, 4);
        EXPECT_EQ(offset, next);
        // Header, BGRA pixels, and the mask with rows padded to 4 bytes.
        EXPECT_EQ(bytes, 40u + s * s * 4 + (s + 31) / 32 * 4 * s);
        EXPECT_EQ(le(ico, offset + 4, 4), static_cast<uint32_t>(s));
        EXPECT_EQ(le(ico, offset + 8, 4), static_cast<uint32_t>(2 * s)); // image and mask
        next = offset + bytes;
    }
    EXPECT_EQ(next, ico.size());
    // An opaque picture: BGRA of its colour, a clear mask.
    const size_t px = le(ico, 6 + 12, 4) + 40;
    EXPECT_EQ(ico[px], 30);
    EXPECT_EQ(ico[px + 1], 20);
    EXPECT_EQ(ico[px + 2], 10);
    EXPECT_EQ(ico[px + 3], 255);
    EXPECT_EQ(ico[px + 16 * 16 * 4], 0);
}

TEST(Icon, TheTransparentColourIsLeftOutAndMasked)
{
    // White (transparent) up to column 14, red from column 15; the 16-pixel
    // image averages 2x2 blocks, so its column 7 is half covered.
    Picture p = make_picture(32, 32, Rgb{255, 255, 255});
    for (int y = 0; y < 32; y++)
        for (int x = 15; x < 32; x++)
            set_pixel(p, x, y, Rgb{200, 0, 0});
    const std::vector<uint8_t> ico = make_icon_file(p, Rgb{255, 255, 255});
    const size_t px = le(ico, 6 + 12, 4) + 40; // the 16-pixel image
    const size_t mask = px + 16 * 16 * 4;
    for (int row = 0; row < 16; row++) {
        const uint8_t *r = &ico[px + row * 16 * 4];
        EXPECT_EQ(r[0 * 4 + 3], 0) << "row " << row;   // transparent
        EXPECT_EQ(r[7 * 4 + 2], 200) << "row " << row; // half: the opaque colour,
        EXPECT_EQ(r[7 * 4 + 3], 128) << "row " << row; // half alpha
        EXPECT_EQ(r[15 * 4 + 2], 200) << "row " << row;
        EXPECT_EQ(r[15 * 4 + 3], 255) << "row " << row;
        EXPECT_EQ(ico[mask + row * 4], 0xFE) << "row " << row; // x 0..6 masked
        EXPECT_EQ(ico[mask + row * 4 + 1], 0x00) << "row " << row;
    }
}
