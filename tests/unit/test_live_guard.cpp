// Tests of the guard around the live scene library's calls: the faulty
// sample libraries (tests/unit/scene_library/sample.cpp) crash, divide by
// zero, fail an assertion or never return; the studio's drawing goes on with
// the last good library (or its own scenes), the error box names the scene,
// the fault and the source line, the faulty library is not called again
// until the live code swaps in another, and the renderer's state is put back.
// A fault outside the library still ends the program.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "scene_library/sample.h"
#include "scene_window.h"
#include "state/state.h"
#include "studio/live/guarded_scenes.h"
#include "studio/live/live_code.h"
#include "studio/live/live_guard.h"
#include "studio/state_layout.h"
#include "studio/studio_args.h"

namespace {

// Loads a fresh copy of a sample library as the live code does: the copy is
// removed once open, so its debug information is found through the mapping.
SceneLibrary load(const char *variant)
{
    char dir[] = "/tmp/live-guard-test-XXXXXX";
    SceneLibrary lib;
    std::string error;
    if (!mkdtemp(dir))
        return lib;
    const std::string copy = std::string(dir) + "/scenes.so";
    if (copy_library_file(std::string(TEST_BINARY_DIR) + "/test_scenes/test_scenes_" + variant + ".so", copy,
                          &error)) {
        EXPECT_TRUE(open_scene_library(copy, STATE_LAYOUT, &lib, &error)) << error;
    }
    unlink(copy.c_str());
    rmdir(dir);
    return lib;
}

int fault_line(const SceneLibrary &lib)
{
    const auto *line = static_cast<const int *>(dlsym(lib.handle, "sample_fault_line"));
    return line ? *line : -1;
}

// The live code as the guard sees it: a library swapped in, the old one
// closed at once.
void swap_in(LiveCode *lc, const SceneLibrary &next)
{
    close_scene_library(&lc->current);
    lc->current = next;
    lc->swaps++;
}

// A window, the sample's canvas and count, and the guard with a small bound.
struct Guarded {
    SceneWindow window;
    uint32_t pixels[CANVAS_W * CANVAS_H] = {};
    uint32_t *saved_canvas = Canvas;
    int32_t saved_counter = StepCounter;
    SceneGuard guard;
    LiveCode lc;
    Guarded()
    {
        Canvas = pixels;
        StepCounter = 0;
        std::string error;
        EXPECT_TRUE(start_scene_guard(&guard, 0.1, &error)) << error;
        lc.build.source_dir = "/nowhere";
    }
    ~Guarded()
    {
        stop_scene_guard(&guard);
        close_scene_library(&lc.current);
        Canvas = saved_canvas;
        StepCounter = saved_counter;
    }
    // The frame's Tick, which the sample writes into the second pixel.
    static constexpr uint32_t TICK = 1234567u;
    GuardedDraw draw()
    {
        Canvas[0] = Canvas[1] = 0;
        return draw_guarded_scene(&guard, 0, FrameTime{1.5f, TICK});
    }
};

TEST(LiveGuard, FaultsLoseTheFrameAndTheLastGoodLibraryDraws)
{
    Guarded t;
    ASSERT_TRUE(t.window.ok);
    struct Case {
        const char *variant, *words;
    } cases[] = {
        {"null_write", "crashed: SIGSEGV, a bad memory access at 0x0"},
        {"divide_by_zero", "crashed: SIGFPE, an integer division by zero"},
        {"endless_loop", "did not return within 0.1 s and was stopped"},
        // Stopped on its way back from libc, where it spends its time.
        {"sleepy_loop", "did not return within 0.1 s and was stopped"},
        {"assertion", "crashed: SIGABRT, an abort"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.variant);
        // The faulty library alone: its frame is lost, then the studio's
        // own scenes draw.
        SceneLibrary faulty = load(c.variant);
        ASSERT_NE(faulty.handle, nullptr);
        const int line = fault_line(faulty);
        swap_in(&t.lc, faulty);
        follow_live_code(&t.guard, t.lc);
        EXPECT_EQ(t.guard.errors, "");
        EXPECT_EQ(t.draw(), GUARDED_FAILED);
        const std::string &e = t.guard.errors;
        EXPECT_EQ(e.rfind(std::string("scene \"sample\" ") + c.words, 0), 0u) << e;
        EXPECT_NE(e.find("sample.cpp:" + std::to_string(line) + " in "), std::string::npos) << e;
        EXPECT_NE(e.find("the studio's own scenes draw\n"), std::string::npos) << e;
        EXPECT_EQ(t.draw(), GUARDED_NONE);
        EXPECT_EQ(guarded_table(t.guard), nullptr);

        // A good library, then the faulty one again: the good one draws on
        // after the fault, though the live code has closed it, and the
        // faulty one is not called again.
        swap_in(&t.lc, load("a"));
        follow_live_code(&t.guard, t.lc);
        EXPECT_EQ(t.guard.errors, "") << "a new library clears the box";
        EXPECT_EQ(t.draw(), GUARDED_DREW);
        EXPECT_EQ(t.pixels[0], SAMPLE_A_COLOUR);
        EXPECT_EQ(t.pixels[1], Guarded::TICK) << "the guarded call hands the scene its frame's time";
        swap_in(&t.lc, load(c.variant));
        follow_live_code(&t.guard, t.lc);
        SDL_Texture *target = SDL_GetRenderTarget(renderer);
        SDL_SetRenderDrawColor(renderer, 9, 8, 7, 6);
        EXPECT_EQ(t.draw(), GUARDED_FAILED);
        EXPECT_NE(t.guard.errors.find("the previous one draws\n"), std::string::npos) << t.guard.errors;
        // What the scene set up before its fault is undone.
        EXPECT_EQ(SDL_GetRenderTarget(renderer), target);
        EXPECT_EQ(SDL_RenderIsClipEnabled(renderer), SDL_FALSE);
        Uint8 r, g, b, a;
        SDL_GetRenderDrawColor(renderer, &r, &g, &b, &a);
        EXPECT_EQ((r << 24) | (g << 16) | (b << 8) | a, 0x09080706);
        const int failures = t.guard.failures;
        for (int frame = 0; frame < 3; frame++) {
            const int32_t before = StepCounter;
            EXPECT_EQ(t.draw(), GUARDED_DREW);
            EXPECT_EQ(t.pixels[0], SAMPLE_A_COLOUR);
            EXPECT_EQ(StepCounter, before + 1);
        }
        EXPECT_EQ(t.guard.failures, failures) << "the set-aside library was called again";

        // The next save's library is taken.
        swap_in(&t.lc, load("b"));
        follow_live_code(&t.guard, t.lc);
        EXPECT_EQ(t.guard.errors, "");
        EXPECT_EQ(t.draw(), GUARDED_DREW);
        EXPECT_EQ(t.pixels[0], SAMPLE_B_COLOUR);
        // None loaded (the live code stopped): nothing is kept.
        swap_in(&t.lc, SceneLibrary{});
        follow_live_code(&t.guard, t.lc);
        EXPECT_EQ(t.draw(), GUARDED_NONE);
    }
}

// A quit asked while a scene loops (SDL_QUIT from a window close, SIGINT
// or SIGTERM; Escape) stops it long before the bound.
TEST(LiveGuard, AQuitStopsALoopingScene)
{
    Guarded t;
    ASSERT_TRUE(t.window.ok);
    set_guard_timeout(60.0); // reached only when the quit is missed
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_Event escape{};
    escape.type = SDL_KEYDOWN;
    escape.key.keysym.sym = SDLK_ESCAPE;
    const std::pair<SDL_Event *, const char *> cases[] = {{&quit, "endless_loop"}, {&escape, "sleepy_loop"}};
    for (const auto &[e, variant] : cases) {
        SCOPED_TRACE(variant);
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        swap_in(&t.lc, load(variant));
        follow_live_code(&t.guard, t.lc);
        ASSERT_EQ(SDL_PushEvent(e), 1);
        EXPECT_EQ(t.draw(), GUARDED_FAILED);
        EXPECT_EQ(t.guard.errors.rfind("scene \"sample\" was stopped after ", 0), 0u) << t.guard.errors;
        EXPECT_NE(t.guard.errors.find(" s to quit, at "), std::string::npos) << t.guard.errors;
        EXPECT_TRUE(SDL_HasEvent(e->type)) << "the event stays for the frame loop";
    }
    // Escape that only cancels a typed value or a block asks no quit: the
    // loop runs to the bound.
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    set_guard_timeout(0.5);
    t.guard.escape_quits = false;
    swap_in(&t.lc, load("endless_loop"));
    follow_live_code(&t.guard, t.lc);
    ASSERT_EQ(SDL_PushEvent(&escape), 1);
    EXPECT_EQ(t.draw(), GUARDED_FAILED);
    EXPECT_EQ(t.guard.errors.rfind("scene \"sample\" did not return within 0.5 s", 0), 0u) << t.guard.errors;
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
}

// A scene slower than the quarter second after which the quit is checked,
// spending its time in libc: every call the guard caught on its way back
// returns its results (and errno) to the scene as they were.
TEST(LiveGuard, ASlowSceneGoesOnAfterTheChecks)
{
    Guarded t;
    ASSERT_TRUE(t.window.ok);
    set_guard_timeout(60.0);
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    swap_in(&t.lc, load("slow_calls"));
    follow_live_code(&t.guard, t.lc);
    const uint64_t checks = guard_return_checks();
    const int32_t count = StepCounter;
    EXPECT_EQ(t.draw(), GUARDED_DREW) << t.guard.errors;
    EXPECT_EQ(StepCounter, count + 1001);
    EXPECT_GT(guard_return_checks(), checks);
}

void write_null()
{
    volatile int *volatile target = nullptr;
    *target = 1;
}
void call_abort() { std::abort(); }

// Faults of other code than the library's end the program as before: the
// handler only catches what the library's own instructions did.
TEST(LiveGuardDeathTest, FaultsElsewhereAreNotCaught)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto armed = [](void (*fn)()) {
        std::string error;
        if (!install_live_guard(&error))
            _exit(3);
        SceneLibrary lib = load("a");
        LibraryCode code;
        if (!find_library_code(lib.handle, &code, &error))
            _exit(4);
        GuardOutcome o;
        guarded_call(fn, code.range, &o);
        _exit(5);
    };
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_DEATH(armed(write_null), "");
#else
    EXPECT_EXIT(armed(write_null), testing::KilledBySignal(SIGSEGV), "");
    EXPECT_EXIT(armed(call_abort), testing::KilledBySignal(SIGABRT), "");
    EXPECT_EXIT(
        {
            std::string error;
            install_live_guard(&error);
            write_null();
        },
        testing::KilledBySignal(SIGSEGV), "");
#endif
}

