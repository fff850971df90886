// render_target.h - a CPU copy of the 320x200 TargetTexture for the scenes
// that fill it pixel by pixel (sprite drip, sphere, fire).
//
// Drawing tens of thousands of single points through the renderer is slow on
// a GL renderer, so those scenes compute their passes into TargetCopy and
// replace the texture's pixels with one upload. Every point of those passes
// is opaque (alpha 255), so "later point wins" is all the ordering there is:
// a buffer that starts as the target's own pixels and takes each point's
// colour in drawing order ends exactly as the target would after the points.
//
// Also the plain view of raw image pixels that the pixel functions read.
#pragma once

#include <SDL.h>
#include <cstdint>

#include "base/facts.h"
#include "state/state.h"

enum {
    TARGET_W = CANVAS_W,
    TARGET_H = CANVAS_H,
    TARGET_STRIDE = TARGET_W, // pixels per TargetCopy row
    READBACK_W = WINDOW_W,
    READBACK_H = WINDOW_H,
};

// Raw pixels of an image, read by the pixel reading rule (image.h).
struct RawImage {
    const uint8_t *pixels;
    int pitch; // bytes per row
    int bpp;   // bytes per pixel, 1..4 (any other size reads as 0)
    int w, h;
};

// The view of a surface's pixels; an empty view (w = h = 0) for null.
RawImage view_surface(const SDL_Surface *surface);

// True when the image is at least w x h pixels.
bool covers(const RawImage &image, int w, int h);

// A pass's last point colour as 0xFFRRGGBB, or 0 when it drew no point.
inline uint32_t opaque(uint32_t rgb) { return 0xFF000000u | (rgb & 0x00FFFFFFu); }

// TargetCopy (state/state.h) holds the TargetTexture's pixels as the scenes
// last read or computed them, 0xAARRGGBB, TARGET_STRIDE per row.

// Makes the shared ReadbackSurface (1920x1080, ARGB8888 masks) when it does
// not exist yet. It may stay null when memory runs out.
void make_readback_surface();

// Reads the current render target (the TargetTexture) back into the top-left
// corner of the ReadbackSurface, made first if missing, and copies it into
// TargetCopy. Returns the snapshot: the surface's pixels, with *stride set to
// its pixels per row; when the surface cannot be made the target is read
// straight into TargetCopy, which is then the snapshot.
const uint32_t *read_back_target(int *stride);

// Replaces the TargetTexture's pixels with TargetCopy (after sending every
// queued drawing command, so the upload lands in drawing order).
void upload_target_copy();

// Replaces one row of the TargetTexture with 320 pixels.
void upload_target_row(int y, const uint32_t *row);

// Leaves the renderer's draw colour as a pass's last point would have left it;
// nothing when the pass drew no point (colour 0).
void set_last_point_colour(uint32_t colour);
