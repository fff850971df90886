// png_writer.h - writing a captured window picture as an 8-bit RGB PNG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Encodes width x height pixels 0xAARRGGBB (pitch in pixels) as RGB PNG
// bytes, dropping alpha. The bytes depend only on the pixels. False only
// when out of memory.
bool encode_png_rgb(const uint32_t *pixels, int width, int height, int pitch_pixels,
                    std::vector<unsigned char> *png);

// Encodes and writes the file so that it is never seen half-written (see
// output_file.h). False on failure, with a reason naming the file and the
// system's error in err (at least 256 bytes).
bool write_png_rgb(const char *path, const uint32_t *pixels, int width, int height,
                   int pitch_pixels, char *err);
