// bass.h - the calls the demo's start-up and frame loop make to play the
// music: a thin layer over the music player (player.h), which owns the one
// stream.
//
// A stream's position is counted in bytes of the decoded format (16-bit PCM
// with the file's channels at the file's own rate) and follows what has been
// handed to the audio device, never what has merely been decoded; between
// two device buffers it moves on with the clock (see player.h). When no
// device can be opened, or the file cannot be played, the stream still
// "plays" silently and its position advances with the clock, so the demo
// runs the same without sound.
#pragma once

#include <cstdint>

typedef uint32_t HSTREAM;
typedef uint64_t QWORD;
typedef int BOOL;

enum : uint32_t {
    BASS_STREAM_PRESCAN = 0x20000,
    BASS_POS_BYTE = 0,
};

// Opens the output device (device -1: the default; 0: no output) at the given
// rate. Returns false when no device could be opened; streams created without
// a device run on the clock.
BOOL BASS_Init(int device, uint32_t freq, uint32_t flags, void *win, const void *clsid);

// Creates the stream of an Ogg Vorbis file (mem false, offset and length 0;
// the flags are ignored). A missing or undecodable file gives a silent
// stream timed by the clock. 0 while a stream is open, or for a memory block
// or a part of a file, which the player does not take.
HSTREAM BASS_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, uint32_t flags);

// BASS_Update does nothing of substance: decoding runs on the audio thread.
// BASS_ChannelPlay starts the stream once; asked to restart, it returns
// false and does nothing.
// Every call is safe in any order; unknown handles give 0 / false.
BOOL BASS_Start();
BOOL BASS_ChannelPlay(HSTREAM handle, BOOL restart);
QWORD BASS_ChannelGetPosition(HSTREAM handle, uint32_t mode);
double BASS_ChannelBytes2Seconds(HSTREAM handle, QWORD pos);
BOOL BASS_Update(uint32_t period);
BOOL BASS_StreamFree(HSTREAM handle);
BOOL BASS_Free();
