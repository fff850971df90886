// png_writer.cpp - PNG output with libpng, with fixed settings and no
// time chunk so the same picture always gives the same bytes. The file is
// encoded in memory and written in one go, so every write failure is the
// system's, with its reason.
#include "common/png_writer.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>

#include "common/output_file.h"

static void append_bytes(png_structp png, png_bytep data, png_size_t size)
{
    auto *out = static_cast<std::vector<unsigned char> *>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

static void no_flush(png_structp) {}

// libpng's own messages would go to standard error; the caller reports.
static void quiet_error(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

static void quiet_warning(png_structp, png_const_charp) {}

bool encode_png_rgb(const uint32_t *pixels, int width, int height, int pitch_pixels,
                    std::vector<unsigned char> *out)
{
    out->clear();
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, quiet_error, quiet_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    std::vector<png_byte> row(static_cast<size_t>(width) * 3);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, append_bytes, no_flush);
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
    return true;
}

bool write_png_rgb(const char *path, const uint32_t *pixels, int width, int height,
                   int pitch_pixels, char *err)
{
    std::vector<unsigned char> png;
    if (!encode_png_rgb(pixels, width, height, pitch_pixels, &png)) {
        std::snprintf(err, 256, "out of memory encoding %s", path);
        return false;
    }
    std::string why;
    if (!write_output_file(path, png.data(), png.size(), &why)) {
        std::snprintf(err, 256, "%s", why.c_str());
        return false;
    }
    return true;
}
