// guarded_scenes.cpp - the live scene library's frames under the live guard
// (the manual is in guarded_scenes.h).
#include "studio/live/guarded_scenes.h"

#include <SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>

#include <cstdio>

#include "app/frame.h"
#include "state/state.h"
#include "studio/live/live_code.h"

namespace {

// The drawing guard's escape_quits, for the quit check.
bool EscapeQuits = true;

// A window close, Escape (when it would quit) or a SIGINT/SIGTERM (SDL turns those into
// SDL_QUIT when it pumps) waiting: the studio is asked to quit. Called by
// the watchdog's signal on the frame thread while a scene runs long, between
// two of the library's instructions.
bool quit_waiting()
{
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0)
        return false;
    SDL_PumpEvents();
    if (SDL_HasEvent(SDL_QUIT))
        return true;
    SDL_Event events[32];
    int n = EscapeQuits ? SDL_PeepEvents(events, 32, SDL_PEEKEVENT, SDL_KEYDOWN, SDL_KEYDOWN) : 0;
    for (int i = 0; i < n; i++)
        if (events[i].key.keysym.sym == SDLK_ESCAPE)
            return true;
    n = SDL_PeepEvents(events, 32, SDL_PEEKEVENT, SDL_WINDOWEVENT, SDL_WINDOWEVENT);
    for (int i = 0; i < n; i++)
        if (events[i].window.event == SDL_WINDOWEVENT_CLOSE)
            return true;
    return false;
}

// A reference of our own to a library the live code opened: it stays
// loaded when the live code closes it, for as long as it may draw again.
void *own_reference(void *handle)
{
    link_map *map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map)
        return nullptr;
    // Found among the loaded libraries by its name; the file is not opened.
    void *again = dlopen(map->l_name, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    if (again && again != handle) {
        dlclose(again);
        return nullptr;
    }
    return again;
}

void release(GuardedLibrary *lib)
{
    release_library_code(&lib->code);
    if (lib->handle)
        dlclose(lib->handle);
    *lib = GuardedLibrary{};
}

// The scene of the guarded call in flight and its time: guarded_call runs
// a function without arguments.
const SceneInfo *CalledScene = nullptr;
FrameTime CalledTime{};

void call_scene()
{
    CalledScene->draw(CalledTime);
}

GuardedLibrary *drawing(SceneGuard *g)
{
    if (g->current.table && !g->refused)
        return &g->current;
    return g->previous.table ? &g->previous : nullptr;
}

struct RenderState {
    SDL_Texture *target;
    SDL_Rect clip;
    bool clipped;
    Uint8 r, g, b, a;
    SDL_BlendMode blend;
};

RenderState save_render_state()
{
    RenderState s{};
    s.target = SDL_GetRenderTarget(renderer);
    s.clipped = SDL_RenderIsClipEnabled(renderer) == SDL_TRUE;
    SDL_RenderGetClipRect(renderer, &s.clip);
    SDL_GetRenderDrawColor(renderer, &s.r, &s.g, &s.b, &s.a);
    SDL_GetRenderDrawBlendMode(renderer, &s.blend);
    return s;
}

void restore_render_state(const RenderState &s)
{
    SDL_SetRenderTarget(renderer, s.target);
    SDL_RenderSetClipRect(renderer, s.clipped ? &s.clip : nullptr);
    SDL_SetRenderDrawColor(renderer, s.r, s.g, s.b, s.a);
    SDL_SetRenderDrawBlendMode(renderer, s.blend);
}

// The library that failed is set aside (the current one until the next
// swap; the previous one for good) and the box says what happened where.
void set_aside(SceneGuard *g, GuardedLibrary *lib, const char *scene, const GuardOutcome &o)
{
    std::string what;
    switch (o.stop) {
    case GUARD_FAULT:
        what = "crashed: " + (o.signal ? std::string(guard_signal_name(o.signal)) + ", " : std::string()) +
               guard_fault_words(o);
        break;
    case GUARD_TIMEOUT: {
        char text[64];
        std::snprintf(text, sizeof text, "did not return within %.1f s and was stopped", guard_timeout());
        what = text;
        break;
    }
    case GUARD_QUIT: {
        char text[64];
        std::snprintf(text, sizeof text, "was stopped after %.1f s to quit", o.seconds);
        what = text;
        break;
    }
    case GUARD_RETURNED: break;
    }
    const std::string place = code_place(lib->code, o.where, g->source_dir);
    std::string line = "scene \"" + std::string(scene ? scene : "?") + "\" " + what +
                       (place.empty() ? "" : ", at " + place);
    if (lib == &g->current)
        g->refused = true;
    else
        release(&g->previous);
    line += g->previous.table ? "; its library is set aside until the next save, the previous one draws"
                              : "; its library is set aside until the next save, the studio's own scenes draw";
    g->errors = line + "\n";
    g->failures++;
    std::fprintf(stderr, "studio: %s", g->errors.c_str());
    std::fflush(stderr);
}

} // namespace

