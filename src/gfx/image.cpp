// image.cpp - loading BMP files from the program's directory. A failed load
// is fatal: the loader releases the render context, reports SDL's error text
// on standard output, shuts SDL down and hands back null.
//
// Image files are untrusted input. Before SDL decodes a file its header is
// checked: a size beyond BMP_MAX_SIDE, or a file too short for the pixel rows
// its header announces, is refused before any pixel memory is allocated. Every
// failure leaves an SDL error text "<path>: <reason>", so the one line the
// program prints says which file failed and why.
#include "gfx/image.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "gfx/render_context.h"

// The program's directory, fetched once: SDL computes it from the running
// executable, so it does not change while the process lives. When SDL cannot
// name it, images are looked up relative to the working directory instead.
static const std::string &base_path()
{
    static const std::string path = [] {
        char *p = SDL_GetBasePath();
        std::string s = p ? p : "";
        SDL_free(p);
        return s;
    }();
    return path;
}

// The shared failure path: release, report, shut down. The release must not
// replace the load's error text (destroying a texture that was never made
// sets one of its own).
static void fail_load(const char *what)
{
    const std::string reason = SDL_GetError();
    release_render_context();
    SDL_SetError("%s", reason.c_str());
    const char *err = SDL_GetError();
    std::printf("%s%s\n", what, err);
    std::fflush(stdout);
    SDL_Quit();
}

static uint32_t le16(const uint8_t *b) { return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8; }
static uint32_t le32(const uint8_t *b) { return le16(b) | le16(b + 2) << 16; }

enum {
    BMP_CORE_HEADER = 12, // the oldest info header: 16-bit sizes
    BMP_RGB = 0,          // uncompressed rows
    BMP_BITFIELDS = 3,    // uncompressed rows with colour masks
};

// Checks the header at the stream's current position and puts the stream
// back there. False with an SDL error "<name>: <reason>" when the file is
// no BMP, larger than max_side either way, or shorter than the uncompressed
// pixel rows it announces. Anything else is left to SDL's own loader.
static bool check_bmp_header(SDL_RWops *src, const char *name, int max_side)
{
    const Sint64 start = SDL_RWtell(src);
    uint8_t h[34] = {};
    const size_t got = SDL_RWread(src, h, 1, sizeof h);
    if (got < 2 || h[0] != 'B' || h[1] != 'M') {
        SDL_SetError("%s: not a BMP file (%s)", name,
                     got < 2 ? "shorter than its signature" : "it does not start with \"BM\"");
        return false;
    }
    const uint32_t info_size = got >= 18 ? le32(h + 14) : 0;
    const size_t header_end = info_size == BMP_CORE_HEADER ? 26 : 34;
    if (got < header_end) {
        SDL_SetError("%s: the file ends inside its header (%u bytes)", name,
                     static_cast<unsigned>(got));
        return false;
    }
    int64_t w, height;
    uint32_t bits, compression;
    if (info_size == BMP_CORE_HEADER) {
        w = le16(h + 18);
        height = le16(h + 20);
        bits = le16(h + 24);
        compression = BMP_RGB;
    } else {
        w = static_cast<int32_t>(le32(h + 18));
        height = static_cast<int32_t>(le32(h + 22)); // negative: rows top-down
        bits = le16(h + 28);
        compression = le32(h + 30);
    }
    if (w < 0)
        w = -w;
    if (height < 0)
        height = -height;
    if (w > max_side || height > max_side) {
        SDL_SetError("%s: %lldx%lld pixels, larger than the %dx%d this program accepts", name,
                     static_cast<long long>(w), static_cast<long long>(height), max_side,
                     max_side);
        return false;
    }

    // Uncompressed rows are padded to 4 bytes; SDL reads the last row's
    // padding only for 8 bits and more. A file shorter than this can never
    // load, and SDL would allocate the whole surface before it found out.
    const uint32_t offset = le32(h + 10);
    const bool known_bits = bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 ||
                            bits == 24 || bits == 32;
    const Sint64 size = SDL_RWsize(src);
    if (offset != 0 && known_bits && (compression == BMP_RGB || compression == BMP_BITFIELDS) &&
        w > 0 && height > 0 && size >= 0) {
        const int64_t stride = (w * bits + 31) / 32 * 4;
        const int64_t last_row = bits < 8 ? (w * bits + 7) / 8 : stride;
        const int64_t need = offset + stride * (height - 1) + last_row;
        if (size - start < need) {
            SDL_SetError("%s: the file is cut short: %lld bytes of the %lld its header announces",
                         name, static_cast<long long>(size - start), static_cast<long long>(need));
            return false;
        }
    }
    if (SDL_RWseek(src, start, RW_SEEK_SET) != start) {
        SDL_SetError("%s: cannot seek back to the start of the file", name);
        return false;
    }
    return true;
}

