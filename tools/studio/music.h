// music.h - every call the studio makes into the music player, in one place:
// the transport asks here, and nothing else of the studio touches the player.
// All act on the stream that start-up opened ("music.ogg"), or on the clock
// that stands in for it without a device or a file.
#pragma once

void music_pause();
void music_resume();
bool music_paused();
void music_seek(double seconds); // clamped by the player to [0, length]
double music_position();         // seconds, as the demo's frame loop reads them
double music_length();           // seconds; negative when unknown
void music_set_muted(bool muted);
void music_set_half_speed(bool half); // the music an octave down, its position at half the real rate

// Once per presented frame, as the demo's loop does after presenting.
void music_update();
