// test_audio.cpp - the music player: positions of played, resampled, missing,
// undecodable and deviceless streams, byte-to-second conversion, the sound
// that reaches the device, and handle safety.
//
// The Ogg Vorbis files are encoded here with libvorbisenc. SDL's dummy and
// disk drivers consume audio in real time, so a played stream's position can
// be bounded by the wall clock: never more than the elapsed time plus one
// device buffer (kept generous: 5 % plus 0.1 s).

#include "audio/bass.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// ---- Test data ----------------------------------------------------------------

// Encodes `frames` frames of a sine of `hz` at half full scale, the same on
// every channel, as an Ogg Vorbis file; small_pages puts every audio packet
// on a page of its own.
bool write_sine_ogg(const std::string &path, long rate, int channels, long frames, double hz,
                    bool small_pages = false)
{
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, channels, rate, 0.4f) != 0) {
        vorbis_info_clear(&vi);
        return false;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block vb;
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 1);

    FILE *f = std::fopen(path.c_str(), "wb");
    bool ok = f != nullptr;
    ogg_page og;
    auto write_page = [&] {
        ok = ok && std::fwrite(og.header, 1, og.header_len, f) == size_t(og.header_len)
             && std::fwrite(og.body, 1, og.body_len, f) == size_t(og.body_len);
    };
    ogg_packet header, comments, codebooks;
    vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &comments);
    ogg_stream_packetin(&os, &codebooks);
    while (ok && ogg_stream_flush(&os, &og))
        write_page();

    long done = 0;
    bool eos = false;
    bool end_sent = false;
    while (ok && !eos) {
        if (done < frames) {
            long n = frames - done < 1024 ? frames - done : 1024;
            float **buf = vorbis_analysis_buffer(&vd, int(n));
            for (long i = 0; i < n; ++i) {
                float v = float(0.5 * std::sin(2.0 * M_PI * hz * double(done + i) / double(rate)));
                for (int c = 0; c < channels; ++c)
                    buf[c][i] = v;
            }
            vorbis_analysis_wrote(&vd, int(n));
            done += n;
        } else if (!end_sent) {
            vorbis_analysis_wrote(&vd, 0);
            end_sent = true;
        }
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet op;
            while (vorbis_bitrate_flushpacket(&vd, &op)) {
                ogg_stream_packetin(&os, &op);
                while (ok && (small_pages ? ogg_stream_flush(&os, &og) : ogg_stream_pageout(&os, &og))) {
                    write_page();
                    if (ogg_page_eos(&og))
                        eos = true;
                }
            }
        }
    }
    if (f)
        ok = std::fclose(f) == 0 && ok;
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return ok;
}

// The whole file decoded by plain vorbisfile: the reference PCM.
std::vector<char> decode_ogg(const std::string &path)
{
    std::vector<char> pcm;
    OggVorbis_File vf;
    if (ov_fopen(path.c_str(), &vf) != 0)
        return pcm;
    char buf[4096];
    int link = 0;
    long n;
    while ((n = ov_read(&vf, buf, sizeof buf, 0, 2, 1, &link)) != 0)
        if (n > 0)
            pcm.insert(pcm.end(), buf, buf + n);
    ov_clear(&vf);
    return pcm;
}

std::vector<char> read_file(const std::string &path)
{
    std::vector<char> bytes;
    if (FILE *f = std::fopen(path.c_str(), "rb")) {
        char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            bytes.insert(bytes.end(), buf, buf + n);
        std::fclose(f);
    }
    return bytes;
}

double seconds_since(Uint64 counter)
{
    return double(SDL_GetPerformanceCounter() - counter) / double(SDL_GetPerformanceFrequency());
}

void sleep_ms(int ms) { SDL_Delay(Uint32(ms)); }

// ---- Watching a playing stream ---------------------------------------------------

// Samples a stream's position and keeps what the tests check of every sample:
// the order, the block alignment and how far it ran ahead of the wall clock.
struct Watch {
    HSTREAM handle;
    double bytes_per_second;
    QWORD block;
    Uint64 play_counter; // taken just before BASS_ChannelPlay
    QWORD last = 0;
    bool monotonic = true;
    bool aligned = true;
    double worst_lead = -1e9; // max of position - (1.05 * wall + 0.1), seconds
    int samples = 0;
};

