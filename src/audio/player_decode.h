// player_decode.h - the music player's stream record, and the sound of a
// device-timed stream: the Ogg Vorbis file decoded a few kilobytes at a time,
// converted to the device's format (SDL_AudioStream, only when rate or
// channel count differ), and played at half speed like a tape at half its
// speed, an octave down.
//
// Half speed: each frame of the sound in the device's format goes out twice
// as long, first as the mean of it and the frame before, then as itself
// (linear interpolation 2:1, half a frame late so that no frame waits for
// the next callback). Its only artefact is a faint mirror of the sound above
// a quarter of the device's rate, damped by the interpolation's triangle
// filter: enough for listening through an edit, at two additions a frame.
//
// While the stream plays, the decoder and the half-speed carry belong to the
// audio callback; the main thread touches them under the device lock.
#pragma once

#include "audio/player_timing.h"
#include "base/ogg_source.h"

#include <SDL.h>

#include <cstdint>
#include <string>

enum {
    DEVICE_CHANNELS = 2, // the device is always 16-bit stereo
    DEVICE_BLOCK = DEVICE_CHANNELS * 2,
};

// The decoder and converter of a device-timed stream.
struct PlayerDecoder {
    OggSource source;
    bool vorbis_open;
    OggVorbis_File vorbis;
    SDL_AudioStream *converter; // null when the file has the device's format
    int link;                   // logical bitstream being decoded
    bool decode_done;           // no more PCM from the file
    bool audio_done;            // decoder and converter both drained
    bool failed;                // decoding stopped on an error
};

// The half-speed resampler's carry between callbacks.
struct HalfCarry {
    bool have_previous;      // `previous` holds the last input frame
    int16_t previous[2];
    bool pending;            // `previous` is yet to be put out as itself
};

struct PlayerStream {
    bool open;               // written under the device lock only
    bool on_device;          // device-timed; otherwise clock-timed
    std::string path;

    // Decoded format: 16-bit signed PCM, `channels` interleaved, `rate` Hz.
    uint32_t rate;
    uint32_t channels;
    uint32_t block;          // bytes per frame
    bool has_length;         // false: runs on without end
    uint64_t length;         // frames

    bool played;             // player_play has run
    bool paused;
    bool muted;
    bool half;               // half speed (written under the device lock)
    HalfCarry carry;
    bool damage_reported;    // the damaged-file line has been printed
    uint64_t last_reported;  // what player_position_frames last gave

    PlayerDecoder decoder;
    DeviceTiming device;     // under the player's timing lock
    ClockTiming clock;
};

// Opens the decoder on an open source and takes the file's format and
// length. False when the bytes are not a playable stream.
bool open_decoder(PlayerStream &s);
// Closes the converter, the decoder and the source; each may be closed.
void close_decoder(PlayerDecoder &d);
// A converter from the file's format to the device's (`device_rate`, stereo),
// or null when both are the same. False when SDL cannot convert between them.
bool open_converter(PlayerStream &s, uint32_t device_rate);

// Puts up to `frames` device frames of the stream's sound into out and
// returns how many it put; fewer only when the sound has ended or a damaged
// file yields nothing within the callback's budget.
int fill_sound(PlayerStream &s, int16_t *out, int frames);
// Half speed: puts `frames` device frames into out from about half as many
// of the stream's. Past the end of the sound the rest is silence.
void fill_sound_half(PlayerStream &s, int16_t *out, int frames);
