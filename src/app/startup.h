// startup.h - bringing the demo up and down: SDL, the window, the renderer
// and its textures, every image and the tables derived from them, the sync
// tracks and the music. Shared by the demo, the offline renderer and the
// benchmark, so all three run exactly the same start-up code.
#pragma once

#include <SDL.h>

struct SyncDevice;

// How start-up opens the window and fills the tracks. The demo's own values
// are DemoStartup; other programs that show the picture (the studio) pass
// their own.
struct StartupOptions {
    const char *title;       // the window's title
    int window_w, window_h;  // the window's size when it is created
    Uint32 window_flags;     // SDL_CreateWindow flags
    bool fullscreen;         // switch the window to SDL_WINDOW_FULLSCREEN
    bool read_track_files;   // false: every track opens empty, and the
                             // program fills them itself (set_track_keys)
    // Called with the new device right before its tracks are opened, and
    // right after (null: nothing): where a following demo opens the
    // device's link, so that each track is asked for instead of read.
    void (*before_tracks)(SyncDevice *d) = nullptr;
    void (*after_tracks)(SyncDevice *d) = nullptr;
};

// "lumikenno 2019 demo", 1920x1080, shown, full screen, tracks from the .track files.
extern const StartupOptions DemoStartup;

// The whole start-up with the given window and track source; everything else
// is exactly the demo's. Returns as start_up() does.
int start_up_with(const StartupOptions &options);

// Runs the whole start-up. Returns 0 when the first frame can be drawn, 1
// after a failure, which has then already been reported on standard output
// and cleaned up (the caller just exits with that status).
int start_up();

// The CanvasTexture, SmallTexture and TargetTexture of the shared renderer,
// in that order; failures are not checked (a missing texture costs pictures).
void create_canvas_textures();

// The teardown after the frame loop: the sync device, the music, the render
// context, then SDL itself.
void tear_down();

// For programs that must run without a display (offline renderer, headless
// benchmark): SDL's dummy video driver, the software renderer, no vsync and
// silent audio. Call before start_up().
void select_headless_video();
