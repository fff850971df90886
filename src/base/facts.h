// facts.h - the facts that the demo, its data generators, the timeline
// compiler and the tests must agree on, written down once.
//
// What lives here:
// - the sync tracks, in the order the demo opens them (DEMO_TRACKS);
// - the image files, with the smallest size the demo reads of each
//   (DEMO_STILL_IMAGES, plus the numbered animation frames);
// - the sizes of the canvas, the small buffer, the terrain maps, the house
//   mask and the window, and the window rectangles that the scenes and the
//   pictures drawn for them share;
// - the file names the demo opens (the music, the track files' base name);
// - the layout of the glyph cells in "font.bmp" and the luma rule that turns
//   a "d1.bmp" pixel into a terrain height;
// - the music's timing: rows per second, per beat and per bar, and the Tick.
//
// CMakeLists.txt reads DEMO_TRACKS, DEMO_STILL_IMAGES and ANIMATION_FRAMES
// from this file to know which data files the generators write, so keep each
// list entry on a line of its own in the form shown.
//
// To add a sync track: add one line to DEMO_VALUE_TRACKS below (in the position where
// the demo should open it) and a "track NAME" section to data/timeline.txt.
// Its value is then TrackValues.FIELD every frame. A track only one scene
// reads needs no line here: the scene declares it (scenes/scene_track.h).
#pragma once

#include <cstdint>

#include "base/convert.h"

// ---- Sync tracks -------------------------------------------------------------
//
// X(ID, FIELD, "name"): TRACK_ID in the TrackId enum, TrackValues.FIELD in
// the per-frame values, "name" the track's name (its file is sync_NAME.track).
// The scene selector comes first, then the value tracks, each read once a
// frame into TrackValues.
#define DEMO_TRACKS(X)                     \
    X(SCENE, scene, "scene")               \
    DEMO_VALUE_TRACKS(X)

#define DEMO_VALUE_TRACKS(X)               \
    X(CLEAR_R, clear_r, "clear.r")         \
    X(CLEAR_G, clear_g, "clear.g")         \
    X(CLEAR_B, clear_b, "clear.b")         \
    X(CLEAR_A, clear_a, "clear.a")         \
    X(CAM_ROT, cam_rot, "cam.rot")         \
    X(CAM_DIST, cam_dist, "cam.dist")      \
    X(CAM_X, cam_x, "cam.x")               \
    X(CAM_Y, cam_y, "cam.y")               \
    X(CAM_H, cam_h, "cam.h")               \
    X(CAM_HORI, cam_hori, "cam.hori")      \
    X(CAM_SCALEH, cam_scaleh, "cam.scaleh")

#define DEMO_TRACK_COUNT_ONE(ID, FIELD, NAME) +1
inline constexpr int DEMO_TRACK_COUNT = 0 DEMO_TRACKS(DEMO_TRACK_COUNT_ONE);
#undef DEMO_TRACK_COUNT_ONE

// The sync device's base name: track NAME is read from "sync_NAME.track"
// (with NAME escaped as the device escapes it).
inline constexpr const char *SYNC_BASE_NAME = "sync";

#define DEMO_TRACK_NAME_OF(ID, FIELD, NAME) NAME,
inline constexpr const char *DEMO_TRACK_NAMES[DEMO_TRACK_COUNT] = {DEMO_TRACKS(DEMO_TRACK_NAME_OF)};
#undef DEMO_TRACK_NAME_OF

// ---- Images ------------------------------------------------------------------
//
// X(Name, "file", MIN_W, MIN_H, RAW): the still images in the order start-up
// loads them into NameSurface, with the smallest size the tables and scenes
// read (1 x 1: only drawn as a texture, any size works). RAW: the pixels are
// read in software, so the image becomes 24-bit colour at load and a file of
// any depth reads as its colours.
#define DEMO_STILL_IMAGES(X)                               \
    X(D1, "d1.bmp", 1024, 1024, true)                      \
    X(C1, "c1.bmp", 1024, 1024, true)                      \
    X(Badtaste, "badtaste.bmp", 1, 1, false)               \
    X(Font, "font.bmp", 939, 732, false)                   \
    X(House, "house.bmp", 160, 101, true)                  \
    X(Paita, "paita.bmp", 1, 1, false)                     \
    X(Textureloop, "textureloop.bmp", 128, 128, true)      \
    X(Smear1, "smear1.bmp", 320, 200, true)                \
    X(Smear2, "smear2.bmp", 320, 200, true)

struct ImageFact {
    const char *file;
    int min_w, min_h;
    bool read_raw; // pixels read in software: converted to 24-bit colour at load
};

