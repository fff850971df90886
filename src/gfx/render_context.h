// render_context.h - the window, the renderer and the canvases every scene
// draws with: created by start-up, released in one fixed order by
// release_render_context() (also on an image-loading failure, by the loader).
#pragma once

#include <SDL.h>
#include <cstdint>

#include "base/facts.h"

// Window, canvas and small-buffer sizes are in base/facts.h.
enum {
    CANVAS_PITCH = CANVAS_W * 4,        // bytes per Canvas row
    CANVAS_BLOCK_BYTES = 320000,        // first 256000 bytes are the pixels
    CANVAS_PIXEL_BYTES = CANVAS_W * CANVAS_H * 4,
    BYTEBUFFER_BYTES = SMALL_W * SMALL_H * 4, // 160x100 ARGB8888 for the streak scene
};

extern SDL_Window *window;
extern SDL_Renderer *renderer;
extern SDL_Texture *CanvasTexture; // 320x200 ARGB8888, static
extern SDL_Texture *SmallTexture;  // 160x100 ARGB8888, static
extern SDL_Texture *TargetTexture; // 320x200 ARGB8888, render target
// Where the 1920x1080 picture goes: null for the window itself (the demo and
// the offline renderer), or a 1920x1080 render-target texture of a program
// that shows the picture scaled. Scenes that select a render target of their
// own select this one again before they return.
extern SDL_Texture *PictureTarget;
extern uint32_t *Canvas;           // 320x200 pixels 0xAARRGGBB, 320 per row
extern uint32_t *ByteBuffer;       // 160x100 pixels 0xAARRGGBB, 160 per row

// Releases, in this order: Canvas, ByteBuffer, CanvasTexture, TargetTexture,
// renderer, window. Does not shut SDL down. Safe to call once per start-up.
void release_render_context();
