// image.h - loading the demo's BMP images from the program's own directory,
// and the rule for reading raw pixel values from a surface in software.
#pragma once

#include <SDL.h>
#include <cstdint>

// The largest width or height of an image the program accepts; a header that
// claims more is refused before SDL allocates anything.
enum { BMP_MAX_SIDE = 16384 };

// Loads "<program dir><file>" as a surface. On failure: releases the render
// context, prints "SDL_LoadBMP Error: <SDL error>" on stdout, calls SDL_Quit
// and returns null; the caller must end start-up at once. The SDL error text
// names the file and the reason ("/dir/d1.bmp: cannot be opened: No such
// file or directory").
SDL_Surface *load_surface(const char *file);

// As load_surface, then makes a texture with the shared renderer and frees the
// surface. On a texture failure prints "SDL_CreateTextureFromSurface Error: ".
SDL_Texture *load_texture(const char *file);

// Like load_surface, but also refuses an image smaller than min_w x min_h
// through the same failure path, with an error text naming the file and the
// size it needs.
SDL_Surface *load_surface_at_least(const char *file, int min_w, int min_h);

// Like load_surface_at_least, then converted to 24-bit colour (see
// convert_to_rgb24): for the images whose pixels are read in software.
SDL_Surface *load_rgb_surface_at_least(const char *file, int min_w, int min_h);

// Reads a BMP from src, which it closes in every case, after checking the
// header (at most max_side pixels either way, not shorter than the rows it
// announces). On failure returns null with the SDL error "<name>: <reason>";
// nothing is released or printed.
SDL_Surface *read_bmp(SDL_RWops *src, const char *name, int max_side);

// The surface as 24-bit pixels that read 0x00RRGGBB by the pixel reading
// rule, whatever the file's depth (palette, 16 or 32 bits). A surface already
// in that form is returned as it is; otherwise s is freed and the converted
// copy returned, or null with the SDL error "<name>: <reason>".
SDL_Surface *convert_to_rgb24(SDL_Surface *s, const char *name);

// Raw value of pixel (x, y) read at pixels + y*pitch + x*bpp as an unsigned
// little-endian integer of bpp bytes (1..4); any other bpp reads as 0.
// No bounds check: the caller keeps (x, y) inside the image.
inline uint32_t read_raw_pixel(const uint8_t *pixels, int pitch, int bpp, int x, int y)
{
    const uint8_t *p = pixels + static_cast<intptr_t>(y) * pitch + static_cast<intptr_t>(x) * bpp;
    switch (bpp) {
    case 1: return p[0];
    case 2: return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
    case 3: return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                   static_cast<uint32_t>(p[2]) << 16;
    case 4: return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                   static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    default: return 0;
    }
}

inline uint32_t read_pixel(const SDL_Surface *s, int x, int y)
{
    return read_raw_pixel(static_cast<const uint8_t *>(s->pixels), s->pitch,
                          s->format->BytesPerPixel, x, y);
}
