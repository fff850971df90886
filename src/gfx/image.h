// image.h - loading the demo's BMP images from the program's own directory,
// and the rule for reading raw pixel values from a surface in software.
#pragma once

#include <SDL.h>
#include <cstdint>

// Loads "<program dir><file>" as a surface. On failure: releases the render
// context, prints "SDL_LoadBMP Error: <SDL error>" on stdout, calls SDL_Quit
// and returns null; the caller must end start-up at once.
SDL_Surface *load_surface(const char *file);

// As load_surface, then makes a texture with the shared renderer and frees the
// surface. On a texture failure prints "SDL_CreateTextureFromSurface Error: ".
SDL_Texture *load_texture(const char *file);

// Like load_surface, but also refuses an image smaller than min_w x min_h
// through the same failure path, with an error text naming the file and the
// size it needs.
SDL_Surface *load_surface_at_least(const char *file, int min_w, int min_h);

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