QWORD sample(Watch &w)
{
    QWORD pos = BASS_ChannelGetPosition(w.handle, BASS_POS_BYTE);
    double wall = seconds_since(w.play_counter);
    double lead = double(pos) / w.bytes_per_second - (1.05 * wall + 0.1);
    if (lead > w.worst_lead)
        w.worst_lead = lead;
    if (pos < w.last)
        w.monotonic = false;
    if (pos % w.block != 0)
        w.aligned = false;
    w.last = pos;
    ++w.samples;
    return pos;
}

// Samples every 2 ms until the position is at least `target` or `limit_s` has
// passed (a liveness limit, far above the expected time). Returns the last
// position seen.
QWORD watch_until(Watch &w, QWORD target, double limit_s)
{
    Uint64 start = SDL_GetPerformanceCounter();
    QWORD pos = sample(w);
    while (pos < target && seconds_since(start) < limit_s) {
        sleep_ms(2);
        pos = sample(w);
    }
    return pos;
}

void expect_clean_watch(const Watch &w)
{
    EXPECT_TRUE(w.monotonic);
    EXPECT_TRUE(w.aligned);
    EXPECT_LE(w.worst_lead, 0.0) << "position ran ahead of what could have been played";
}

// ---- Fixture ------------------------------------------------------------------

class Audio : public ::testing::Test {
protected:
    static fs::path dir;
    static std::string mono22k;    // 1.0 s, 22050 Hz mono: 22050 frames, 44100 bytes
    static std::string stereo44k;  // 0.5 s, 44100 Hz stereo: 22050 frames, 88200 bytes
    static std::string short22k;   // 0.2 s, 22050 Hz mono: 4410 frames, 8820 bytes
    static std::string short44k;   // 0.3 s, 44100 Hz stereo: 13230 frames, 52920 bytes
    static std::string not_ogg;    // a text file named .ogg
    static std::string missing;

    static void SetUpTestSuite()
    {
        dir = fs::temp_directory_path() / ("demo_audio_test_" + std::to_string(getpid()));
        fs::create_directories(dir);
        mono22k = (dir / "mono22k.ogg").string();
        stereo44k = (dir / "stereo44k.ogg").string();
        short22k = (dir / "short22k.ogg").string();
        short44k = (dir / "short44k.ogg").string();
        not_ogg = (dir / "not_ogg.ogg").string();
        missing = (dir / "missing.ogg").string();
        ASSERT_TRUE(write_sine_ogg(mono22k, 22050, 1, 22050, 441.0));
        ASSERT_TRUE(write_sine_ogg(stereo44k, 44100, 2, 22050, 441.0));
        ASSERT_TRUE(write_sine_ogg(short22k, 22050, 1, 4410, 441.0));
        ASSERT_TRUE(write_sine_ogg(short44k, 44100, 2, 13230, 441.0));
        FILE *f = std::fopen(not_ogg.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("This is a plain text file, not a stream of Ogg pages.\n", f);
        std::fclose(f);
    }

    static void TearDownTestSuite()
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    void SetUp() override { setenv("SDL_AUDIODRIVER", "dummy", 1); }

    void TearDown() override
    {
        BASS_Free();
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }

    // Plays a stream on the device to its end and checks every position on
    // the way; `total` and `bytes_per_second` are worked out by the caller.
    void play_to_end(const std::string &path, QWORD total, double bytes_per_second, QWORD block)
    {
        HSTREAM h = BASS_StreamCreateFile(false, path.c_str(), 0, 0, BASS_STREAM_PRESCAN);
        ASSERT_NE(h, 0u);
        EXPECT_TRUE(BASS_Start());
        EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 0u);
        sleep_ms(30); // the device runs; an unplayed stream stays at 0
        EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 0u);

