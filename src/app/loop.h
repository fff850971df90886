// loop.h - the interactive frame loop of the demo.
#pragma once

// Takes every pending event; true when one of them asks to quit (a quit
// event or an Escape key press). Releases and other keys are ignored.
bool poll_quit_events();

// One displayed frame: reads the music position, renders the frame for it,
// presents and lets the music player update. Every frame of the desktop loop
// and of the web page is this call.
void play_frame();

// Runs frames until a quit is asked for, then returns (the frame in which
// quit was asked for is still drawn, presented and followed by the update).
void run_frame_loop();
