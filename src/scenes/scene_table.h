// scene_table.h - the eight scenes in the order the "scene" track selects
// them: the routine that draws each, whether the frame loop copies the
// TargetTexture over the window after it, and a short name for the tools.
//
// The frame (app/frame.cpp) draws from this table or from another of the
// same record (the studio's live scene library); the benchmark and the
// studio read it for the names. Adding a scene is one routine in its own
// unit plus one entry here.
#pragma once

struct FrameTime; // state/state.h

enum { SCENE_COUNT = 8 };

struct SceneInfo {
    const char *name;    // short, lower case: "landscape", "fire", ...
    void (*draw)(const FrameTime &time); // the scene routine (scenes/scenes.h)
    bool copies_target;  // the loop stretches the TargetTexture over the window after it
};

extern const SceneInfo SceneTable[SCENE_COUNT];

// The entry of a "scene" track value, or null for an index with no scene.
const SceneInfo *find_scene(int index);
