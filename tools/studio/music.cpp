// music.cpp - the studio's calls into the music player.
#include "studio/music.h"

#include "audio/bass.h"
#include "audio/player.h"

void music_pause() { player_pause(); }
void music_resume() { player_resume(); }
bool music_paused() { return player_paused(); }
void music_seek(double seconds) { player_seek(seconds); }
double music_position() { return player_position(); }
double music_length() { return player_length(); }
void music_set_muted(bool muted) { player_set_muted(muted); }
void music_set_half_speed(bool half) { player_set_speed(half ? 0.5 : 1.0); }

void music_update()
{
    BASS_Update(0);
}