        Watch w{h, bytes_per_second, block, SDL_GetPerformanceCounter()};
        ASSERT_TRUE(BASS_ChannelPlay(h, false));
        QWORD mid = watch_until(w, total / 4, 5.0);
        EXPECT_GT(mid, 0u);
        QWORD end = watch_until(w, total, 5.0);
        EXPECT_EQ(end, total);
        sleep_ms(80); // past the end: silence, position stays
        EXPECT_EQ(sample(w), total);
        expect_clean_watch(w);
        EXPECT_GT(w.samples, 10);
        EXPECT_TRUE(BASS_Update(0));
        EXPECT_TRUE(BASS_StreamFree(h));
    }

    // A stream timed by the clock: after play its position is the time since
    // play in bytes, bounded below and above by counters taken around the calls.
    void check_clock_stream(HSTREAM h, double bytes_per_second, QWORD block)
    {
        ASSERT_NE(h, 0u);
        EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 0u);
        sleep_ms(20);
        EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 0u); // not yet played

        Uint64 before_play = SDL_GetPerformanceCounter();
        ASSERT_TRUE(BASS_ChannelPlay(h, false));
        Uint64 after_play = SDL_GetPerformanceCounter();
        QWORD last = 0;
        for (int i = 0; i < 4; ++i) {
            sleep_ms(40);
            Uint64 before_read = SDL_GetPerformanceCounter();
            QWORD pos = BASS_ChannelGetPosition(h, BASS_POS_BYTE);
            Uint64 after_read = SDL_GetPerformanceCounter();
            double freq = double(SDL_GetPerformanceFrequency());
            double least = double(before_read - after_play) / freq - double(block) / bytes_per_second;
            double most = double(after_read - before_play) / freq;
            double seconds = double(pos) / bytes_per_second;
            EXPECT_GE(seconds, least);
            EXPECT_LE(seconds, most);
            EXPECT_EQ(pos % block, 0u);
            EXPECT_GE(pos, last);
            last = pos;
        }
        EXPECT_GT(last, 0u);
    }
};

fs::path Audio::dir;
std::string Audio::mono22k, Audio::stereo44k, Audio::short22k, Audio::short44k;
std::string Audio::not_ogg, Audio::missing;

// ---- Seconds from bytes --------------------------------------------------------------

TEST_F(Audio, Bytes2SecondsUsesTheFilesFormat)
{
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    HSTREAM mono = BASS_StreamCreateFile(false, mono22k.c_str(), 0, 0, BASS_STREAM_PRESCAN);
    HSTREAM stereo = BASS_StreamCreateFile(false, stereo44k.c_str(), 0, 0, BASS_STREAM_PRESCAN);
    HSTREAM none = BASS_StreamCreateFile(false, missing.c_str(), 0, 0, BASS_STREAM_PRESCAN);
    ASSERT_NE(mono, 0u);
    ASSERT_NE(stereo, 0u);
    ASSERT_NE(none, 0u);
    EXPECT_NE(mono, stereo);
    // 22050 Hz mono: 44100 bytes a second.
    EXPECT_EQ(BASS_ChannelBytes2Seconds(mono, 88200), 2.0);
    EXPECT_EQ(BASS_ChannelBytes2Seconds(mono, 44100), 1.0);
    EXPECT_EQ(BASS_ChannelBytes2Seconds(mono, 11025), 0.25);
    EXPECT_EQ(BASS_ChannelBytes2Seconds(mono, 0), 0.0);
    // 44100 Hz stereo: 176400 bytes a second.
    EXPECT_EQ(BASS_ChannelBytes2Seconds(stereo, 176400), 1.0);
    EXPECT_EQ(BASS_ChannelBytes2Seconds(stereo, 88200), 0.5);
    EXPECT_EQ(BASS_ChannelBytes2Seconds(stereo, 1764), 0.01);
    // No file: 44100 Hz stereo as well.
    EXPECT_EQ(BASS_ChannelBytes2Seconds(none, 176400), 1.0);
    EXPECT_EQ(BASS_ChannelBytes2Seconds(none, 529200), 3.0);
    // 10 minutes of 44100 Hz stereo.
    EXPECT_EQ(BASS_ChannelBytes2Seconds(stereo, 105840000), 600.0);
}

// ---- Played streams --------------------------------------------------------------------

TEST_F(Audio, ResampledMonoStreamFollowsTheDeviceToItsExactEnd)
{
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    // 22050 frames of 2 bytes; 44100 bytes a second.
    play_to_end(mono22k, 44100, 44100.0, 2);
}

TEST_F(Audio, StereoStreamAtTheDeviceRateFollowsTheDeviceToItsExactEnd)
{
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    // 22050 frames of 4 bytes; 176400 bytes a second.
    play_to_end(stereo44k, 88200, 176400.0, 4);
}

