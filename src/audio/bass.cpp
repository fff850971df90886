// bass.cpp - the demo's player calls as a thin layer over the music player
// (player.h): one stream at a time, known by its handle.
#include "audio/bass.h"

#include "audio/player.h"

namespace {

bool Initialised;       // BASS_Init succeeded
HSTREAM Current;        // handle of the open stream; 0: none
HSTREAM NextHandle = 1;

bool known(HSTREAM handle)
{
    return handle != 0 && handle == Current;
}

} // namespace

BOOL BASS_Init(int device, uint32_t freq, uint32_t, void *, const void *)
{
    if (Initialised)
        return true;
    if (device != 0 && !player_open_device(device, freq))
        return false;
    Initialised = true; // device 0: no output wanted, every stream runs on the clock
    return true;
}

HSTREAM BASS_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, uint32_t)
{
    if (mem || offset != 0 || length != 0 || Current != 0)
        return 0;
    player_open(static_cast<const char *>(file));
    Current = NextHandle++;
    if (NextHandle == 0)
        NextHandle = 1;
    return Current;
}

// The device runs from BASS_Init on.
BOOL BASS_Start()
{
    return Initialised;
}

BOOL BASS_ChannelPlay(HSTREAM handle, BOOL restart)
{
    if (!known(handle) || restart)
        return false;
    player_play();
    return true;
}

QWORD BASS_ChannelGetPosition(HSTREAM handle, uint32_t mode)
{
    if (!known(handle) || mode != BASS_POS_BYTE)
        return 0;
    return player_position_frames() * player_frame_bytes();
}

double BASS_ChannelBytes2Seconds(HSTREAM handle, QWORD pos)
{
    if (!known(handle))
        return 0.0;
    return static_cast<double>(pos) / static_cast<double>(uint64_t{player_rate()} * player_frame_bytes());
}

BOOL BASS_Update(uint32_t)
{
    return Initialised;
}

BOOL BASS_StreamFree(HSTREAM handle)
{
    if (!known(handle))
        return false;
    player_close();
    Current = 0;
    return true;
}

BOOL BASS_Free()
{
    if (Current)
        BASS_StreamFree(Current);
    player_close_device();
    const bool was = Initialised;
    Initialised = false;
    return was;
}
