// follow.h - the demo following a studio: `demo --follow HOST:PORT [--token T]`.
//
// The demo's command line is ignored unless it holds --follow or --token;
// then it must be exactly those (in any order). Following, start-up opens
// the sync device's link before the tracks (link/follower.h), and each frame
// takes the studio's changes and transport between two frames and draws at
// the time link/follow_clock.h gives.
#pragma once

#include <cstdint>
#include <string>

#include "state/state.h"

struct DemoArgs {
    std::string follow; // HOST:PORT; empty: the plain demo
    std::string token;
};

constexpr const char *DEMO_USAGE = "usage: demo [--follow HOST:PORT [--token T]]";

// False with one line naming the fault when --follow or --token is there
// but the command line is not of the form above.
bool parse_demo_args(int argc, const char *const *argv, DemoArgs *out, std::string *error);

// The whole following demo: start-up, frames, teardown; the exit status
// (2 for a wrong address or token, before anything opens).
int run_following_demo(const DemoArgs &args);

// What a following frame drew.
struct FollowFrame {
    double seconds;          // the music time drawn
    FrameTime time;          // its Row and Tick
    bool live;               // the studio is followed now
    uint32_t track_updates;  // track messages taken since start-up
};

// One following frame (the desktop's loop and the web page's): the link's
// bounded work, the music moved to the studio's transport, the picture.
FollowFrame follow_frame();

// The web page, which may not wait: the address and token are checked
// before start-up (false with the reason; `say` takes the link's lines),
// and after start-up begin_web_following lets the first frame connect and
// ask for every track opened from the files.
bool prepare_web_following(const DemoArgs &args, void (*say)(const std::string &line), std::string *error);
void begin_web_following();

// Whether the studio is followed now.
bool following_studio();