TEST_F(Audio, RestartPlaysAgainFromTheBeginning)
{
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    HSTREAM h = BASS_StreamCreateFile(false, short22k.c_str(), 0, 0, BASS_STREAM_PRESCAN);
    ASSERT_TRUE(BASS_ChannelPlay(h, false));
    Watch w{h, 44100.0, 2, SDL_GetPerformanceCounter()};
    ASSERT_EQ(watch_until(w, 8820, 5.0), 8820u);

    EXPECT_TRUE(BASS_ChannelPlay(h, false)); // ended: stays at the end
    sleep_ms(30);
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 8820u);

    Watch again{h, 44100.0, 2, SDL_GetPerformanceCounter()};
    EXPECT_TRUE(BASS_ChannelPlay(h, true));
    EXPECT_LT(sample(again), 8820u);
    EXPECT_EQ(watch_until(again, 8820, 5.0), 8820u);
    expect_clean_watch(again);
}

TEST_F(Audio, TwoStreamsPlayTogether)
{
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    HSTREAM a = BASS_StreamCreateFile(false, short22k.c_str(), 0, 0, 0);
    HSTREAM b = BASS_StreamCreateFile(false, short44k.c_str(), 0, 0, 0);
    Watch wa{a, 44100.0, 2, SDL_GetPerformanceCounter()};
    ASSERT_TRUE(BASS_ChannelPlay(a, false));
    Watch wb{b, 176400.0, 4, SDL_GetPerformanceCounter()};
    ASSERT_TRUE(BASS_ChannelPlay(b, false));
    EXPECT_EQ(watch_until(wa, 8820, 5.0), 8820u);
    EXPECT_EQ(watch_until(wb, 52920, 5.0), 52920u);
    expect_clean_watch(wa);
    expect_clean_watch(wb);
}

// ---- What reaches the device ---------------------------------------------------------------

class AudioOnDisk : public Audio {
protected:
    std::string out_path;

    void SetUp() override
    {
        out_path = (dir / ("out_" + std::to_string(getpid()) + ".raw")).string();
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", out_path.c_str(), 1);
    }

    void TearDown() override
    {
        Audio::TearDown();
        unsetenv("SDL_DISKAUDIOFILE");
        std::remove(out_path.c_str());
    }

    // Plays a file to its end on the disk driver and returns what the device
    // wrote: 16-bit little-endian stereo at 44100 Hz.
    std::vector<int16_t> record(const std::string &path, QWORD total)
    {
        std::vector<int16_t> samples;
        if (!BASS_Init(-1, 44100, 0, nullptr, nullptr)) {
            ADD_FAILURE() << "disk driver did not open";
            return samples;
        }
        HSTREAM h = BASS_StreamCreateFile(false, path.c_str(), 0, 0, BASS_STREAM_PRESCAN);
        BASS_ChannelPlay(h, false);
        Watch w{h, 1.0, 1, SDL_GetPerformanceCounter()};
        EXPECT_EQ(watch_until(w, total, 5.0), total);
        sleep_ms(60);
        BASS_Free(); // closes the file
        std::vector<char> bytes = read_file(out_path);
        samples.resize(bytes.size() / 2);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = int16_t(uint16_t(uint8_t(bytes[2 * i])) | uint16_t(uint8_t(bytes[2 * i + 1])) << 8);
        return samples;
    }
};

TEST_F(AudioOnDisk, StreamAtTheDeviceRateReachesTheDeviceUnchanged)
{
    std::vector<char> pcm = decode_ogg(short44k);
    ASSERT_EQ(pcm.size(), 52920u); // 13230 frames of 4 bytes
    std::vector<int16_t> out = record(short44k, 52920);
    std::vector<char> bytes(out.size() * 2);
    for (size_t i = 0; i < out.size(); ++i) {
        bytes[2 * i] = char(uint16_t(out[i]) & 0xFF);
        bytes[2 * i + 1] = char(uint16_t(out[i]) >> 8);
    }
    // Silence, the decoded PCM byte for byte at a frame boundary, silence.
    ASSERT_GE(bytes.size(), pcm.size());
    size_t at = bytes.size();
    for (size_t k = 0; k + pcm.size() <= bytes.size(); k += 4)
        if (std::equal(pcm.begin(), pcm.end(), bytes.begin() + long(k))) {
            at = k;
            break;
        }
    ASSERT_LT(at, bytes.size()) << "decoded PCM not found in the device output";
    for (size_t k = 0; k < at; ++k)
        ASSERT_EQ(bytes[k], 0) << "sound before the stream at byte " << k;
    for (size_t k = at + pcm.size(); k < bytes.size(); ++k)
        ASSERT_EQ(bytes[k], 0) << "sound after the end at byte " << k;
}

