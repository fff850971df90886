// scene_window.h - a headless window for scene tests: SDL's dummy video
// driver and the software renderer drawing into a 1920x1080 ARGB8888 surface,
// installed as the shared renderer together with the three canvas textures.
// Pixels are read straight from the surface after a flush.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <cstdlib>

#include "app/startup.h"
#include "state/state.h"

struct SceneWindow {
    SDL_Surface *surface = nullptr;
    bool ok = false;

    SceneWindow()
    {
        setenv("SDL_VIDEODRIVER", "dummy", 0);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
            return;
        surface = SDL_CreateRGBSurfaceWithFormat(0, WINDOW_W, WINDOW_H, 32, SDL_PIXELFORMAT_ARGB8888);
        if (!surface)
            return;
        renderer = SDL_CreateSoftwareRenderer(surface);
        if (!renderer)
            return;
        create_canvas_textures();
        ok = CanvasTexture && SmallTexture && TargetTexture;
    }

    ~SceneWindow()
    {
        if (renderer)
            SDL_DestroyRenderer(renderer); // takes every texture with it
        renderer = nullptr;
        CanvasTexture = SmallTexture = TargetTexture = nullptr;
        if (surface)
            SDL_FreeSurface(surface);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    // A texture made from a surface the way start-up makes image textures:
    // an optional colour key, then SDL_CreateTextureFromSurface.
    static SDL_Texture *texture_from(SDL_Surface *s, bool keyed, Uint8 r, Uint8 g, Uint8 b)
    {
        if (keyed)
            SDL_SetColorKey(s, SDL_TRUE, SDL_MapRGB(s->format, r, g, b));
        SDL_Texture *t = SDL_CreateTextureFromSurface(renderer, s);
        SDL_FreeSurface(s);
        return t;
    }

    // Window pixel as 0xRRGGBB (alpha dropped).
    uint32_t pixel(int x, int y)
    {
        SDL_RenderFlush(renderer);
        const uint8_t *row = static_cast<const uint8_t *>(surface->pixels) + y * surface->pitch;
        return reinterpret_cast<const uint32_t *>(row)[x] & 0xFFFFFFu;
    }

    // Window pixel at the centre of the 6 x 5.4 block that pixel (x, y) of a
    // 320x200 picture stretched over the window covers.
    uint32_t stretched_pixel(int x, int y)
    {
        return pixel(6 * x + 3, static_cast<int>(5.4 * y + 2.7));
    }
};
