// position_probe - how smoothly the music position moves, seen as the frame
// loop sees it.
//
//   position_probe [--seconds S] [--hz H] [MUSIC]
//
// Opens the music (default "music.ogg" in the working directory) through the
// demo's own player calls, exactly as start-up does, plays it on SDL's dummy
// audio driver (unless SDL_AUDIODRIVER names another) and reads the position
// H times a second (default 60) for S seconds (default 5), at fixed points
// of a steady schedule. It prints how many readings repeated the previous
// time and the minimum, median, 90th percentile and maximum step between
// readings, in milliseconds, the same figures for the intervals at which the
// readings were really taken (the machine's own scheduling jitter), and the
// largest difference between a step and its interval. On a busy machine run
// it at real-time priority (chrt -f 10) so that the figures show the player
// rather than the scheduler.
// Exit status: 0 done, 1 no audio device, 2 bad arguments.
#include "audio/bass.h"
#include "base/facts.h"
#include "common/command_line.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

const char *const USAGE = "usage: position_probe [--seconds S] [--hz H] [MUSIC]";

struct Stats {
    double min, median, p90, max;
};

Stats stats_of(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    if (v.empty())
        return Stats{0, 0, 0, 0};
    return Stats{v.front(), v[v.size() / 2], v[std::min(v.size() - 1, v.size() * 9 / 10)], v.back()};
}

} // namespace

int main(int argc, char **argv)
{
    double seconds = 5.0, hz = 60.0;
    std::string music = MUSIC_FILE;
    CommandLine cl("position_probe",
                   "Plays the music through the demo's own player calls on SDL's dummy audio\n"
                   "driver and reads its position H times a second for S seconds, as the frame\n"
                   "loop does; prints how evenly it moved.",
                   USAGE);
    cl.app.add_option("--seconds", seconds, "how long to read, above 0 and at most 3600")
        ->type_name("S")
        ->check(finite_number(true, 3600.0))
        ->capture_default_str();
    cl.app.add_option("--hz", hz, "readings per second, above 0 and at most 1000")
        ->type_name("H")
        ->check(finite_number(true, 1000.0))
        ->capture_default_str();
    cl.app.add_option("MUSIC", music, "the Ogg Vorbis file to play")->type_name("")->capture_default_str();
    const int status = cl.parse(argc, argv);
    if (status >= 0)
        return status;
    setenv("SDL_AUDIODRIVER", "dummy", 0);

    if (!BASS_Init(-1, 44100, 0, nullptr, nullptr)) {
        std::fprintf(stderr, "position_probe: no audio device: %s\n", SDL_GetError());
        return 1;
    }
    const HSTREAM stream = BASS_StreamCreateFile(false, music.c_str(), 0, 0, BASS_STREAM_PRESCAN);
    BASS_Start();
    BASS_ChannelPlay(stream, false);

    using clock = std::chrono::steady_clock;
    const long count = static_cast<long>(seconds * hz + 0.5);
    std::vector<double> times, taken;
    times.reserve(static_cast<size_t>(count));
    taken.reserve(static_cast<size_t>(count));
    const clock::time_point start = clock::now();
    for (long i = 0; i < count; ++i) {
        std::this_thread::sleep_until(start + std::chrono::duration_cast<clock::duration>(
                                                  std::chrono::duration<double>(static_cast<double>(i) / hz)));
        const QWORD pos = BASS_ChannelGetPosition(stream, BASS_POS_BYTE);
        taken.push_back(std::chrono::duration<double>(clock::now() - start).count());
        times.push_back(BASS_ChannelBytes2Seconds(stream, pos));
    }
    BASS_StreamFree(stream);
    BASS_Free();

    std::vector<double> steps, intervals;
    long repeats = 0;
    double worst_gap = 0.0; // largest |step - reading interval|: the player's own share
    for (size_t i = 1; i < times.size(); ++i) {
        steps.push_back((times[i] - times[i - 1]) * 1000.0);
        intervals.push_back((taken[i] - taken[i - 1]) * 1000.0);
        worst_gap = std::max(worst_gap, std::fabs(steps.back() - intervals.back()));
        if (times[i] == times[i - 1])
            ++repeats;
    }
    const Stats s = stats_of(steps), w = stats_of(intervals);
    std::printf("position_probe: %ld readings at %.0f Hz over %.1f s (driver %s), frame time %.2f ms\n",
                count, hz, seconds, getenv("SDL_AUDIODRIVER"), 1000.0 / hz);
    std::printf("  repeated times: %ld of %zu steps\n", repeats, steps.size());
    std::printf("  position step ms: min %.2f  median %.2f  p90 %.2f  max %.2f\n", s.min, s.median, s.p90,
                s.max);
    std::printf("  reading interval ms: min %.2f  median %.2f  p90 %.2f  max %.2f\n", w.min, w.median,
                w.p90, w.max);
    std::printf("  largest difference between a step and its reading interval: %.2f ms\n", worst_gap);
    std::printf("  music time at the last reading: %.3f s\n", times.empty() ? 0.0 : times.back());
    return 0;
}
