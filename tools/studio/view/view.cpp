// view.cpp - the picture target, its letterboxed copy and snapshots.
#include "studio/view/view.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/frame.h"
#include "state/state.h"
#include "common/png_writer.h"

SDL_Rect letterbox_rect(int w, int h)
{
    if (w <= 0 || h <= 0)
        return SDL_Rect{0, 0, 0, 0};
    // Compare w/h with 16/9 in integers: the narrower side sets the scale.
    if (static_cast<int64_t>(w) * WINDOW_H <= static_cast<int64_t>(h) * WINDOW_W) {
        const int ph = static_cast<int>(static_cast<int64_t>(w) * WINDOW_H / WINDOW_W);
        return SDL_Rect{0, (h - ph) / 2, w, ph};
    }
    const int pw = static_cast<int>(static_cast<int64_t>(h) * WINDOW_W / WINDOW_H);
    return SDL_Rect{(w - pw) / 2, 0, pw, h};
}

bool create_picture_target()
{
    // The scale-quality hint applies to textures created while it is set.
    const char *old = SDL_GetHint(SDL_HINT_RENDER_SCALE_QUALITY);
    const std::string saved = old ? old : "";
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
    PictureTarget = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET,
                                      WINDOW_W, WINDOW_H);
    if (old)
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, saved.c_str());
    else
        SDL_ResetHint(SDL_HINT_RENDER_SCALE_QUALITY);
    if (!PictureTarget)
        return false;
    // The scenes leave alpha as it comes (the Canvas holds 0x00RRGGBB): the
    // window shows the colours as they are, like the demo's window does.
    SDL_SetTextureBlendMode(PictureTarget, SDL_BLENDMODE_NONE);
    SDL_SetRenderTarget(renderer, PictureTarget);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    SDL_SetRenderTarget(renderer, nullptr);
    return true;
}

FrameTime draw_picture(double seconds, const SceneLibraryTable *scenes)
{
    SDL_SetRenderTarget(renderer, PictureTarget);
    const FrameTime time =
        scenes ? render_frame(seconds, {scenes->scenes, static_cast<size_t>(scenes->count)},
                              scenes->captions)
               : render_frame(seconds, SceneTable);
    SDL_SetRenderTarget(renderer, nullptr);
    return time;
}

static const SceneLibraryTable *ShownLibrary = nullptr;

void set_shown_library(const SceneLibraryTable *library)
{
    ShownLibrary = library;
}

std::span<const SceneInfo> shown_scenes()
{
    return ShownLibrary ? std::span<const SceneInfo>(ShownLibrary->scenes, static_cast<size_t>(ShownLibrary->count))
                        : SceneTable;
}

const SceneInfo *find_shown_scene(int index)
{
    const std::span<const SceneInfo> scenes = shown_scenes();
    return index >= 0 && static_cast<size_t>(index) < scenes.size() ? &scenes[static_cast<size_t>(index)] : nullptr;
}

const CaptionTable &shown_captions()
{
    return ShownLibrary && ShownLibrary->captions ? *ShownLibrary->captions : DemoCaptions;
}

void show_picture()
{
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(renderer, &w, &h);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    const SDL_Rect dst = letterbox_rect(w, h);
    SDL_RenderCopy(renderer, PictureTarget, nullptr, &dst);
}

bool read_picture(uint32_t *pixels)
{
    SDL_SetRenderTarget(renderer, PictureTarget);
    const bool ok = SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, pixels,
                                         WINDOW_W * 4) == 0;
    SDL_SetRenderTarget(renderer, nullptr);
    return ok;
}

std::string snapshot_name(double seconds)
{
    if (!(seconds > 0.0))
        seconds = 0.0;
    if (seconds > 1e12)
        seconds = 1e12; // far past any music; keeps the whole seconds in range
    // The shortest decimal that reads back as exactly this time, so the name
    // gives capture --start the very time of the picture; at least three
    // decimals (milliseconds), as the clock shows them.
    char digits[400];
    const auto written = std::to_chars(digits, digits + sizeof digits, seconds, std::chars_format::fixed);
    const std::string text = written.ec == std::errc() ? std::string(digits, written.ptr) : std::string("0");
    const size_t dot = text.find('.');
    std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
    while (fraction.size() < 3)
        fraction += '0';
    const long long whole = std::stoll(text.substr(0, dot));
    char name[512];
    std::snprintf(name, sizeof name, "snapshot_%02lld-%02lld.%s.png", whole / 60, whole % 60, fraction.c_str());
    return name;
}

bool write_snapshot(const std::string &path, std::string *error)
{
    std::vector<uint32_t> pixels(static_cast<size_t>(WINDOW_W) * WINDOW_H);
    if (!read_picture(pixels.data())) {
        *error = std::string("cannot read the picture back: ") + SDL_GetError();
        return false;
    }
    char err[256] = "";
    if (!write_png_rgb(path.c_str(), pixels.data(), WINDOW_W, WINDOW_H, WINDOW_W, err)) {
        *error = err;
        return false;
    }
    return true;
}
