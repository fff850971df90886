// loop.cpp - one displayed frame after another, paced by vertical sync.
#include "app/loop.h"

#include "app/frame.h"
#include "state/state.h"
#include "audio/bass.h"

bool poll_quit_events()
{
    bool quit = false;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT)
            quit = true;
        else if (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE)
            quit = true;
    }
    return quit;
}

void play_frame()
{
    const QWORD pos = BASS_ChannelGetPosition(MusicStream, BASS_POS_BYTE);
    const double seconds = BASS_ChannelBytes2Seconds(MusicStream, pos);
    render_frame(seconds, SceneTable);
    SDL_RenderPresent(renderer);
    BASS_Update(0);
}

void run_frame_loop()
{
    bool quit = false;
    while (true) {
        if (poll_quit_events())
            quit = true;
        play_frame();
        if (quit)
            break;
    }
}
