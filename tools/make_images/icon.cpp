// icon.cpp - the Windows program's icon, made from the chain sprite: its
// white background becomes transparent, and the sprite is scaled to each of
// the icon's sizes by averaging the opaque pixels each icon pixel covers.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "make_images/make_images.h"

namespace {

void put16(std::vector<uint8_t> &b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t> &b, uint32_t v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// One icon image: a 32-bit DIB (header with twice the height, BGRA rows
// bottom-up) followed by the 1-bit mask (1 = transparent, rows padded to 32
// bits), which 32-bit icons still carry.
std::vector<uint8_t> icon_image(const Picture &src, Rgb transparent, int size)
{
    const int mask_row = (size + 31) / 32 * 4;
    std::vector<uint8_t> b;
    put32(b, 40);
    put32(b, static_cast<uint32_t>(size));
    put32(b, static_cast<uint32_t>(size * 2));
    put16(b, 1);
    put16(b, 32);
    put32(b, 0);
    put32(b, static_cast<uint32_t>(size * size * 4 + mask_row * size));
    for (int i = 0; i < 4; i++)
        put32(b, 0);
    std::vector<uint8_t> mask(static_cast<size_t>(mask_row) * size, 0);
    for (int row = 0; row < size; row++) {
        const int y = size - 1 - row; // bottom-up
        const int sy0 = y * src.h / size;
        const int sy1 = std::max(sy0 + 1, (y + 1) * src.h / size);
        for (int x = 0; x < size; x++) {
            const int sx0 = x * src.w / size;
            const int sx1 = std::max(sx0 + 1, (x + 1) * src.w / size);
            uint32_t r = 0, g = 0, bl = 0, opaque = 0, total = 0;
            for (int sy = sy0; sy < sy1; sy++)
                for (int sx = sx0; sx < sx1; sx++) {
                    const Rgb c = get_pixel(src, sx, sy);
                    total++;
                    if (c.r == transparent.r && c.g == transparent.g && c.b == transparent.b)
                        continue;
                    r += c.r;
                    g += c.g;
                    bl += c.b;
                    opaque++;
                }
            const uint32_t a = (opaque * 255 + total / 2) / total;
            const uint32_t div = opaque ? opaque : 1;
            b.push_back(static_cast<uint8_t>((bl + div / 2) / div));
            b.push_back(static_cast<uint8_t>((g + div / 2) / div));
            b.push_back(static_cast<uint8_t>((r + div / 2) / div));
            b.push_back(static_cast<uint8_t>(a));
            if (a == 0)
                mask[static_cast<size_t>(row) * mask_row + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
    }
    b.insert(b.end(), mask.begin(), mask.end());
    return b;
}

} // namespace

std::vector<uint8_t> make_icon_file(const Picture &src, Rgb transparent)
{
    static const int sizes[] = {16, 32, 48, 256};
    const int count = sizeof sizes / sizeof sizes[0];
    std::vector<std::vector<uint8_t>> images;
    for (int s : sizes)
        images.push_back(icon_image(src, transparent, s));
    std::vector<uint8_t> b;
    put16(b, 0);
    put16(b, 1); // an icon, not a cursor
    put16(b, count);
    uint32_t offset = 6 + 16 * count;
    for (int i = 0; i < count; i++) {
        b.push_back(static_cast<uint8_t>(sizes[i] == 256 ? 0 : sizes[i])); // 0 means 256
        b.push_back(static_cast<uint8_t>(sizes[i] == 256 ? 0 : sizes[i]));
        b.push_back(0); // no palette
        b.push_back(0);
        put16(b, 1);
        put16(b, 32);
        put32(b, static_cast<uint32_t>(images[i].size()));
        put32(b, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const auto &img : images)
        b.insert(b.end(), img.begin(), img.end());
    return b;
}
