// image.cpp - loading BMP files from the program's directory. A failed load
// is fatal: the loader releases the render context, reports SDL's error text
// on standard output, shuts SDL down and hands back null.
#include "gfx/image.h"

#include <cstdio>
#include <string>

#include "app/state.h"

// The program's directory, fetched once: SDL computes it from the running
// executable, so it does not change while the process lives. When SDL cannot
// name it, images are looked up relative to the working directory instead.
static const std::string &base_path()
{
    static const std::string path = [] {
        char *p = SDL_GetBasePath();
        std::string s = p ? p : "";
        SDL_free(p);
        return s;
    }();
    return path;
}

// The shared failure path: release, report, shut down.
static void fail_load(const char *what)
{
    release_render_context();
    const char *err = SDL_GetError();
    std::printf("%s%s\n", what, err);
    std::fflush(stdout);
    SDL_Quit();
}

SDL_Surface *load_surface(const char *file)
{
    const std::string path = base_path() + file;
    SDL_Surface *s = SDL_LoadBMP_RW(SDL_RWFromFile(path.c_str(), "rb"), 1);
    if (s)
        return s;
    fail_load("SDL_LoadBMP Error: ");
    return nullptr;
}

SDL_Surface *load_surface_at_least(const char *file, int min_w, int min_h)
{
    SDL_Surface *s = load_surface(file);
    if (!s || (s->w >= min_w && s->h >= min_h))
        return s;
    SDL_SetError("%s is %dx%d pixels; the demo needs at least %dx%d", file, s->w, s->h,
                 min_w, min_h);
    SDL_FreeSurface(s);
    fail_load("SDL_LoadBMP Error: ");
    return nullptr;
}

SDL_Texture *load_texture(const char *file)
{
    SDL_Surface *s = load_surface(file);
    if (!s)
        return nullptr;
    SDL_Texture *t = SDL_CreateTextureFromSurface(renderer, s);
    SDL_FreeSurface(s);
    if (t)
        return t;
    fail_load("SDL_CreateTextureFromSurface Error: ");
    return nullptr;
}
