// scene_passes.h - the scenes' software pixel passes on their own, for the
// benchmark: each runs one pass of a scene's CPU work as its routine does,
// on plain buffers, from the values given. They read the shared images and
// tables but write no shared state (no track values, Canvas or target).
#pragma once

#include <cstdint>

#include "state/state.h"

struct ScenePassInput {
    const uint32_t *snapshot;  // a TARGET_W x TARGET_H picture read as the target's snapshot
    TrackValueSet values;      // the camera and colour values of the frame
    uint32_t tick;             // the frame's Tick
    int32_t frame;             // counts calls, for passes whose input changes every frame
};

struct ScenePass {
    int scene;         // its scene's index in SceneTable
    const char *what;  // which pass: "pixels", "fire + house lines", ...
    // Writes TARGET_W x TARGET_H (the Canvas size) pixels, rows of TARGET_W.
    void (*run)(const ScenePassInput &in, uint32_t *out);
};

enum { SCENE_PASS_COUNT = 7 };
extern const ScenePass ScenePasses[SCENE_PASS_COUNT];
