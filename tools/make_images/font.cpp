// font.cpp - "font.bmp": the bitmap font of the overlay and the glyph field.
//
// Glyphs of codes 33..126 are rasterised with FreeType into the cells the
// demo's GlyphTable names (15 rows of 16; 25x32 in rows 0-4, 21x32 below),
// centred in their cells, on pure black, which the demo keys out. The demo
// draws them at twice their size, tinted by colour modulation, so the glyphs
// are light (bone at the top, ember red at the foot) with a dark red outline
// that keeps them legible over bright scenes; no glyph pixel is pure black.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <vector>

#include "make_images/make_images.h"

const char *const DEFAULT_FONT_PATH = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf";

PixelRect glyph_cell(int index)
{
    const CellRect c = glyph_cell_rect(index);
    return PixelRect{c.x, c.y, c.w, c.h};
}

namespace {

const int CELL_H = 32;
const int EM_PIXELS = 29;      // glyph height in pixels per em
const int BASELINE = 25;       // baseline row inside the cell
const int INK_THRESHOLD = 100; // coverage (0..255) from which a pixel is ink

// Fill colour by row inside the cell: bone at the top to ember at the foot.
const ColourStop GLYPH_RAMP[] = {
    {4.0, {255, 240, 214}},
    {14.0, {250, 196, 120}},
    {22.0, {238, 112, 40}},
    {28.0, {196, 40, 14}},
};
const Colour OUTLINE = {84, 10, 4};
const Rgb UNDERSCORE = {120, 24, 8};

struct Coverage {
    int w = 0;
    std::vector<uint8_t> v; // w x CELL_H, 0..255

    uint8_t at(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= w || y >= CELL_H)
            return 0;
        return v[static_cast<size_t>(y) * w + x];
    }
};

// Rasterises one code into a cell-sized coverage grid, narrowing the glyph
// until it fits with a blank column and an outline column on each side.
bool rasterise(FT_Face face, int code, int cell_w, Coverage *cov, std::string *error)
{
    cov->w = cell_w;
    cov->v.assign(static_cast<size_t>(cell_w) * CELL_H, 0);
    FT_GlyphSlot g = face->glyph;
    for (int xs = EM_PIXELS + 6;; --xs) {
        if (FT_Set_Pixel_Sizes(face, static_cast<FT_UInt>(xs), EM_PIXELS) != 0 ||
            FT_Load_Char(face, static_cast<FT_ULong>(code), FT_LOAD_RENDER) != 0) {
            *error = "cannot rasterise character " + std::to_string(code);
            return false;
        }
        if (g->bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) {
            *error = "the font gives no grey bitmap for character " + std::to_string(code);
            return false;
        }
        if (static_cast<int>(g->bitmap.width) <= cell_w - 4 || xs <= 8)
            break;
    }
    const int bw = static_cast<int>(g->bitmap.width);
    const int bh = static_cast<int>(g->bitmap.rows);
    if (bw == 0 || bh == 0 || bw > cell_w - 4 || bh > CELL_H - 2) {
        *error = "character " + std::to_string(code) + " does not fit its cell";
        return false;
    }
    const int left = (cell_w - bw) / 2;
    int top = BASELINE - g->bitmap_top;
    if (top < 1)
        top = 1;
    if (top + bh > CELL_H - 1)
        top = CELL_H - 1 - bh;
    for (int y = 0; y < bh; ++y) {
        const unsigned char *row = g->bitmap.buffer + static_cast<ptrdiff_t>(y) * g->bitmap.pitch;
        for (int x = 0; x < bw; ++x)
            cov->v[static_cast<size_t>(top + y) * cell_w + left + x] = row[x];
    }
    return true;
}

// Paints a coverage grid into the cell: ink in the ramp colour (its soft edge
// blended towards the outline), a one-pixel outline around it, black elsewhere.
void paint_glyph(const Coverage &cov, PixelRect cell, Picture *p)
{
    for (int y = 0; y < CELL_H; ++y) {
        const Colour fill = ramp(GLYPH_RAMP, 4, y);
        for (int x = 0; x < cov.w; ++x) {
            const int c = cov.at(x, y);
            if (c >= INK_THRESHOLD) {
                const double t = smoothstep(INK_THRESHOLD, 230.0, c);
                set_pixel(*p, cell.x + x, cell.y + y, to_rgb(mix(OUTLINE, fill, 0.35 + 0.65 * t)));
                continue;
            }
            bool near_ink = false;
            for (int dy = -1; dy <= 1 && !near_ink; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (cov.at(x + dx, y + dy) >= INK_THRESHOLD)
                        near_ink = true;
            if (near_ink)
                set_pixel(*p, cell.x + x, cell.y + y, to_rgb(OUTLINE));
        }
    }
}

} // namespace

bool make_font(const char *ttf_path, Picture *out, std::string *error)
{
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib) != 0) {
        *error = "cannot start FreeType";
        return false;
    }
    FT_Face face = nullptr;
    if (FT_New_Face(lib, ttf_path, 0, &face) != 0) {
        *error = std::string("cannot open the font ") + ttf_path +
                 " (Debian package fonts-dejavu-core)";
        FT_Done_FreeType(lib);
        return false;
    }
    Picture p = make_picture(FONT_IMAGE_W, FONT_IMAGE_H, Rgb{0, 0, 0});
    bool ok = true;
    for (int code = FONT_FIRST_CODE; code <= FONT_LAST_CODE && ok; ++code) {
        const PixelRect cell = glyph_cell(code - FONT_FIRST_CODE);
        if (code == '_') {
            // The overlay lines use "_" between words: a thin, dim rule at
            // the foot of the cell rather than a bright bar.
            for (int x = 1; x < cell.w - 1; ++x)
                set_pixel(p, cell.x + x, cell.y + 28, UNDERSCORE);
            continue;
        }
        Coverage cov;
        ok = rasterise(face, code, cell.w, &cov, error);
        if (ok)
            paint_glyph(cov, cell, &p);
    }
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
    if (ok)
        *out = std::move(p);
    return ok;
}