bool start_scene_guard(SceneGuard *g, double timeout_s, std::string *error)
{
    if (!install_live_guard(error))
        return false;
    set_guard_timeout(timeout_s);
    set_guard_quit_check(quit_waiting);
    g->on = true;
    return true;
}

void follow_live_code(SceneGuard *g, const LiveCode &lc)
{
    if (lc.swaps == g->taken_swaps && lc.current.handle == g->taken_handle)
        return;
    g->taken_swaps = lc.swaps;
    g->taken_handle = lc.current.handle;
    g->source_dir = lc.build.source_dir;
    // The one that drew without failing is kept for when the new one fails;
    // none at all (the live code stopped) leaves nothing to keep.
    if (!lc.current.handle) {
        release(&g->previous);
        release(&g->current);
    } else if (g->current.handle && !g->refused) {
        release(&g->previous);
        g->previous = g->current;
        g->current = GuardedLibrary{};
    } else {
        release(&g->current);
    }
    g->refused = false;
    g->errors.clear();
    if (!lc.current.handle)
        return;
    g->current.table = lc.current.table;
    g->current.handle = own_reference(lc.current.handle);
    // The library's code was found when it was opened (off this thread);
    // the guard keeps a file descriptor of its own.
    const bool known = lc.current.code_error.empty() && lc.current.code.range.hi != 0;
    if (g->current.handle && known) {
        g->current.code = lc.current.code;
        g->current.code.fd = lc.current.code.fd >= 0 ? fcntl(lc.current.code.fd, F_DUPFD_CLOEXEC, 0) : -1;
    } else {
        // Without them a fault cannot be told from the studio's own: the
        // library draws unguarded, and is not kept when the next one comes.
        std::fprintf(stderr, "studio: the scene library draws unguarded: %s\n",
                     !g->current.handle ? "no reference to it"
                     : lc.current.code_error.empty() ? "its code was not found"
                                                     : lc.current.code_error.c_str());
        std::fflush(stderr);
    }
}

const SceneLibraryTable *guarded_table(const SceneGuard &g)
{
    GuardedLibrary *lib = drawing(const_cast<SceneGuard *>(&g));
    return lib ? lib->table : nullptr;
}

GuardedDraw draw_guarded_scene(SceneGuard *g, int index, const FrameTime &time)
{
    GuardedLibrary *lib = drawing(g);
    if (!lib)
        return GUARDED_NONE;
    if (index < 0 || index >= lib->table->count)
        return GUARDED_DREW; // no scene: nothing drawn, as the studio's own loop
    const SceneInfo &scene = lib->table->scenes[index];
    GuardOutcome outcome;
    if (!g->on) {
        scene.draw(time);
    } else {
        const RenderState saved = renderer ? save_render_state() : RenderState{};
        EscapeQuits = g->escape_quits;
        CalledScene = &scene;
        CalledTime = time;
        if (!guarded_call(call_scene, lib->code.range, &outcome)) {
            if (renderer)
                restore_render_state(saved);
            set_aside(g, lib, scene.name, outcome);
            return GUARDED_FAILED;
        }
    }
    if (scene.copies_target)
        SDL_RenderCopy(renderer, TargetTexture, nullptr, nullptr);
    return GUARDED_DREW;
}

FrameTime draw_guarded_picture(SceneGuard *g, double seconds)
{
    SDL_SetRenderTarget(renderer, PictureTarget);
    const FrameTime time = update_frame_values(seconds);
    clear_frame_buffers();
    const int index = scene_index_at(time);
    const GuardedDraw drew = draw_guarded_scene(g, index, time);
    if (drew == GUARDED_NONE)
        draw_scene(SceneTable, index, time);
    if (drew != GUARDED_FAILED) {
        const SceneLibraryTable *lib = guarded_table(*g);
        finish_frame(lib ? lib->captions : nullptr);
    }
    SDL_SetRenderTarget(renderer, nullptr);
    return time;
}

void stop_scene_guard(SceneGuard *g)
{
    release(&g->current);
    release(&g->previous);
    if (g->on)
        remove_live_guard();
    g->on = false;
}
