// tables.h - the lookup tables derived from the images once at start-up, as
// plain functions over surfaces and arrays so they can be tested directly.
#pragma once

#include <SDL.h>
#include <cstdint>

#include "base/facts.h"

// Smallest images the tables and scenes read, in pixels (from base/facts.h).
enum {
    HOUSE_MIN_W = STILL_IMAGES[IMAGE_House].min_w, HOUSE_MIN_H = STILL_IMAGES[IMAGE_House].min_h,
    MAP_MIN_W = STILL_IMAGES[IMAGE_D1].min_w, MAP_MIN_H = STILL_IMAGES[IMAGE_D1].min_h,
    TEXTURELOOP_MIN_W = STILL_IMAGES[IMAGE_Textureloop].min_w,
    TEXTURELOOP_MIN_H = STILL_IMAGES[IMAGE_Textureloop].min_h,
    SMEAR_MIN_W = STILL_IMAGES[IMAGE_Smear1].min_w, SMEAR_MIN_H = STILL_IMAGES[IMAGE_Smear1].min_h,
    FONT_MIN_W = STILL_IMAGES[IMAGE_Font].min_w, FONT_MIN_H = STILL_IMAGES[IMAGE_Font].min_h,
};

// Silhouette mask, 100 rows of 320: each cell loses 32 (mod 256) for each of
// the two image pixels (x/2, y) and (x/2, y+1) whose raw value is 0.
void build_house_mask(const SDL_Surface *house, uint8_t *mask);

// The 240 cells of the font image: 15 rows of 16.
void build_glyph_table(SDL_Rect *cells);

// Height = low 8 bits of trunc((R*0.2126 + G*0.7152) + B*0.0722) of "d1.bmp";
// colour = raw "c1.bmp" pixel. Both 1024x1024, index y*1024 + x.
void build_terrain_maps(const SDL_Surface *heights, const SDL_Surface *colours,
                        uint32_t *height_map, uint32_t *colour_map);

// One height level from a raw pixel value 0x..RRGGBB.
uint32_t height_from_pixel(uint32_t v);
