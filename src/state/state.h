// state.h - the process-wide state of the demo below the scenes and the
// overlay: the images, the tables derived from them at start-up, the sync
// tracks, the music stream and the per-frame values.
//
// Everything here is created once by start_up() (app/startup.cpp), read by the
// scenes and the overlay every frame, and released by tear_down(). Scenes take
// no arguments: they read these variables directly.
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

// ---- State shared between scenes -----------------------------------------

// 1920x1080 ARGB8888 surface for render-target read-backs; made by the first
// of the sprite and fire scenes to need it, then kept for the whole run.
extern SDL_Surface *ReadbackSurface;
extern int32_t StepCounter; // +1 per frame of the sphere and the fire scenes
extern int PenX, PenY;      // text pen in window pixels (overlay, glyph field)
