// tables.cpp - HouseMask, GlyphTable, HeightMap and ColourMap, built once.
#include "app/tables.h"

#include "base/convert.h"
#include "state/state.h"
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
    for (int i = 0; i < GLYPH_CELLS; i++) {
        const CellRect c = glyph_cell_rect(i);
        cells[i] = SDL_Rect{c.x, c.y, c.w, c.h};
    }
}

uint32_t height_from_pixel(uint32_t v)
{
    return height_from_rgb((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
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
