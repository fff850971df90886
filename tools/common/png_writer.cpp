// png_writer.cpp - PNG output with libpng, with fixed settings and no
// time chunk so the same picture always gives the same bytes.
#include "png_writer.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

bool write_png_rgb(const char *path, const uint32_t *pixels, int width, int height,
                   int pitch_pixels, char *err)
{
    FILE *f = std::fopen(path, "wb");
    if (!f) {
        std::snprintf(err, 256, "cannot open %s: %s", path, std::strerror(errno));
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        std::snprintf(err, 256, "out of memory writing %s", path);
        return false;
    }
    std::vector<png_byte> row(static_cast<size_t>(width) * 3);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        std::snprintf(err, 256, "cannot write %s", path);
        return false;
    }
    png_init_io(png, f);
    png_set_compression_level(png, 6);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; y++) {
        const uint32_t *src = pixels + static_cast<size_t>(y) * pitch_pixels;
        for (int x = 0; x < width; x++) {
            row[x * 3 + 0] = static_cast<png_byte>(src[x] >> 16);
            row[x * 3 + 1] = static_cast<png_byte>(src[x] >> 8);
            row[x * 3 + 2] = static_cast<png_byte>(src[x]);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(f) != 0) {
        std::snprintf(err, 256, "cannot write %s: %s", path, std::strerror(errno));
        return false;
    }
    return true;
}
