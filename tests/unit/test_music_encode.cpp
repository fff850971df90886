// Tests of the soundtrack's Ogg Vorbis stage: exact length through the
// encoder, level after decoding, fixed serial number, identical bytes for
// identical input, and the failure paths (garbage, a cut stream, a bad path).
#include "make_music/arrangement.h"
#include "make_music/encode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// A sine of the given amplitude on the left and its negative on the right.
void make_tone(size_t frames, double amplitude, std::vector<float> &left, std::vector<float> &right)
{
    left.resize(frames);
    right.resize(frames);
    for (size_t i = 0; i < frames; ++i) {
        const double v = amplitude * std::sin(2.0 * 3.141592653589793 * 440.0 * static_cast<double>(i) / 44100.0);
        left[i] = static_cast<float>(v);
        right[i] = static_cast<float>(-v);
    }
}

} // namespace

TEST(MusicEncode, DecodesToTheSameLengthAndLevel)
{
    std::vector<float> l, r;
    make_tone(44100, 0.5, l, r);
    std::vector<unsigned char> ogg;
    std::string error;
    ASSERT_TRUE(encode_vorbis(l, r, VORBIS_QUALITY, ogg, error)) << error;
    DecodedInfo info{};
    ASSERT_TRUE(decode_vorbis_info(ogg, info, error)) << error;
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.rate, 44100);
    EXPECT_EQ(info.frames, 44100);
    EXPECT_EQ(info.decoded, 44100);
    EXPECT_NEAR(info.peak, 0.5, 0.03);
}

TEST(MusicEncode, LengthThatIsNoMultipleOfTheChunk)
{
    std::vector<float> l, r;
    make_tone(12345, 0.25, l, r);
    std::vector<unsigned char> ogg;
    std::string error;
    ASSERT_TRUE(encode_vorbis(l, r, VORBIS_QUALITY, ogg, error)) << error;
    DecodedInfo info{};
    ASSERT_TRUE(decode_vorbis_info(ogg, info, error)) << error;
    EXPECT_EQ(info.frames, 12345);
    EXPECT_EQ(info.decoded, 12345);
}

TEST(MusicEncode, SameInputSameBytesAndFixedSerial)
{
    std::vector<float> l, r;
    make_tone(20000, 0.3, l, r);
    std::vector<unsigned char> a, b;
    std::string error;
    ASSERT_TRUE(encode_vorbis(l, r, VORBIS_QUALITY, a, error));
    ASSERT_TRUE(encode_vorbis(l, r, VORBIS_QUALITY, b, error));
    EXPECT_EQ(a, b);
    // Page header: "OggS", version, flags, 8-byte granule, then the serial
    // number, little-endian, at bytes 14..17.
    ASSERT_GT(a.size(), 28u);
    EXPECT_EQ(std::string(a.begin(), a.begin() + 4), "OggS");
    const uint32_t serial = a[14] | (a[15] << 8) | (a[16] << 16) | (uint32_t{a[17]} << 24);
    EXPECT_EQ(serial, static_cast<uint32_t>(OGG_SERIAL));
}

TEST(MusicEncode, RejectsChannelsOfDifferentLength)
{
    std::vector<float> l(100, 0.0f), r(99, 0.0f);
    std::vector<unsigned char> ogg;
    std::string error;
    EXPECT_FALSE(encode_vorbis(l, r, VORBIS_QUALITY, ogg, error));
    EXPECT_FALSE(error.empty());
}

TEST(MusicEncode, DecoderRejectsGarbageAndACutStream)
{
    std::string error;
    DecodedInfo info{};
    const std::vector<unsigned char> garbage(5000, 0x5A);
    EXPECT_FALSE(decode_vorbis_info(garbage, info, error));
    EXPECT_FALSE(error.empty());
    const std::vector<unsigned char> empty;
    EXPECT_FALSE(decode_vorbis_info(empty, info, error));

    // A stream cut in half is refused: its last page lacks the end mark.
    std::vector<float> l, r;
    make_tone(44100, 0.5, l, r);
    std::vector<unsigned char> ogg;
    ASSERT_TRUE(encode_vorbis(l, r, VORBIS_QUALITY, ogg, error));
    ASSERT_TRUE(decode_vorbis_info(ogg, info, error)) << error;
    ogg.resize(ogg.size() / 2);
    EXPECT_FALSE(decode_vorbis_info(ogg, info, error));
    EXPECT_EQ(error, "the stream lacks its end-of-stream mark");
}

TEST(MusicEncode, WriteFileReportsFailure)
{
    std::string error;
    const std::vector<unsigned char> bytes = {1, 2, 3};
    EXPECT_FALSE(write_file("/nonexistent-directory/music.ogg", bytes, error));
    EXPECT_NE(error.find("/nonexistent-directory/music.ogg"), std::string::npos);
}
