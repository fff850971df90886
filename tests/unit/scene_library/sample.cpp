// sample.cpp - a one-scene library for the loader's tests, built four ways:
//
//   SAMPLE_A             paints SAMPLE_A_COLOUR
//   SAMPLE_B             paints SAMPLE_B_COLOUR
//   SAMPLE_OTHER_LAYOUT  paints like A, but says another state layout
//   SAMPLE_NO_TABLE      has the layout number and no scene table
//   SAMPLE_KEEPS_STATE   paints like A and counts in a variable of its own
//                        (for the check that the scene library keeps none)
//   SAMPLE_NULL_WRITE    paints like B, counts, sets the renderer's target,
//                        clip and colour (when there is a renderer), then
//                        writes through a null pointer
//   SAMPLE_DIVIDE_BY_ZERO   paints like B, counts, divides by zero
//   SAMPLE_ENDLESS_LOOP  paints like B, counts, never returns
//   SAMPLE_SLEEPY_LOOP   paints like B, counts, sleeps 5000 times 1 ms (its
//                        time is spent outside its own code)
//   SAMPLE_ASSERTION     paints like B, counts, fails an assertion
//   SAMPLE_SLOW_CALLS    paints like B, counts, and returns after about
//                        half a second spent in libc, adding 1000 to the
//                        count when every call's results came back right
//
// The faulty ones export the line of their fault as sample_fault_line.
//
// Its scene writes the first Canvas pixel, the frame's Tick into the second,
// and counts in StepCounter: all are the loading program's state, so the
// test sees the picture follow the library and the count go on across swaps.
#if SAMPLE_ASSERTION
#undef NDEBUG
#endif
#include <cassert>
#include <cerrno>
#include <cstdlib>

#include <unistd.h>

#include "state/state.h"
#include "studio/live/scene_library.h"
#include "studio/state_layout.h"

#include "sample.h"

#define SAMPLE_FAULTS \
    (SAMPLE_NULL_WRITE || SAMPLE_DIVIDE_BY_ZERO || SAMPLE_ENDLESS_LOOP || SAMPLE_SLEEPY_LOOP || SAMPLE_ASSERTION || \
     SAMPLE_SLOW_CALLS)

#if SAMPLE_B || SAMPLE_FAULTS
constexpr uint32_t COLOUR = SAMPLE_B_COLOUR;
#else
constexpr uint32_t COLOUR = SAMPLE_A_COLOUR;
#endif

#if SAMPLE_KEEPS_STATE
static int32_t FramesOfItsOwn; // lost on every swap: what the structure test catches
#endif

#if SAMPLE_NULL_WRITE
static void fault()
{
    if (renderer) {
        SDL_SetRenderTarget(renderer, TargetTexture);
        const SDL_Rect clip = {1, 2, 3, 4};
        SDL_RenderSetClipRect(renderer, &clip);
        SDL_SetRenderDrawColor(renderer, 1, 2, 3, 4);
    }
    volatile int *volatile target = nullptr;
    *target = 1;
}
constexpr int FAULT_LINE = __LINE__ - 2;
#elif SAMPLE_DIVIDE_BY_ZERO
static void fault()
{
    volatile int32_t zero = 0;
    StepCounter = StepCounter / zero;
}
constexpr int FAULT_LINE = __LINE__ - 2;
#elif SAMPLE_ENDLESS_LOOP
static void fault()
{
    for (volatile uint32_t spin = 0;;) { spin = spin + 1; }
}
constexpr int FAULT_LINE = __LINE__ - 2;
#elif SAMPLE_SLEEPY_LOOP
static void fault()
{
    for (int i = 0; i < 5000; i++) usleep(1000);
}
constexpr int FAULT_LINE = __LINE__ - 2;
#elif SAMPLE_SLOW_CALLS
static void fault()
{
    bool right = true;
    for (int i = 0; i < 200; i++) {
        errno = 0;
        const int slept = usleep(2500); // a signal may end it early
        right = right && (slept == 0 ? errno == 0 : slept == -1 && errno == EINTR);
        right = right && std::strtod("0.5", nullptr) == 0.5 && std::strtol("77", nullptr, 10) == 77;
    }
    if (right)
        StepCounter += 1000;
}
constexpr int FAULT_LINE = __LINE__ - 2;
#elif SAMPLE_ASSERTION
static void fault()
{
    assert(StepCounter < 0);
}
constexpr int FAULT_LINE = __LINE__ - 2;
#endif

static void draw_sample(const FrameTime &time)
{
    Canvas[0] = COLOUR;
    Canvas[1] = time.tick;
    StepCounter += 1;
#if SAMPLE_KEEPS_STATE
    FramesOfItsOwn += 1;
#endif
#if SAMPLE_FAULTS
    fault();
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
#if SAMPLE_FAULTS
SCENE_LIBRARY_EXPORT extern const int sample_fault_line;
const int sample_fault_line = FAULT_LINE;
#endif
#if !SAMPLE_NO_TABLE
SCENE_LIBRARY_EXPORT extern const SceneLibraryTable scene_library_table;
const SceneLibraryTable scene_library_table = {1, SampleScenes, nullptr};
#endif
}
