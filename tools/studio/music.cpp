// music.cpp - the studio's calls into the music player.
#include "music.h"

#include "audio/bass.h"

void music_update()
{
    BASS_Update(0);
}

#if __has_include("audio/player.h")

#include "audio/player.h"

void music_pause() { player_pause(); }
void music_resume() { player_resume(); }
bool music_paused() { return player_paused(); }
void music_seek(double seconds) { player_seek(seconds); }
double music_position() { return player_position(); }
double music_length() { return player_length(); }
void music_set_muted(bool muted) { player_set_muted(muted); }

#else

// A player without pause and seek: the picture's time is the stream's
// position plus an offset, held while paused. The sound itself goes on.
#include "app/state.h"

static double Offset = 0.0;
static bool Paused = false;
static double HeldAt = 0.0;

static double stream_seconds()
{
    return BASS_ChannelBytes2Seconds(MusicStream, BASS_ChannelGetPosition(MusicStream, BASS_POS_BYTE));
}

void music_pause()
{
    if (!Paused)
        HeldAt = music_position();
    Paused = true;
}

void music_resume()
{
    if (Paused)
        Offset = HeldAt - stream_seconds();
    Paused = false;
}

bool music_paused() { return Paused; }

void music_seek(double seconds)
{
    if (seconds < 0.0)
        seconds = 0.0;
    if (Paused)
        HeldAt = seconds;
    else
        Offset = seconds - stream_seconds();
}

double music_position() { return Paused ? HeldAt : stream_seconds() + Offset; }
double music_length() { return -1.0; }
void music_set_muted(bool) {}

#endif
