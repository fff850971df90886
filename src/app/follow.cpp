// follow.cpp - the demo as a follower of the studio: the start-up hooks that
// open the device's link around the tracks, and the frame loop that applies
// the studio's transport to the demo's own music.
#include "app/follow.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>

#include "app/frame.h"
#include "app/loop.h"
#include "app/startup.h"
#include "audio/bass.h"
#include "audio/player.h"
#include "link/follow_clock.h"
#include "link/follower.h"
#include "state/state.h"

// Start-up waits this long for the studio's connection; later tries never wait.
static const int START_WAIT_MS = 2000;

static LinkFollower Follower;

bool parse_demo_args(int argc, const char *const *argv, DemoArgs *out, std::string *error)
{
    bool ours = false;
    for (int i = 1; i < argc; i++)
        ours = ours || std::strcmp(argv[i], "--follow") == 0 || std::strcmp(argv[i], "--token") == 0;
    if (!ours)
        return true; // the plain demo ignores its command line
    bool have_token = false;
    for (int i = 1; i < argc; i++) {
        const bool follow = std::strcmp(argv[i], "--follow") == 0;
        const bool token = std::strcmp(argv[i], "--token") == 0;
        if (!follow && !token) {
            *error = std::string("unknown option ") + argv[i];
            return false;
        }
        if (i + 1 >= argc) {
            *error = std::string(argv[i]) + " needs a value";
            return false;
        }
        if ((follow && !out->follow.empty()) || (token && have_token)) {
            *error = std::string(argv[i]) + " given twice";
            return false;
        }
        (follow ? out->follow : out->token) = argv[++i];
        have_token = have_token || token;
        if (follow && out->follow.empty()) {
            *error = "--follow needs HOST:PORT";
            return false;
        }
    }
    if (out->follow.empty()) {
        *error = "--token without --follow";
        return false;
    }
    return true;
}

static void open_link_before_tracks(SyncDevice *d)
{
    open_link_follower(&Follower, d, SDL_GetTicks64(), START_WAIT_MS);
}

static void take_link_after_tracks(SyncDevice *)
{
    link_follower_tracks_opened(&Follower, SDL_GetTicks64());
}

// Moves the music as the step asks; a link that is down leaves it playing.
static void apply_clock_step(const FollowClockStep &step)
{
    if (player_speed() != step.speed)
        player_set_speed(step.speed);
    if (step.play && player_paused())
        player_resume();
    else if (!step.play && !player_paused())
        player_pause();
    if (step.seek)
        player_seek(step.seconds);
}

static double music_seconds()
{
    return BASS_ChannelBytes2Seconds(MusicStream, BASS_ChannelGetPosition(MusicStream, BASS_POS_BYTE));
}

// Microseconds from the performance counter `from` to now, for a report's age.
static uint32_t micros_since(uint64_t from)
{
    const double us = double(SDL_GetPerformanceCounter() - from) * 1e6 / double(SDL_GetPerformanceFrequency());
    return us < double(LINK_MAX_REPORT_AGE_US) ? static_cast<uint32_t>(us) : LINK_MAX_REPORT_AGE_US;
}

FollowFrame follow_frame()
{
    const uint64_t now = SDL_GetTicks64();
    poll_link_follower(&Follower, now);
    const double music = music_seconds();
    const uint64_t stamped = SDL_GetPerformanceCounter(); // the frame's time is taken here
    FollowClockStep step{music, false, true, player_speed()};
    if (link_follower_live(Follower) && Follower.has_transport)
        step = follow_clock(Follower.clock_from, (now - Follower.clock_from_ms) / 1000.0, music, FOLLOW_TOLERANCE_S);
    apply_clock_step(step);
    const FrameTime time = render_frame(step.seconds, SceneTable);
    SDL_RenderPresent(renderer);
    link_follower_drew(&Follower, step.seconds, step.play, SDL_GetTicks64(), micros_since(stamped));
    BASS_Update(0);
    return {step.seconds, time, link_follower_live(Follower), Follower.track_updates};
}

static void run_follow_loop()
{
    bool quit = false;
    while (true) {
        if (poll_quit_events())
            quit = true;
        follow_frame();
        if (quit)
            break;
    }
}

bool prepare_web_following(const DemoArgs &args, void (*say)(const std::string &line), std::string *error)
{
    Follower.say = say;
    return prepare_link_follower(&Follower, args.follow, args.token, error);
}

void begin_web_following()
{
    begin_link_follower(&Follower, Sync, SDL_GetTicks64());
}

bool following_studio()
{
    return link_follower_live(Follower);
}

int run_following_demo(const DemoArgs &args)
{
    std::string error;
    if (!prepare_link_follower(&Follower, args.follow, args.token, &error)) {
        std::fprintf(stderr, "demo: --follow: %s\n%s\n", error.c_str(), DEMO_USAGE);
        return 2;
    }
    StartupOptions options = DemoStartup;
    options.before_tracks = open_link_before_tracks;
    options.after_tracks = take_link_after_tracks;
    if (start_up_with(options) != 0)
        return 1;
    run_follow_loop();
    close_link_follower(&Follower);
    tear_down();
    return 0;
}
