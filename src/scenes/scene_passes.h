// scene_passes.h - the pixel work of each scene as one function of its frame
// values, called by the scene's own routine and by the benchmark alike.
//
// A scene routine (scenes.h) gathers the process-wide state into a
// SceneFrame, talks to SDL in its required order and, at the one point where
// its software work belongs, calls its pixel function. The function reads
// only the SceneFrame and writes only the SceneOutput it is given (plain
// buffers, no SDL), so the benchmark can run the very same work on buffers
// of its own. The fire's draws from the C library's rand are the one thing
// outside both.
//
// Every pixel function returns the colour of the last point it drew as
// 0xFFRRGGBB, 0 for none, or 0 where the scene leaves no draw colour.
#pragma once

#include <SDL.h>
#include <cstdint>

#include "scenes/render_target.h"
#include "state/state.h"

// What a scene's pixel work reads.
struct SceneFrame {
    TrackValueSet values;      // the frame's track values (TrackValues)
    uint32_t tick;             // the frame's Tick (FrameTime::tick)
    int32_t step;              // StepCounter, after the scene's own step of this frame
    const uint32_t *snapshot;  // the TargetTexture as read back, for scenes 1 and 5; else null
    int snapshot_stride;       // pixels per row of the snapshot
    // The tables and images made at start-up.
    const uint32_t *heights;   // HeightMap, 1024x1024
    const uint32_t *colours;   // ColourMap, 1024x1024
    const uint8_t *house_mask; // HouseMask, 320x100
    const SDL_Rect *glyph_table; // GlyphTable, 240 cells of "font.bmp"
    RawImage house, smear1, smear2, textureloop;
};

// Where it writes.
struct SceneOutput {
    // TARGET_W x TARGET_H pixels, TARGET_W per row: the Canvas for scenes 0
    // and 2, TargetCopy for 1, 4 and 5; scene 3 writes its 160x100 pattern,
    // 160 per row.
    uint32_t *pixels;
    // Scene 6: its generator (carried on), its line and the frame's copies.
    int32_t *glyph_random;
    char *glyph_line;
    GlyphCopy *glyph_copies;
};

using ScenePixelFunction = uint32_t(const SceneFrame &frame, const SceneOutput &out);

// The frame at `time` with the rest as the process-wide state has it now:
// TrackValues, StepCounter, the tables and the images; no snapshot.
SceneFrame current_scene_frame(const FrameTime &time);

// The output into the process-wide state: the given pixels and the glyph
// field's GlyphRandomState, GlyphLine and GlyphCopies.
SceneOutput scene_state_output(uint32_t *pixels);

// The pixel functions, one per scene that has software work (the image
// sequence has none). The fire has two entries, one per overlay worked in
// software, each with the "cam.hori" value that selects it.
struct ScenePass {
    int scene;                    // its scene's index in SceneTable
    const char *what;             // which work: "pixels", "fire + house lines", ...
    ScenePixelFunction *run;
    float TrackValueSet::*field;  // a value this pass needs (null: none) ...
    float value;                  // ... and what it holds
};

enum { SCENE_PASS_COUNT = 8 };
extern const ScenePass ScenePasses[SCENE_PASS_COUNT];
