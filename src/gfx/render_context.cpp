// render_context.cpp - the render context's variables and their release.
#include "gfx/render_context.h"

#include <cstdlib>

SDL_Window *window = nullptr;
SDL_Renderer *renderer = nullptr;
SDL_Texture *CanvasTexture = nullptr;
SDL_Texture *SmallTexture = nullptr;
SDL_Texture *TargetTexture = nullptr;
SDL_Texture *PictureTarget = nullptr;

// The two scratch blocks exist before main runs; a failed allocation here
// ends the program before main, as any failed static initialiser would.
static uint32_t *allocate_block(size_t bytes)
{
    void *p = std::malloc(bytes);
    if (!p)
        std::abort();
    return static_cast<uint32_t *>(p);
}

uint32_t *Canvas = allocate_block(CANVAS_BLOCK_BYTES);
uint32_t *ByteBuffer = allocate_block(BYTEBUFFER_BYTES);

void release_render_context()
{
    std::free(Canvas);
    Canvas = nullptr;
    std::free(ByteBuffer);
    ByteBuffer = nullptr;
    if (CanvasTexture)
        SDL_DestroyTexture(CanvasTexture);
    CanvasTexture = nullptr;
    if (TargetTexture)
        SDL_DestroyTexture(TargetTexture);
    TargetTexture = nullptr;
    if (renderer)
        SDL_DestroyRenderer(renderer);
    renderer = nullptr;
    if (window)
        SDL_DestroyWindow(window);
    window = nullptr;
}