// True once a thread other than the caller sleeps: the watchdog waiting.
static bool another_thread_sleeps()
{
    for (const auto &task : std::filesystem::directory_iterator("/proc/self/task")) {
        if (task.path().filename() == std::to_string(gettid()))
            continue;
        std::ifstream in(task.path() / "stat");
        std::string stat;
        std::getline(in, stat);
        const size_t close = stat.rfind(')');
        if (close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'S')
            return true;
    }
    return false;
}

// A program that exits with the guard installed (Xlib exits when the display
// goes) ends, rather than waiting for ever on the watchdog's condition.
TEST(LiveGuardDeathTest, ExitWithTheWatchdogWaitingEnds)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::string error;
            if (!install_live_guard(&error))
                std::_Exit(2);
            while (!another_thread_sleeps())
                sched_yield();
            std::exit(3);
        },
        testing::ExitedWithCode(3), "");
}

TEST(LiveGuard, SceneTimeoutOption)
{
    StudioArgs a;
    std::string text;
    const char *fine[] = {"studio", "--scene-timeout", "0.25"};
    ASSERT_EQ(parse_studio_args(3, fine, &a, &text), STUDIO_ARGS_OK) << text;
    EXPECT_EQ(a.scene_timeout, 0.25);
    const char *none[] = {"studio"};
    ASSERT_EQ(parse_studio_args(1, none, &a, &text), STUDIO_ARGS_OK) << text;
    EXPECT_EQ(a.scene_timeout, GUARD_DEFAULT_TIMEOUT_S);
    for (const char *bad : {"0", "-1", "nan", "2s", "", "4000"}) {
        const char *argv[] = {"studio", "--scene-timeout", bad};
        EXPECT_EQ(parse_studio_args(3, argv, &a, &text), STUDIO_ARGS_BAD) << bad;
        EXPECT_EQ(text.rfind(std::string("studio: --scene-timeout: '") + bad + "'", 0), 0u) << text;
    }
}

} // namespace
