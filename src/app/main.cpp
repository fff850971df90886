// main.cpp - the demo: start-up, the frame loop until Escape or window close,
// teardown. The command line is ignored, unless it asks to follow a studio
// (app/follow.h).
#include <cstdio>
#include <string>

#include "app/follow.h"
#include "app/loop.h"
#include "app/startup.h"

int main(int argc, char **argv)
{
    DemoArgs args;
    std::string error;
    if (!parse_demo_args(argc, argv, &args, &error)) {
        std::fprintf(stderr, "demo: %s\n%s\n", error.c_str(), DEMO_USAGE);
        return 2;
    }
    if (!args.follow.empty())
        return run_following_demo(args);
    if (start_up() != 0)
        return 1;
    run_frame_loop();
    tear_down();
    return 0;
}
