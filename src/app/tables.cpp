// tables.cpp - HouseMask, GlyphTable, HeightMap and ColourMap, built once.
#include "app/tables.h"

#include "app/convert.h"
#include "app/state.h"
#include "gfx/image.h"

void build_house_mask(const SDL_Surface *house, uint8_t *mask)
{
    for (int i = 0; i < HOUSEMASK_W * HOUSEMASK_H; i++)
        mask[i] = 0;
    // Two passes: the pixel on the mask row, then the one below it. Each
    // black pixel darkens the cell by 32, wrapping in 8 bits (0 -> 0xE0 -> 0xC0).
    for (int p = 0; p < 2; p++)
        for (int y = 0; y < HOUSEMASK_H; y++)
            for (int x = 0; x < HOUSEMASK_W; x++)
                if (read_pixel(house, x / 2, y + p) == 0)
                    mask[y * HOUSEMASK_W + x] = static_cast<uint8_t>(mask[y * HOUSEMASK_W + x] + 0xE0);
}

void build_glyph_table(SDL_Rect *cells)
{
    for (int r = 0; r < 15; r++)
        for (int q = 0; q < 16; q++) {
            SDL_Rect &c = cells[r * 16 + q];
            c.x = q > 0 ? 61 * q - 1 : 0;
            c.y = 50 * r;
            c.w = r <= 4 ? 25 : 21;
            c.h = 32;
        }
}

uint32_t height_from_pixel(uint32_t v)
{
    const double r = (v >> 16) & 0xFF, g = (v >> 8) & 0xFF, b = v & 0xFF;
    // Rec. 709 luma in this exact order; the truncation makes (255,255,255)
    // give 254.
    return static_cast<uint32_t>(to_int32((r * 0.2126 + g * 0.7152) + b * 0.0722)) & 0xFF;
}

void build_terrain_maps(const SDL_Surface *heights, const SDL_Surface *colours,
                        uint32_t *height_map, uint32_t *colour_map)
{
    for (int y = 0; y < MAP_SIZE; y++)
        for (int x = 0; x < MAP_SIZE; x++) {
            height_map[y * MAP_SIZE + x] = height_from_pixel(read_pixel(heights, x, y));
            colour_map[y * MAP_SIZE + x] = read_pixel(colours, x, y);
        }
}