TEST_F(AudioOnDisk, MonoStreamIsResampledToStereoAtTheDeviceRate)
{
    // 4410 frames at 22050 Hz become about 8820 frames at 44100 Hz.
    std::vector<int16_t> out = record(short22k, 8820);
    size_t frames = out.size() / 2;
    size_t first = frames, last = 0;
    int peak = 0;
    bool same_on_both_sides = true;
    for (size_t i = 0; i < frames; ++i) {
        int l = out[2 * i], r = out[2 * i + 1];
        if (l != r)
            same_on_both_sides = false;
        if (l != 0) {
            first = first < i ? first : i;
            last = i;
        }
        peak = std::abs(l) > peak ? std::abs(l) : peak;
    }
    EXPECT_TRUE(same_on_both_sides);
    ASSERT_LT(first, frames);
    double span = double(last - first + 1);
    EXPECT_GT(span, 8820.0 * 0.95);
    EXPECT_LT(span, 8820.0 * 1.05);
    // A sine at half full scale: peak near 16384, allowing for coding error.
    EXPECT_GT(peak, 16384 * 0.85);
    EXPECT_LT(peak, 16384 * 1.15);
}

// ---- Streams that run on the clock ---------------------------------------------------------

TEST_F(Audio, MissingFileGivesAStreamTimedByTheClock)
{
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    HSTREAM h = BASS_StreamCreateFile(false, missing.c_str(), 0, 0, BASS_STREAM_PRESCAN);
    check_clock_stream(h, 176400.0, 4); // 44100 Hz stereo
}

TEST_F(Audio, FileThatIsNotOggVorbisGivesAStreamTimedByTheClock)
{
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    HSTREAM h = BASS_StreamCreateFile(false, not_ogg.c_str(), 0, 0, BASS_STREAM_PRESCAN);
    check_clock_stream(h, 176400.0, 4);
    EXPECT_TRUE(BASS_StreamFree(h));
}

TEST_F(Audio, WithoutADeviceAFileIsTimedByTheClockInItsOwnFormat)
{
    setenv("SDL_AUDIODRIVER", "nonexistent", 1);
    EXPECT_FALSE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    EXPECT_FALSE(BASS_Start());
    HSTREAM h = BASS_StreamCreateFile(false, mono22k.c_str(), 0, 0, BASS_STREAM_PRESCAN);
    EXPECT_EQ(BASS_ChannelBytes2Seconds(h, 44100), 1.0);
    check_clock_stream(h, 44100.0, 2); // 22050 Hz mono
    EXPECT_FALSE(BASS_Update(0));
    EXPECT_TRUE(BASS_StreamFree(h));
}

TEST_F(Audio, WithoutADeviceTheClockStopsAtTheExactEnd)
{
    setenv("SDL_AUDIODRIVER", "nonexistent", 1);
    EXPECT_FALSE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    HSTREAM h = BASS_StreamCreateFile(false, short22k.c_str(), 0, 0, BASS_STREAM_PRESCAN);
    Watch w{h, 44100.0, 2, SDL_GetPerformanceCounter()};
    ASSERT_TRUE(BASS_ChannelPlay(h, false));
    EXPECT_EQ(watch_until(w, 8820, 5.0), 8820u); // 4410 frames of 2 bytes
    sleep_ms(50);
    EXPECT_EQ(sample(w), 8820u);
    expect_clean_watch(w);
}

TEST_F(Audio, WithoutInitAStreamIsTimedByTheClock)
{
    HSTREAM h = BASS_StreamCreateFile(false, stereo44k.c_str(), 0, 0, 0);
    check_clock_stream(h, 176400.0, 4);
}

// ---- Handles and call order --------------------------------------------------------------------

