// state.cpp - definitions of the process-wide state declared in state.h.
#include "state/state.h"

#include <cstdlib>

#include "sync/device.h"

SDL_Surface *D1Surface = nullptr;
SDL_Surface *C1Surface = nullptr;
SDL_Surface *BadtasteSurface = nullptr;
SDL_Surface *FontSurface = nullptr;
SDL_Surface *HouseSurface = nullptr;
SDL_Surface *PaitaSurface = nullptr;
SDL_Surface *TextureloopSurface = nullptr;
SDL_Surface *Smear1Surface = nullptr;
SDL_Surface *Smear2Surface = nullptr;

SDL_Texture *BadtasteTexture = nullptr;
SDL_Texture *FontTexture = nullptr;
SDL_Texture *HouseTexture = nullptr;
SDL_Texture *PaitaTexture = nullptr;
SDL_Texture *Smear1Texture = nullptr;
SDL_Texture *Smear2Texture = nullptr;

SDL_Texture *FrameSequence[FRAME_COUNT] = {};

uint8_t HouseMask[HOUSEMASK_W * HOUSEMASK_H] = {};
SDL_Rect GlyphTable[GLYPH_CELLS] = {};
uint32_t HeightMap[MAP_SIZE * MAP_SIZE] = {};
uint32_t ColourMap[MAP_SIZE * MAP_SIZE] = {};

#define DEMO_TRACK_NAME_OF(ID, FIELD, NAME) NAME,
const char *const TrackNames[TRACK_COUNT] = {DEMO_TRACKS(DEMO_TRACK_NAME_OF)};
#undef DEMO_TRACK_NAME_OF
SyncDevice *Sync = nullptr;
SyncTrack *Tracks[TRACK_COUNT] = {};

uint32_t MusicStream = 0;

float Row = 0.0f;
uint32_t Tick = 0;
TrackValueSet TrackValues = {};

SDL_Surface *ReadbackSurface = nullptr;
int32_t StepCounter = 0;
int PenX = 0;
int PenY = 0;

LandscapeSliceTable LandscapeSlices = {};

uint32_t TargetCopy[CANVAS_W * CANVAS_H] = {};

uint32_t StreakPattern[SMALL_W * SMALL_H] = {};
int32_t StreakPatternH = 0;
bool StreakPatternMade = false;

int32_t GlyphRandomState = GLYPH_RANDOM_START;
char GlyphLine[GLYPH_LINE_LENGTH] = {};
GlyphCopy GlyphCopies[GLYPH_COPIES] = {};

int32_t sequence_start_row = -1;
