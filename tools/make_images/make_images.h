// make_images.h - the generators of every image the demo reads.
//
// Each generator returns a Picture of the size its users read; write_all_images
// writes every image file of base/facts.h ("d1.bmp" ... "0060.bmp") as 24-bit BMPs. All of them
// share one look: a dark, burnt world of ember reds, ash greys and bone.
// Every generator is a pure function of its arguments: same bytes on every
// run and machine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/facts.h"
#include "make_images/raster.h"

// Sizes the demo reads are in base/facts.h; these are the generator's own.
constexpr int TERRAIN_SIZE = MAP_SIZE; // d1 and c1; the landscape wraps every 1024 cells
constexpr int FONT_IMAGE_W = 960;     // holds the 16 glyph columns (last cell ends at 939)
constexpr int FONT_IMAGE_H = 736;     // holds the 15 glyph rows (last cell ends at 732)
constexpr int FONT_ROWS = FONT_CELL_ROWS;
constexpr int FONT_COLUMNS = FONT_CELL_COLUMNS;
constexpr int FONT_FIRST_CODE = GLYPH_FIRST_CODE; // "!" is cell 0
constexpr int FONT_LAST_CODE = 126;   // "~" is cell 93
constexpr int HOUSE_W = STILL_IMAGES[IMAGE_House].min_w; // exactly what the HouseMask reads,
constexpr int HOUSE_H = STILL_IMAGES[IMAGE_House].min_h; // so the picture lines up with it
constexpr int PAITA_W = WINDOW_W / 2; // half the window in each direction
constexpr int PAITA_H = WINDOW_H / 2;
constexpr int SPRITE_SIZE = 128;      // the chain draws the sprite at 128x128
constexpr int SMEAR_W = CANVAS_W;
constexpr int SMEAR_H = CANVAS_H;
constexpr int FRAME_W = CANVAS_W;     // the sequence is stretched onto a 320x200 target
constexpr int FRAME_H = CANVAS_H;

// The font every build rasterises (package fonts-dejavu-core).
extern const char *const DEFAULT_FONT_PATH;

// A rectangle of pixels in a picture (the window rectangles the pictures are
// laid out against, STREAK_WINDOW_RECT and HOUSE_PICTURE_RECT, are in
// base/facts.h).
struct PixelRect {
    int x, y, w, h;
};

// Cell of glyph index 0..239 in "font.bmp" (index = code - 33).
PixelRect glyph_cell(int index);

// Grey height map giving every HeightMap level 0..254 (black to white),
// wrapping every 1024 pixels in both directions.
Picture make_height_map();

// The pixel written for HeightMap level 0..254: pure grey where one gives
// the level, else (level + 1, level + 1, level); white for 254.
Rgb grey_for_level(int level);

// Terrain colours for a height map made by make_height_map: palette by the
// height the demo reads from each pixel, lit from the slope, wrapping too.
Picture make_colour_map(const Picture &heights);

// The HeightMap level the demo reads from a pixel (height_from_rgb).
int height_of(Rgb c);

// Glyphs of codes 33..126 in their cells on pure black, rasterised from the
// TrueType font at ttf_path. On failure returns false and sets *error.
bool make_font(const char *ttf_path, Picture *out, std::string *error);

Picture make_house();        // black silhouette under a white sky
Picture make_paita();        // full-window picture, yellow where the streaks show
Picture make_badtaste();     // chain sprite on white
Picture make_textureloop();  // wraps every 128 texels
Picture make_smear1();       // on black
Picture make_smear2();       // on black

// Frame `index` of the looping animation; index is taken modulo 60, so
// frame 60 would equal frame 0 ("0001.bmp").
Picture make_animation_frame(int index);

// Generates and writes every image into dir (created if missing). On
// failure returns false and sets *error.
bool write_all_images(const std::string &dir, const char *ttf_path, std::string *error);

// The bytes of a Windows icon file (.ico) made from `picture`, whose pixels
// of colour `transparent` are left out: 32-bit images of 16, 32, 48 and 256
// pixels square.
std::vector<uint8_t> make_icon_file(const Picture &picture, Rgb transparent);
