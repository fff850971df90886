// startup.cpp - start-up and teardown of the demo, in the one fixed order.
//
// Start-up failures print one line on standard output (a fixed text naming
// the step, then SDL's error text), release what exists and make start_up()
// return 1. Image failures are reported by the loaders themselves.
#include "app/startup.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "state/state.h"
#include "app/tables.h"
#include "audio/bass.h"
#include "gfx/image.h"
#include "scenes/landscape.h"
#include "sync/device.h"

static void report(const char *what)
{
    std::printf("%s%s\n", what, SDL_GetError());
    std::fflush(stdout);
}

void create_canvas_textures()
{
    CanvasTexture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888,
                                      SDL_TEXTUREACCESS_STATIC, CANVAS_W, CANVAS_H);
    SmallTexture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888,
                                     SDL_TEXTUREACCESS_STATIC, SMALL_W, SMALL_H);
    TargetTexture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888,
                                      SDL_TEXTUREACCESS_TARGET, CANVAS_W, CANVAS_H);
}

// The nine still images, then the 60 frames. False after a failure, which the
// loader has reported and cleaned up.
static bool load_images()
{
    // In the order of STILL_IMAGES.
#define DEMO_SURFACE_OF(NAME, FILE, W, H, RAW) &NAME##Surface,
    SDL_Surface **const surfaces[] = {DEMO_STILL_IMAGES(DEMO_SURFACE_OF)};
#undef DEMO_SURFACE_OF
    for (int i = 0; i < STILL_IMAGE_COUNT; i++) {
        const ImageFact &image = STILL_IMAGES[i];
        *surfaces[i] = image.read_raw ? load_rgb_surface_at_least(image.file, image.min_w, image.min_h)
                                      : load_surface_at_least(image.file, image.min_w, image.min_h);
        if (!*surfaces[i])
            return false;
    }
    for (int k = 0; k < FRAME_COUNT; k++) {
        char name[16];
        std::snprintf(name, sizeof name, ANIMATION_FRAME_NAME, k + 1);
        FrameSequence[k] = load_texture(name);
        if (!FrameSequence[k])
            return false;
    }
    return true;
}

static void set_key(SDL_Surface *s, Uint8 r, Uint8 g, Uint8 b)
{
    SDL_SetColorKey(s, SDL_TRUE, SDL_MapRGB(s->format, r, g, b));
}

static void prepare_images()
{
    set_key(FontSurface, 0, 0, 0);
    set_key(PaitaSurface, 255, 255, 0);
    set_key(BadtasteSurface, 255, 255, 255);
    set_key(Smear1Surface, 0, 0, 0);
    set_key(Smear2Surface, 0, 0, 0);

    BadtasteTexture = SDL_CreateTextureFromSurface(renderer, BadtasteSurface);
    FontTexture = SDL_CreateTextureFromSurface(renderer, FontSurface);
    PaitaTexture = SDL_CreateTextureFromSurface(renderer, PaitaSurface);
    Smear1Texture = SDL_CreateTextureFromSurface(renderer, Smear1Surface);
    Smear2Texture = SDL_CreateTextureFromSurface(renderer, Smear2Surface);

    // The mask reads the black pixels before white becomes transparent.
    build_house_mask(HouseSurface, HouseMask);
    set_key(HouseSurface, 255, 255, 255);
    HouseTexture = SDL_CreateTextureFromSurface(renderer, HouseSurface);

    build_glyph_table(GlyphTable);
    build_terrain_maps(D1Surface, C1Surface, HeightMap, ColourMap);
    prepare_landscape();
}

// A file opener that finds nothing: every track opens registered and empty.
static FILE *open_no_file(const char *, const char *)
{
    return nullptr;
}

// The device and its DEMO_TRACKS (base/facts.h). Only fails when memory runs out.
static bool open_tracks(const StartupOptions &options)
{
    Sync = create_sync_device(SYNC_BASE_NAME);
    if (!Sync)
        return false;
    if (!options.read_track_files)
        Sync->open_file = open_no_file;
    if (options.before_tracks)
        options.before_tracks(Sync);
    for (int i = 0; i < TRACK_COUNT; i++) {
        Tracks[i] = open_track(Sync, TrackNames[i]);
        if (!Tracks[i])
            return false;
    }
    if (options.after_tracks)
        options.after_tracks(Sync);
    return true;
}

static void start_music()
{
    BASS_Init(-1, 44100, 0, nullptr, nullptr);
    MusicStream = BASS_StreamCreateFile(false, MUSIC_FILE, 0, 0, BASS_STREAM_PRESCAN);
    BASS_Start();
    BASS_ChannelPlay(MusicStream, false);
}

const StartupOptions DemoStartup = {"lumikenno 2019 demo", WINDOW_W, WINDOW_H, SDL_WINDOW_SHOWN, true, true};

int start_up()
{
    return start_up_with(DemoStartup);
}

int start_up_with(const StartupOptions &options)
{
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        report("SDL_Init Error: ");
        return 1;
    }
    window = SDL_CreateWindow(options.title, 8, 8, options.window_w, options.window_h,
                              options.window_flags);
    if (!window) {
        report("SDL_CreateWindow Error: ");
        return 1;
    }
    if (options.fullscreen)
        SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN);
    renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (!renderer) {
        // Destroying the window may overwrite SDL's error text: keep it.
        std::string err = SDL_GetError();
        SDL_DestroyWindow(window);
        window = nullptr;
        SDL_SetError("%s", err.c_str());
        report("SDL_CreateRenderer Error: ");
        SDL_Quit();
        return 1;
    }
    create_canvas_textures();
    if (!load_images())
        return 1;
    prepare_images();
    if (!open_tracks(options)) {
        // Out of memory: no message is defined; end like any start-up failure.
        if (Sync)
            destroy_sync_device(Sync);
        Sync = nullptr;
        release_render_context();
        SDL_Quit();
        return 1;
    }
    start_music();
    return 0;
}

void tear_down()
{
    destroy_sync_device(Sync);
    Sync = nullptr;
    BASS_StreamFree(MusicStream);
    BASS_Free();
    release_render_context();
    SDL_Quit();
}

void select_headless_video()
{
    // SDL's own setter: the C library of Windows has no setenv.
    SDL_setenv("SDL_VIDEODRIVER", "dummy", 1);
    SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
}
