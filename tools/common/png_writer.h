// png_writer.h - writing a captured window picture as an 8-bit RGB PNG.
#pragma once

#include <cstdint>

// Writes width x height pixels 0xAARRGGBB (pitch in pixels) as RGB, dropping
// alpha. The output bytes depend only on the pixels. False on failure, with
// a reason in err (at least 256 bytes).
bool write_png_rgb(const char *path, const uint32_t *pixels, int width, int height,
                   int pitch_pixels, char *err);
