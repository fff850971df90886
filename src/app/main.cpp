// main.cpp - the demo: start-up, the frame loop until Escape or window close,
// teardown. The command line is ignored.
#include "app/loop.h"
#include "app/startup.h"

int main(int, char **)
{
    if (start_up() != 0)
        return 1;
    run_frame_loop();
    tear_down();
    return 0;
}
