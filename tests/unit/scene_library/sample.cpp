// sample.cpp - a one-scene library for the loader's tests, built four ways:
//
//   SAMPLE_A             paints SAMPLE_A_COLOUR
//   SAMPLE_B             paints SAMPLE_B_COLOUR
//   SAMPLE_OTHER_LAYOUT  paints like A, but says another state layout
//   SAMPLE_NO_TABLE      has the layout number and no scene table
//   SAMPLE_KEEPS_STATE   paints like A and counts in a variable of its own
//                        (for the check that the scene library keeps none)
//
// Its scene writes the first Canvas pixel and counts in StepCounter: both
// are the loading program's state, so the test sees the picture follow the
// library and the count go on across swaps.
#include "state/state.h"
#include "studio/scene_library.h"
#include "studio/state_layout.h"

#include "sample.h"

#if SAMPLE_B
constexpr uint32_t COLOUR = SAMPLE_B_COLOUR;
#else
constexpr uint32_t COLOUR = SAMPLE_A_COLOUR;
#endif

#if SAMPLE_KEEPS_STATE
static int32_t FramesOfItsOwn; // lost on every swap: what the structure test catches
#endif

static void draw_sample()
{
    Canvas[0] = COLOUR;
    StepCounter += 1;
#if SAMPLE_KEEPS_STATE
    FramesOfItsOwn += 1;
#endif
}

static const SceneInfo SampleScenes[1] = {{"sample", draw_sample, false}};

extern "C" {
SCENE_LIBRARY_EXPORT extern const uint32_t scene_library_layout;
#if SAMPLE_OTHER_LAYOUT
const uint32_t scene_library_layout = STATE_LAYOUT + 1;
#else
const uint32_t scene_library_layout = STATE_LAYOUT;
#endif
#if !SAMPLE_NO_TABLE
SCENE_LIBRARY_EXPORT extern const SceneLibraryTable scene_library_table;
const SceneLibraryTable scene_library_table = {1, SampleScenes};
#endif
}