#define DEMO_IMAGE_FACT_OF(NAME, FILE, W, H, RAW) {FILE, W, H, RAW},
inline constexpr ImageFact STILL_IMAGES[] = {DEMO_STILL_IMAGES(DEMO_IMAGE_FACT_OF)};
#undef DEMO_IMAGE_FACT_OF
inline constexpr int STILL_IMAGE_COUNT = sizeof STILL_IMAGES / sizeof STILL_IMAGES[0];

// Index of a still image in STILL_IMAGES: IMAGE_House and so on.
#define DEMO_IMAGE_ID_OF(NAME, FILE, W, H, RAW) IMAGE_##NAME,
enum StillImageId { DEMO_STILL_IMAGES(DEMO_IMAGE_ID_OF) };
#undef DEMO_IMAGE_ID_OF

// The animation: "0001.bmp" .. "0060.bmp", any size (stretched as textures).
inline constexpr int ANIMATION_FRAMES = 60;
inline constexpr const char *ANIMATION_FRAME_NAME = "%04d.bmp"; // of the number 1..60

// ---- Sizes -------------------------------------------------------------------

inline constexpr int WINDOW_W = 1920, WINDOW_H = 1080; // the picture, in window pixels
inline constexpr int CANVAS_W = 320, CANVAS_H = 200;   // Canvas, TargetTexture, smears
inline constexpr int SMALL_W = 160, SMALL_H = 100;     // ByteBuffer and SmallTexture
inline constexpr int MAP_SIZE = 1024;                  // terrain maps; wrap every 1024 cells
inline constexpr int MAP_MASK = MAP_SIZE - 1;
inline constexpr int TEXTURELOOP_SIZE = 128;           // the sphere wraps "textureloop.bmp" every 128 texels

// The HouseMask: "house.bmp" pixels doubled across, one mask row per picture
// row (and the one below it).
inline constexpr int HOUSEMASK_W = 320, HOUSEMASK_H = 100;

// Rectangles of the 1920x1080 window that a scene draws into and the picture
// drawn for it is laid out against.
struct WindowRect {
    int x, y, w, h;
};
// Where the streak pattern shows, under the window of "paita.bmp".
inline constexpr WindowRect STREAK_WINDOW_RECT = {518, 360, 640, 270};
// Where "house.bmp" is stretched to over the house scene.
inline constexpr WindowRect HOUSE_PICTURE_RECT = {45, 1, 1920, 700};

// ---- Files -------------------------------------------------------------------

// The music, opened by this bare name in the working directory.
inline constexpr const char *MUSIC_FILE = "music.ogg";

// ---- Glyph cells of "font.bmp" ----------------------------------------------
//
// 15 rows of 16 cells; the cell of character code c is index c - 33 ("!" is
// 0). Cells are 25 pixels wide in rows 0..4, 21 below, all 32 high; column q
// starts at 61q - 1 (0 for the first), row r at 50r.
inline constexpr int FONT_CELL_ROWS = 15, FONT_CELL_COLUMNS = 16;
inline constexpr int GLYPH_CELLS = FONT_CELL_ROWS * FONT_CELL_COLUMNS;
inline constexpr int GLYPH_FIRST_CODE = 33;

struct CellRect {
    int x, y, w, h;
};

constexpr CellRect glyph_cell_rect(int index)
{
    const int r = index / FONT_CELL_COLUMNS, q = index % FONT_CELL_COLUMNS;
    return CellRect{q > 0 ? 61 * q - 1 : 0, 50 * r, r <= 4 ? 25 : 21, 32};
}

// ---- Terrain height from a "d1.bmp" pixel ------------------------------------
//
// Rec. 709 luma summed in this exact order in double precision, truncated,
// low 8 bits kept: white (255, 255, 255) gives 254.
inline uint32_t height_from_rgb(uint32_t r, uint32_t g, uint32_t b)
{
    const double dr = r, dg = g, db = b;
    return static_cast<uint32_t>(to_int32((dr * 0.2126 + dg * 0.7152) + db * 0.0722)) & 0xFF;
}

// ---- Music timing ------------------------------------------------------------
//
// 150 beats a minute, 8 rows a beat, 4 beats a bar: 20 rows a second, and a
// bar is 32 rows (1.6 s).
inline constexpr int ROWS_PER_SECOND = 20;
inline constexpr int ROWS_PER_BEAT = 8;
inline constexpr int BEATS_PER_BAR = 4;
inline constexpr int ROWS_PER_BAR = ROWS_PER_BEAT * BEATS_PER_BAR;

// Tick, the time base of the waves in the house reflection and the glyph
// field: 80 a row, 1600 a second of music. Row * 80 is exact in double
// precision (a float times 80 needs at most 31 significant bits).
inline constexpr int TICKS_PER_ROW = 80;
