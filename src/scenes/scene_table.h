// scene_table.h - the scenes in the order the "scene" track selects
// them: the routine that draws each, whether the frame loop copies the
// TargetTexture over the window after it, and a short name for the tools.
//
// The frame (app/frame.cpp) draws from this table or from another of the
// same record (the studio's live scene library); the benchmark and the
// studio read it for the names. Adding a scene is one routine in its own
// unit plus one entry in scene_table.cpp. The table's length is said there
// alone, not here: this header is part of the process-wide state's layout
// (cmake/state_layout.cmake), and a scene added keeps the layout, so the
// studio takes it live.
#pragma once

#include <span>

struct FrameTime; // state/state.h

struct SceneInfo {
    const char *name;    // short, lower case: "landscape", "fire", ...
    void (*draw)(const FrameTime &time); // the scene routine (scenes/scenes.h)
    bool copies_target;  // the loop stretches the TargetTexture over the window after it
};

// The scenes, in "scene" track order.
extern const std::span<const SceneInfo> SceneTable;

// The entry of a "scene" track value, or null for an index with no scene.
const SceneInfo *find_scene(int index);