SDL_Surface *read_bmp(SDL_RWops *src, const char *name, int max_side)
{
    if (!src) {
        SDL_SetError("%s: cannot be read", name);
        return nullptr;
    }
    if (!check_bmp_header(src, name, max_side)) {
        SDL_RWclose(src);
        return nullptr;
    }
    SDL_Surface *s = SDL_LoadBMP_RW(src, 1);
    if (!s) {
        const std::string reason = SDL_GetError();
        SDL_SetError("%s: %s", name, reason.c_str());
    }
    return s;
}

SDL_Surface *convert_to_rgb24(SDL_Surface *s, const char *name)
{
    if (!s)
        return nullptr;
    const SDL_PixelFormat *f = s->format;
    if (f->BytesPerPixel == 3 && f->Rmask == 0x00FF0000u && f->Gmask == 0x0000FF00u &&
        f->Bmask == 0x000000FFu)
        return s; // SDL's own form of a 24-bit BMP: kept as loaded
    SDL_Surface *c = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_BGR24, 0);
    SDL_FreeSurface(s);
    if (!c) {
        const std::string reason = SDL_GetError();
        SDL_SetError("%s: cannot convert to 24-bit colour: %s", name, reason.c_str());
    }
    return c;
}

// Opens and reads "<program dir><file>"; null with the error text set.
static SDL_Surface *open_bmp(const char *file)
{
    const std::string path = base_path() + file;
    struct stat st;
    errno = 0;
    const int stat_result = stat(path.c_str(), &st);
    const int stat_errno = errno;
    if (stat_result == 0 && !S_ISREG(st.st_mode)) {
        SDL_SetError("%s: %s", path.c_str(),
                     S_ISDIR(st.st_mode) ? "is a directory, not a file" : "is not a regular file");
        return nullptr;
    }
    errno = 0;
    SDL_RWops *src = SDL_RWFromFile(path.c_str(), "rb");
    int open_errno = errno;
    // On Windows SDL opens with the system's own call, which sets no errno:
    // the reason is then the one stat gave for the same path.
    if (!src && open_errno == 0 && stat_result != 0)
        open_errno = stat_errno;
    if (!src) {
        SDL_SetError("%s: cannot be opened: %s", path.c_str(),
                     open_errno ? std::strerror(open_errno) : SDL_GetError());
        return nullptr;
    }
    return read_bmp(src, path.c_str(), BMP_MAX_SIDE);
}

SDL_Surface *load_surface(const char *file)
{
    SDL_Surface *s = open_bmp(file);
    if (s)
        return s;
    fail_load("SDL_LoadBMP Error: ");
    return nullptr;
}

// The minimum-size check shared by the surface loaders; frees s on refusal.
static SDL_Surface *refuse_smaller(SDL_Surface *s, const char *file, int min_w, int min_h)
{
    if (!s || (s->w >= min_w && s->h >= min_h))
        return s;
    SDL_SetError("%s is %dx%d pixels; the demo needs at least %dx%d", file, s->w, s->h,
                 min_w, min_h);
    SDL_FreeSurface(s);
    return nullptr;
}

SDL_Surface *load_surface_at_least(const char *file, int min_w, int min_h)
{
    SDL_Surface *s = refuse_smaller(open_bmp(file), file, min_w, min_h);
    if (s)
        return s;
    fail_load("SDL_LoadBMP Error: ");
    return nullptr;
}

SDL_Surface *load_rgb_surface_at_least(const char *file, int min_w, int min_h)
{
    SDL_Surface *s = refuse_smaller(open_bmp(file), file, min_w, min_h);
    if (s)
        s = convert_to_rgb24(s, file);
    if (s)
        return s;
    fail_load("SDL_LoadBMP Error: ");
    return nullptr;
}

SDL_Texture *load_texture(const char *file)
{
    SDL_Surface *s = load_surface(file);
    if (!s)
        return nullptr;
    SDL_Texture *t = SDL_CreateTextureFromSurface(renderer, s);
    SDL_FreeSurface(s);
    if (t)
        return t;
    fail_load("SDL_CreateTextureFromSurface Error: ");
    return nullptr;
}
