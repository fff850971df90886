// music_source.h - the soundtrack of a video: "music.ogg" decoded with
// vorbisfile into interleaved float stereo, read from any music time on, with
// silence before the music's start and after its end.
#pragma once

#define OV_EXCLUDE_STATIC_CALLBACKS // only ov_open_callbacks-free calls are used
#include <vorbis/vorbisfile.h>

#include <cstdint>
#include <string>

struct MusicSource {
    OggVorbis_File vorbis;
    int rate = 0;          // samples per second
    int channels = 0;      // of the file; read() always gives two
    int64_t length = 0;    // decoded length in samples
    int64_t position = 0;  // next sample read() gives; may be negative
    bool decoding = false; // the decoder sits at `position`
};

// Opens and checks the file (rate 8000 to 192000, 1 to 8 channels, a known
// length). False with a reason in *err; nothing to close then.
bool open_music(const char *path, MusicSource *m, std::string *err);
void close_music(MusicSource *m);

// Music seconds of the decoded length.
double music_seconds(const MusicSource &m);

// The next read() starts at this sample (music time sample / rate).
void seek_music(MusicSource *m, int64_t sample);

// Fills `count` stereo frames (2 * count floats, left then right): silence
// outside the music, a mono file on both sides, the first two channels of a
// wider one. A file that stops decoding early reads as silence from there.
void read_music(MusicSource *m, float *out, long count);
