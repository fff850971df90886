// bmp_bytes.h - BMP files built in memory for the loader's tests and the
// fuzz seeds: a 40-byte info header, uncompressed rows bottom-up, padded to
// 4 bytes, a palette for 1 to 8 bits.
#pragma once

#include <cstdint>
#include <vector>

namespace bmp_bytes {

inline void put16(std::vector<uint8_t> &b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

inline void put32(std::vector<uint8_t> &b, uint32_t v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// values: w*h raw values, top row first; a palette index for 1..8 bits,
// 0x7C00/0x03E0/0x001F fields for 16, 0xAARRGGBB for 32, 0xRRGGBB for 24.
// palette: 0xRRGGBB entries.
inline std::vector<uint8_t> make(int w, int h, int bits, const std::vector<uint32_t> &values,
                                 const std::vector<uint32_t> &palette = {})
{
    const uint32_t stride = (static_cast<uint32_t>(w) * bits + 31) / 32 * 4;
    const uint32_t offset = 54 + 4 * static_cast<uint32_t>(palette.size());
    std::vector<uint8_t> b;
    b.push_back('B');
    b.push_back('M');
    put32(b, offset + stride * h);
    put32(b, 0);
    put32(b, offset);
    put32(b, 40);
    put32(b, static_cast<uint32_t>(w));
    put32(b, static_cast<uint32_t>(h));
    put16(b, 1);
    put16(b, static_cast<uint32_t>(bits));
    put32(b, 0); // uncompressed
    put32(b, stride * h);
    put32(b, 2835);
    put32(b, 2835);
    put32(b, static_cast<uint32_t>(palette.size()));
    put32(b, 0);
    for (uint32_t c : palette)
        put32(b, c & 0xFFFFFF); // blue, green, red, 0
    for (int y = h - 1; y >= 0; y--) {
        std::vector<uint8_t> row(stride, 0);
        for (int x = 0; x < w; x++) {
            const uint32_t v = values[static_cast<size_t>(y) * w + x];
            if (bits < 8) {
                const int bit = x * bits;
                row[bit / 8] |= static_cast<uint8_t>(v << (8 - bits - bit % 8));
            } else {
                for (int k = 0; k < bits / 8; k++)
                    row[x * (bits / 8) + k] = static_cast<uint8_t>(v >> (8 * k));
            }
        }
        b.insert(b.end(), row.begin(), row.end());
    }
    return b;
}

} // namespace bmp_bytes
