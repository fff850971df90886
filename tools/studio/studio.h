// studio.h - the studio: the demo's picture in an ordinary window, with the
// timeline source reloaded while it plays, a transport on the keyboard, and
// a HUD with a timeline strip to click on.
//
// Keys: Space pause/resume; Left/Right one beat (with Shift one bar);
// Page Up/Down the previous/next scene change; Home the start; L loop over
// bars; M mute; H HUD; P snapshot; F11 full screen; Escape quits.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>

#include "hud.h"
#include "reload.h"
#include "transport.h"

struct Studio {
    bool live = false;          // a timeline source is watched
    TimelineWatch watch;
    uint64_t next_poll_ms = 0;  // SDL ticks of the next poll
    LoopRange loop;
    bool hud_on = true;
    bool muted = false;
    bool fullscreen = false;
    bool quit = false;
    bool dragging = false;      // the strip is held with the mouse
    bool seek_pending = false;  // a drag's last position, taken once per frame
    double seek_to = 0.0;
    bool snapshot_asked = false;
    double previous = 0.0;      // the music time of the previous frame
    double fps = 0.0;
    uint64_t last_counter = 0;
    HudFont font;
};

// The timeline is checked this often: 20 times a second.
constexpr uint64_t STUDIO_POLL_MS = 50;

// The window the studio asks start-up for.
constexpr int STUDIO_WINDOW_W = 960;
constexpr int STUDIO_WINDOW_H = 540;

// Takes a watch result: new keys into the tracks, or the messages printed
// once on standard error.
void take_watch_result(Studio *s, WatchResult result);

// One frame: events, the poll when due, the loop's wrap, the picture, the
// HUD, present.
void run_studio_frame(Studio *s);

// The music's length for clamping (negative: unknown) and the strip's length
// (the music's, or the last key of any track when that is unknown; > 0).
double studio_strip_length();
