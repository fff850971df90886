// state.h - the process-wide state of the demo below the scenes and the
// overlay: the images, the tables derived from them at start-up, the sync
// tracks, the music stream and the per-frame values.
//
// Everything here is created once by start_up() (app/startup.cpp), read by the
// scenes and the overlay every frame, and released by tear_down(). Scenes take
// no arguments: they read these variables directly.
//
// What a scene keeps from one frame to the next lives here too, at the end,
// never in its own unit: whichever copy of the scene code draws a frame finds
// the fire, the smear and the sequence where the last frame left them.
#pragma once

#include <SDL.h>
#include <cstdint>

#include "base/facts.h"
#include "gfx/render_context.h"

struct SyncDevice;
struct SyncTrack;

// ---- Render context: gfx/render_context.h ---------------------------------

// ---- Images ---------------------------------------------------------------

enum { FRAME_COUNT = ANIMATION_FRAMES };

extern SDL_Surface *D1Surface;          // "d1.bmp", height source
extern SDL_Surface *C1Surface;          // "c1.bmp", colour source
extern SDL_Surface *BadtasteSurface;    // "badtaste.bmp", key white
extern SDL_Surface *FontSurface;        // "font.bmp", key black
extern SDL_Surface *HouseSurface;       // "house.bmp", key white (after mask)
extern SDL_Surface *PaitaSurface;       // "paita.bmp", key yellow
extern SDL_Surface *TextureloopSurface; // "textureloop.bmp", read by the sphere
extern SDL_Surface *Smear1Surface;      // "smear1.bmp", key black
extern SDL_Surface *Smear2Surface;      // "smear2.bmp", key black

extern SDL_Texture *BadtasteTexture;
extern SDL_Texture *FontTexture;
extern SDL_Texture *HouseTexture;
extern SDL_Texture *PaitaTexture;
extern SDL_Texture *Smear1Texture;
extern SDL_Texture *Smear2Texture;

extern SDL_Texture *FrameSequence[FRAME_COUNT]; // "0001.bmp" .. "0060.bmp"

// ---- Derived tables (built once at start-up) ------------------------------

extern uint8_t HouseMask[HOUSEMASK_W * HOUSEMASK_H]; // 0, 0xC0 or 0xE0
extern SDL_Rect GlyphTable[GLYPH_CELLS];             // cell of code n is n - 33
extern uint32_t HeightMap[MAP_SIZE * MAP_SIZE];      // 0..255, index y*1024 + x
extern uint32_t ColourMap[MAP_SIZE * MAP_SIZE];      // raw "c1.bmp" pixels

// ---- Sync tracks ----------------------------------------------------------

// Track handles in the order start-up opens them (the list is in base/facts.h).
#define DEMO_TRACK_ID_OF(ID, FIELD, NAME) TRACK_##ID,
enum TrackId { DEMO_TRACKS(DEMO_TRACK_ID_OF) TRACK_COUNT };
#undef DEMO_TRACK_ID_OF

extern const char *const TrackNames[TRACK_COUNT]; // "scene", "clear.r", ...
extern SyncDevice *Sync;                          // base name "sync"
extern SyncTrack *Tracks[TRACK_COUNT];

// ---- Music ----------------------------------------------------------------

extern uint32_t MusicStream; // stream handle of MUSIC_FILE (0: none)

// ---- Per-frame values (written by the frame loop only) --------------------

// Values of the value tracks (every track but "scene") at this frame's Row.
#define DEMO_TRACK_FIELD_OF(ID, FIELD, NAME) float FIELD;
struct TrackValueSet {
    DEMO_VALUE_TRACKS(DEMO_TRACK_FIELD_OF)
};
#undef DEMO_TRACK_FIELD_OF

extern float Row;                  // music seconds * 20
extern uint32_t Tick;              // low 32 bits of trunc(Row * TICKS_PER_ROW)
extern TrackValueSet TrackValues;

// The frame's Row and Tick as the frame code hands them down (to the scene
// dispatch, each scene routine and the tools' displays), rather than have
// them read back from Row and Tick.
struct FrameTime {
    float row;     // Row
    uint32_t tick; // Tick
};

// ---- State shared between scenes -----------------------------------------

// 1920x1080 ARGB8888 surface for render-target read-backs; made by the first
// of the sprite and fire scenes to need it, then kept for the whole run.
extern SDL_Surface *ReadbackSurface;
extern int32_t StepCounter; // +1 per frame of the sphere and the fire scenes
extern int PenX, PenY;      // text pen in window pixels (overlay, glyph field)

// ---- State each scene keeps between frames -------------------------------

// Scene 0: the slice distances of the landscape's forward walk and the eye
// factor cos(sin(z * 0.01)) of each; the same for every camera, filled on
// first use (prepare_landscape(), at start-up).
enum { LANDSCAPE_MAX_SLICES = 65536 };
struct LandscapeSliceTable {
    bool ready;
    float z[LANDSCAPE_MAX_SLICES];           // terrain cells
    double eye_factor[LANDSCAPE_MAX_SLICES];
};
extern LandscapeSliceTable LandscapeSlices;

// Scenes 1, 4 and 5: the TargetTexture's pixels as last read back or computed,
// 0xAARRGGBB, CANVAS_W per row (scenes/render_target.h).
extern uint32_t TargetCopy[CANVAS_W * CANVAS_H];

// Scene 3: the last 160x100 streak pattern and the H it was made for; made
// again only for another H.
extern uint32_t StreakPattern[SMALL_W * SMALL_H];
extern int32_t StreakPatternH;
extern bool StreakPatternMade;

// Scene 6: the glyph field's generator (5323 at start, never reset), the
// current line of character codes and the frame's planned font copies.
enum {
    GLYPH_LINE_LENGTH = 39,
    GLYPH_ROWS = 30,
    GLYPH_COPIES = GLYPH_ROWS * GLYPH_LINE_LENGTH,
};
enum : int32_t { GLYPH_RANDOM_START = 5323 };
struct GlyphCopy {
    SDL_Rect src, dst;
    uint8_t r, g, b; // colour modulation of the font texture
};
extern int32_t GlyphRandomState;
extern char GlyphLine[GLYPH_LINE_LENGTH];
extern GlyphCopy GlyphCopies[GLYPH_COPIES];

// Scene 7: Row, truncated, at which the current pass through the images
// began; -1 until the scene first runs, never reset.
extern int32_t sequence_start_row;
