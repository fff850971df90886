// encode.h - Ogg Vorbis encoding of the rendered soundtrack, and a decoder
// check of the result.
//
// Encoding is deterministic: fixed stream serial number, fixed quality, the
// same input gives the same bytes. All work happens in memory; writing the
// file is a separate step so that a failed write leaves a clear message.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

constexpr int OGG_SERIAL = 0x4C4B4E4F;   // fixed, so every run gives the same bytes
constexpr float VORBIS_QUALITY = 0.45f;  // variable bit rate, about 140 kbit/s

// Encodes two equally long channels of samples in -1..1 at SAMPLE_RATE into
// an Ogg Vorbis stream. Returns false, with a reason, on an encoder error or
// on channels of different length.
bool encode_vorbis(const std::vector<float> &left, const std::vector<float> &right, float quality,
                   std::vector<unsigned char> &out, std::string &error);

// The shape of a stream for encode_vorbis_channels.
struct VorbisFormat {
    long rate;            // frames per second
    float quality;        // as for encode_vorbis
    bool page_per_packet; // every audio packet on a page of its own (many
                          // small pages, for tests that cut or damage a file)
};

// Encodes one or more equally long channels (samples in -1..1, each given by
// its address) into an Ogg Vorbis stream of that format; encode_vorbis is
// this with two channels at SAMPLE_RATE and pages as the stream fills them.
// Returns false, with a reason, on an encoder error, on no channels or on
// channels of different length.
bool encode_vorbis_channels(const std::vector<const std::vector<float> *> &channels,
                            const VorbisFormat &format, std::vector<unsigned char> &out,
                            std::string &error);

// What a decoder sees in an Ogg Vorbis stream.
struct DecodedInfo {
    int channels;
    long rate;
    int64_t frames;  // total PCM frames, from the stream's last granule position
    int64_t decoded; // frames actually decoded
    double peak;     // largest absolute decoded sample, floating point
};

// Decodes a whole stream held in memory. Returns false, with a reason, on
// data that is not a readable Ogg Vorbis stream.
bool decode_vorbis_info(const std::vector<unsigned char> &data, DecodedInfo &info, std::string &error);

// Writes the file through tools/common/output_file.h: complete or not at all.
bool write_file(const char *path, const std::vector<unsigned char> &data, std::string &error);
