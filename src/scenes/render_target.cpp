// render_target.cpp - read-back and upload of the TargetTexture's pixels.
#include "scenes/render_target.h"

#include "state/state.h"

#include <cstring>

RawImage view_surface(const SDL_Surface *surface)
{
    if (!surface || !surface->pixels)
        return RawImage{nullptr, 0, 0, 0, 0};
    return RawImage{static_cast<const uint8_t *>(surface->pixels), surface->pitch,
                    surface->format->BytesPerPixel, surface->w, surface->h};
}

bool covers(const RawImage &image, int w, int h)
{
    return image.pixels && image.w >= w && image.h >= h;
}

void make_readback_surface()
{
    if (!ReadbackSurface)
        ReadbackSurface = SDL_CreateRGBSurface(0, READBACK_W, READBACK_H, 32, 0x00FF0000,
                                               0x0000FF00, 0x000000FF, 0xFF000000);
}

const uint32_t *read_back_target(int *stride)
{
    make_readback_surface();
    if (!ReadbackSurface) {
        // No surface: the same picture, read into the copy itself.
        SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, TargetCopy,
                             TARGET_STRIDE * 4);
        *stride = TARGET_STRIDE;
        return TargetCopy;
    }
    SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, ReadbackSurface->pixels,
                         ReadbackSurface->pitch);
    const uint8_t *rows = static_cast<const uint8_t *>(ReadbackSurface->pixels);
    for (int y = 0; y < TARGET_H; y++)
        std::memcpy(TargetCopy + y * TARGET_STRIDE, rows + y * ReadbackSurface->pitch,
                    TARGET_W * 4);
    *stride = ReadbackSurface->pitch / 4;
    return reinterpret_cast<const uint32_t *>(rows);
}

void upload_target_copy()
{
    // Points queued for the target must land before the upload replaces it.
    SDL_RenderFlush(renderer);
    SDL_UpdateTexture(TargetTexture, nullptr, TargetCopy, TARGET_STRIDE * 4);
}

void upload_target_row(int y, const uint32_t *row)
{
    SDL_RenderFlush(renderer);
    const SDL_Rect rect{0, y, TARGET_W, 1};
    SDL_UpdateTexture(TargetTexture, &rect, row, TARGET_W * 4);
}

void set_last_point_colour(uint32_t colour)
{
    if (colour)
        SDL_SetRenderDrawColor(renderer, (colour >> 16) & 0xFF, (colour >> 8) & 0xFF,
                               colour & 0xFF, 255);
}