TEST_F(Audio, UnknownHandlesAndRepeatedFreesAreHarmless)
{
    EXPECT_FALSE(BASS_Free()); // never initialised
    EXPECT_FALSE(BASS_StreamFree(0));
    EXPECT_FALSE(BASS_StreamFree(12345));
    EXPECT_FALSE(BASS_ChannelPlay(12345, false));
    EXPECT_EQ(BASS_ChannelGetPosition(12345, BASS_POS_BYTE), 0u);
    EXPECT_EQ(BASS_ChannelBytes2Seconds(12345, 176400), 0.0);
    EXPECT_FALSE(BASS_Update(0));

    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    EXPECT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr)); // already open
    HSTREAM h = BASS_StreamCreateFile(false, stereo44k.c_str(), 0, 0, 0);
    ASSERT_TRUE(BASS_ChannelPlay(h, false));
    Watch w{h, 176400.0, 4, SDL_GetPerformanceCounter()};
    EXPECT_GT(watch_until(w, 1, 5.0), 0u);
    EXPECT_TRUE(BASS_StreamFree(h)); // while playing
    EXPECT_FALSE(BASS_StreamFree(h));
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 0u);
    EXPECT_FALSE(BASS_ChannelPlay(h, false));

    // A stream left open is freed with the device; its handle is then unknown.
    HSTREAM left = BASS_StreamCreateFile(false, stereo44k.c_str(), 0, 0, 0);
    ASSERT_TRUE(BASS_ChannelPlay(left, false));
    EXPECT_TRUE(BASS_Free());
    EXPECT_FALSE(BASS_Free());
    EXPECT_EQ(BASS_ChannelGetPosition(left, BASS_POS_BYTE), 0u);
    EXPECT_FALSE(BASS_StreamFree(left));

    // And the device opens again afterwards.
    EXPECT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
}

TEST_F(Audio, NullFileNameAndTruncatedFileGiveClockStreams)
{
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    HSTREAM null_name = BASS_StreamCreateFile(false, nullptr, 0, 0, 0);
    EXPECT_NE(null_name, 0u);
    EXPECT_EQ(BASS_ChannelBytes2Seconds(null_name, 176400), 1.0);

    // The first 200 bytes of a real file: headers cut short.
    std::vector<char> bytes = read_file(stereo44k);
    ASSERT_GT(bytes.size(), 200u);
    std::string cut = (dir / "cut.ogg").string();
    FILE *f = std::fopen(cut.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, 200, f);
    std::fclose(f);
    HSTREAM h = BASS_StreamCreateFile(false, cut.c_str(), 0, 0, 0);
    check_clock_stream(h, 176400.0, 4);
}

TEST_F(Audio, DamagedMiddleStillEndsAtTheExactLength)
{
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    // 0.3 s of 44100 Hz stereo, one page per packet; noise over 100 bytes
    // half-way through the audio pages. The decoder skips what it cannot
    // read; the last page keeps its granule position, so the length is still
    // known and the position goes on to it through the lost part.
    std::string paged = (dir / "paged.ogg").string();
    ASSERT_TRUE(write_sine_ogg(paged, 44100, 2, 13230, 441.0, true));
    std::vector<char> bytes = read_file(paged);
    std::string capture = "OggS";
    size_t audio = 0; // start of the third page: the first with audio
    for (int page = 0; page < 3; ++page)
        audio = size_t(std::search(bytes.begin() + long(audio) + (page > 0), bytes.end(),
                                   capture.begin(), capture.end()) - bytes.begin());
    ASSERT_LT(audio + 1000, bytes.size());
    size_t from = audio + (bytes.size() - audio) / 2;
    unsigned seed = 1;
    for (size_t i = from; i < from + 100; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = char(seed >> 16);
    }
    std::string damaged = (dir / "damaged.ogg").string();
    FILE *f = std::fopen(damaged.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    ASSERT_LT(decode_ogg(damaged).size(), 52920u); // some sound is lost
    HSTREAM h = BASS_StreamCreateFile(false, damaged.c_str(), 0, 0, 0);
    Watch w{h, 176400.0, 4, SDL_GetPerformanceCounter()};
    ASSERT_TRUE(BASS_ChannelPlay(h, false));
    EXPECT_EQ(watch_until(w, 52920, 5.0), 52920u);
    expect_clean_watch(w);
}

TEST_F(Audio, MemoryBlockPlaysLikeTheFile)
{
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    std::vector<char> bytes = read_file(short22k);
    HSTREAM h = BASS_StreamCreateFile(true, bytes.data(), 0, bytes.size(), 0);
    Watch w{h, 44100.0, 2, SDL_GetPerformanceCounter()};
    ASSERT_TRUE(BASS_ChannelPlay(h, false));
    EXPECT_EQ(watch_until(w, 8820, 5.0), 8820u);
    expect_clean_watch(w);
}

} // namespace
