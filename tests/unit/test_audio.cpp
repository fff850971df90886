// test_audio.cpp - the music player, driven by hand: the test calls the audio
// callback itself (a manual device) and owns the clock, so every position is
// exact and nothing waits. Covered: the position while playing (smoothness,
// bounds, the exact end) for several buffer sizes and callback timings; pause,
// resume, seek and mute; the sound handed to the device; the clock fallback;
// damaged and cut files; the demo's player calls and their handles.
//
// The Ogg Vorbis files are encoded with the soundtrack's encoder
// (tools/make_music) and decoded for reference with plain vorbisfile.

#include "audio/bass.h"
#include "audio/player.h"
#include "make_music/encode.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <atomic>
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
// every channel, as an Ogg Vorbis file through the soundtrack's own encoder;
// small_pages puts every audio packet on a page of its own.
bool write_sine_ogg(const std::string &path, long rate, int channels, long frames, double hz,
                    bool small_pages = false)
{
    std::vector<float> sine(static_cast<size_t>(frames));
    for (long i = 0; i < frames; ++i)
        sine[size_t(i)] = float(0.5 * std::sin(2.0 * M_PI * hz * double(i) / double(rate)));
    const std::vector<const std::vector<float> *> all(static_cast<size_t>(channels), &sine);
    std::vector<unsigned char> ogg;
    std::string error;
    if (!encode_vorbis_channels(all, VorbisFormat{rate, 0.4f, small_pages}, ogg, error))
        return false;
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool written = std::fwrite(ogg.data(), 1, ogg.size(), f) == ogg.size();
    return std::fclose(f) == 0 && written;
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

void write_bytes(const std::string &path, const std::vector<char> &bytes, size_t count)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, count, f), count);
    std::fclose(f);
}

// ---- The test's clock: nanoseconds ------------------------------------------------

const uint64_t NS = 1000000000;
std::atomic<uint64_t> Now;

uint64_t test_counter()
{
    return Now.load();
}

void advance(double seconds)
{
    Now += static_cast<uint64_t>(std::llround(seconds * 1e9));
}

// One callback of `frames` device frames (16-bit stereo).
std::vector<int16_t> render(int frames)
{
    std::vector<int16_t> out(size_t(frames) * 2, 0x5A5A); // not silence: the callback must write
    player_render(reinterpret_cast<uint8_t *>(out.data()), frames * 4);
    return out;
}

// Decoded PCM as 16-bit samples, from `frame` on, `frames` long (zeros past the end).
std::vector<int16_t> pcm_frames(const std::vector<char> &pcm, size_t frame, size_t frames)
{
    std::vector<int16_t> out(frames * 2, 0);
    for (size_t i = 0; i < frames * 2 && (frame * 2 + i) * 2 + 1 < pcm.size(); ++i) {
        size_t at = (frame * 2 + i) * 2;
        out[i] = int16_t(uint16_t(uint8_t(pcm[at])) | uint16_t(uint8_t(pcm[at + 1])) << 8);
    }
    return out;
}

bool silent(const std::vector<int16_t> &v)
{
    return std::all_of(v.begin(), v.end(), [](int16_t s) { return s == 0; });
}

// The device calling back every `buffer` frames at 44100 Hz, on time, from
// the clock's present on; `last` is what its latest callback gave.
struct Regular {
    explicit Regular(int frames) : buffer(frames), start(Now.load()) {}
    int buffer;
    uint64_t start;
    int done = 0;
    std::vector<int16_t> last;

    // Moves the clock on to `seconds` after the start, calling back on the way.
    void run_to(double seconds)
    {
        for (double due = 0.0; (due = done * buffer / 44100.0) <= seconds; ++done) {
            Now = start + uint64_t(std::llround(due * 1e9));
            last = render(buffer);
        }
        Now = start + uint64_t(std::llround(seconds * 1e9));
    }
};

// ---- Fixture ------------------------------------------------------------------

class Audio : public ::testing::Test {
protected:
    static fs::path dir;
    static std::string mono22k;   // 1.0 s, 22050 Hz mono: 22050 frames
    static std::string stereo44k; // 0.5 s, 44100 Hz stereo: 22050 frames
    static std::string long44k;   // 2.0 s, 44100 Hz stereo: 88200 frames
    static std::string cut44k;    // long44k, a page per packet, cut after 60 % of its bytes
    static std::string not_ogg;   // a text file named .ogg
    static std::string missing;
    static std::vector<char> long_pcm;

    static void SetUpTestSuite()
    {
        dir = fs::temp_directory_path() / ("demo_audio_test_" + std::to_string(getpid()));
        fs::create_directories(dir);
        mono22k = (dir / "mono22k.ogg").string();
        stereo44k = (dir / "stereo44k.ogg").string();
        long44k = (dir / "long44k.ogg").string();
        cut44k = (dir / "cut44k.ogg").string();
        not_ogg = (dir / "not_ogg.ogg").string();
        missing = (dir / "missing.ogg").string();
        ASSERT_TRUE(write_sine_ogg(mono22k, 22050, 1, 22050, 441.0));
        ASSERT_TRUE(write_sine_ogg(stereo44k, 44100, 2, 22050, 441.0));
        ASSERT_TRUE(write_sine_ogg(long44k, 44100, 2, 88200, 441.0));
        long_pcm = decode_ogg(long44k);
        ASSERT_EQ(long_pcm.size(), 88200u * 4);
        ASSERT_TRUE(write_sine_ogg(cut44k, 44100, 2, 88200, 441.0, true));
        std::vector<char> bytes = read_file(cut44k);
        write_bytes(cut44k, bytes, bytes.size() * 6 / 10);
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

    void SetUp() override
    {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        Now = 5 * NS;
        player_set_clock(test_counter, NS);
    }

    void TearDown() override
    {
        BASS_Free();
        player_close_device();
        player_set_clock(nullptr, 0);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }

    // A clock-timed stream, played now: its position is the time since play,
    // exactly, in whole frames; before play it stays at 0.
    static void check_clock(uint32_t rate, uint32_t frame_bytes)
    {
        ASSERT_TRUE(player_is_open());
        EXPECT_EQ(player_rate(), rate);
        EXPECT_EQ(player_frame_bytes(), frame_bytes);
        advance(0.5);
        EXPECT_EQ(player_position_frames(), 0u); // not yet played
        player_play();
        EXPECT_EQ(player_position_frames(), 0u);
        advance(0.25);
        EXPECT_EQ(player_position_frames(), rate / 4);
        advance(0.5);
        EXPECT_EQ(player_position_frames(), rate * 3 / 4);
        EXPECT_EQ(player_position(), double(rate * 3 / 4) / double(rate));
    }
};

fs::path Audio::dir;
std::string Audio::mono22k, Audio::stereo44k, Audio::long44k, Audio::cut44k;
std::string Audio::not_ogg, Audio::missing;
std::vector<char> Audio::long_pcm;

// ---- The position while playing on a device ----------------------------------------

enum class Arrival { OnTime, Fast, Slow, Late, Early, Pairs };

struct PlayRun {
    int samples = 0;
    int repeats = 0;          // readings equal to the previous one before the end
    bool monotonic = true;
    double worst_ahead = -1e9; // max of position - handed, in buffers
    double worst_behind = -1e9;
    double worst_step_error = 0; // seconds, steps before the end
    uint64_t last = 0;
    int at_end = 0;           // readings exactly at the length
};

// Plays long44k on a manual device of `buffer` frames at 44100 Hz for
// `seconds`, the callbacks arriving as `arrival` says, and reads the
// position `hz` times a second, at playback speed `speed`.
PlayRun simulate(const std::string &path, int buffer, double hz, Arrival arrival, double seconds,
                 double speed = 1.0)
{
    PlayRun run;
    EXPECT_TRUE(player_open_manual_device(44100, buffer));
    EXPECT_TRUE(player_open(path.c_str()));
    EXPECT_TRUE(player_set_speed(speed));
    const uint64_t length = uint64_t(std::llround(player_length() * 44100));
    const uint64_t start = Now;
    player_play();
    const double period = buffer / 44100.0;
    auto callback_time = [&](int i) {
        double t = (0.3 + i) * period;
        switch (arrival) {
        case Arrival::OnTime: break;
        case Arrival::Fast: t *= 0.99; break;  // a device clock 1 % fast
        case Arrival::Slow: t *= 1.01; break;
        case Arrival::Late: t += i % 5 == 2 ? 0.5 * period : 0.0; break;
        case Arrival::Early: t -= i % 5 == 2 ? 0.25 * period : 0.0; break;
        case Arrival::Pairs: t += i % 2 == 1 ? period : 0.0; break; // two at once, then a gap of two
        }
        return start + uint64_t(std::llround(t * 1e9));
    };
    int callbacks = 0;
    bool first = true;
    for (int j = 0; j / hz < seconds; ++j) {
        const uint64_t reading = start + uint64_t(std::llround(j / hz * 1e9));
        while (callback_time(callbacks) <= reading) {
            Now = callback_time(callbacks);
            render(buffer);
            ++callbacks;
        }
        Now = reading;
        const uint64_t p = player_position_frames();
        const double handed = double(callbacks) * buffer * speed; // file frames
        if (p < length) {
            run.worst_ahead = std::max(run.worst_ahead, (double(p) - handed) / (buffer * speed));
            run.worst_behind = std::max(run.worst_behind, (handed - double(p)) / (buffer * speed));
        } else {
            ++run.at_end;
        }
        if (!first) {
            if (p < run.last)
                run.monotonic = false;
            if (p == run.last && p < length)
                ++run.repeats;
            if (p < length)
                run.worst_step_error = std::max(run.worst_step_error,
                                                std::fabs(double(p - run.last) / 44100.0 - speed / hz));
        }
        first = false;
        run.last = p;
        ++run.samples;
    }
    return run;
}

TEST_F(Audio, PositionMovesWithTheDisplayAndFollowsTheDevice)
{
    const Arrival arrivals[] = {Arrival::OnTime, Arrival::Fast, Arrival::Slow,
                                Arrival::Late,   Arrival::Early, Arrival::Pairs};
    const char *names[] = {"on time", "fast", "slow", "late", "early", "pairs"};
    for (int buffer : {512, 1024, 4096})
        for (double hz : {60.0, 144.0})
            for (int a = 0; a < 6; ++a) {
                SCOPED_TRACE(std::to_string(buffer) + " frames, " + std::to_string(int(hz)) + " Hz, "
                             + names[a]);
                PlayRun run = simulate(long44k, buffer, hz, arrivals[a], 2.4);
                EXPECT_EQ(run.repeats, 0);
                EXPECT_TRUE(run.monotonic);
                EXPECT_LE(run.worst_ahead, 1.0);
                EXPECT_LE(run.worst_behind, 1.0);
                if (a <= 2) { // regular callbacks: every step is the frame time
                    EXPECT_LE(run.worst_step_error, 0.001);
                }
                EXPECT_EQ(run.last, 88200u); // stopped exactly at the length
                EXPECT_GE(run.at_end, 2);
            }
}

TEST_F(Audio, PositionStartsAtPlayAndHoldsAtTheEnd)
{
    ASSERT_TRUE(player_open_manual_device(44100, 1024));
    ASSERT_TRUE(player_open(stereo44k.c_str()));
    EXPECT_EQ(player_length(), 0.5);
    for (int i = 0; i < 3; ++i) { // the device runs; an unplayed stream stays at 0
        EXPECT_TRUE(silent(render(1024)));
        advance(0.1);
    }
    EXPECT_EQ(player_position_frames(), 0u);
    player_play();
    EXPECT_EQ(player_position_frames(), 0u);
    for (int i = 0; i < 40; ++i) { // 0.93 s of callbacks, far past the end
        render(1024);
        advance(1024 / 44100.0);
    }
    EXPECT_EQ(player_position_frames(), 22050u);
    advance(10.0);
    EXPECT_EQ(player_position_frames(), 22050u);
    EXPECT_EQ(player_position(), 0.5);
}

// ---- Pause, resume, seek, mute -------------------------------------------------------------

TEST_F(Audio, PauseHoldsAndResumeGoesOnFromThere)
{
    ASSERT_TRUE(player_open_manual_device(44100, 1024));
    ASSERT_TRUE(player_open(long44k.c_str()));
    player_play();
    for (int i = 0; i < 10; ++i) {
        render(1024);
        advance(1024 / 44100.0);
    }
    player_pause();
    EXPECT_TRUE(player_paused());
    const uint64_t held = player_position_frames();
    EXPECT_GT(held, 9u * 1024);
    EXPECT_LE(held, 11u * 1024);
    for (int i = 0; i < 10; ++i) { // paused: silence, and the position holds
        EXPECT_TRUE(silent(render(1024)));
        advance(1024 / 44100.0);
        EXPECT_EQ(player_position_frames(), held);
    }
    player_resume();
    EXPECT_FALSE(player_paused());
    EXPECT_EQ(player_position_frames(), held);
    // The sound goes on with the frame after the last one handed out, and the
    // position moves on smoothly from where it held.
    Regular device(1024);
    device.run_to(0.0);
    EXPECT_EQ(device.last, pcm_frames(long_pcm, 10 * 1024, 1024));
    uint64_t last = held;
    for (int j = 1; j <= 30; ++j) {
        device.run_to(j / 60.0);
        uint64_t p = player_position_frames();
        EXPECT_GT(p, last);
        EXPECT_NEAR(double(p - last) / 44100.0, 1.0 / 60, 0.001) << "reading " << j;
        last = p;
    }
}

TEST_F(Audio, SeekIsSampleAccuratePlayingOrPausedAndClamps)
{
    ASSERT_TRUE(player_open_manual_device(44100, 1024));
    ASSERT_TRUE(player_open(long44k.c_str()));
    player_play();
    for (int i = 0; i < 3; ++i) {
        render(1024);
        advance(1024 / 44100.0);
    }
    player_seek(0.75); // playing
    EXPECT_EQ(player_position_frames(), 33075u);
    EXPECT_EQ(render(1024), pcm_frames(long_pcm, 33075, 1024));
    player_seek(0.25); // backwards
    EXPECT_EQ(player_position_frames(), 11025u);
    EXPECT_EQ(render(1024), pcm_frames(long_pcm, 11025, 1024));

    player_pause();
    player_seek(1.5); // paused: the position moves, the sound waits
    EXPECT_EQ(player_position_frames(), 66150u);
    EXPECT_TRUE(silent(render(1024)));
    advance(0.5);
    EXPECT_EQ(player_position_frames(), 66150u);
    player_resume();
    EXPECT_EQ(render(1024), pcm_frames(long_pcm, 66150, 1024));

    player_seek(100.0); // past the end: the end, and silence
    EXPECT_EQ(player_position_frames(), 88200u);
    EXPECT_TRUE(silent(render(1024)));
    advance(1.0);
    EXPECT_EQ(player_position_frames(), 88200u);
    player_seek(-3.0);
    EXPECT_EQ(player_position_frames(), 0u);
    player_seek(std::nan(""));
    EXPECT_EQ(player_position_frames(), 0u);
    EXPECT_EQ(render(1024), pcm_frames(long_pcm, 0, 1024));
}

TEST_F(Audio, SeekWhilePlayingKeepsTheStepsEven)
{
    ASSERT_TRUE(player_open_manual_device(44100, 1024));
    ASSERT_TRUE(player_open(long44k.c_str()));
    player_play();
    Regular device(1024);
    uint64_t last = 0;
    for (int j = 1; j <= 90; ++j) {
        device.run_to(j / 60.0);
        if (j == 30)
            player_seek(0.2);
        if (j == 60)
            player_seek(1.2);
        const uint64_t p = player_position_frames();
        if (j == 30 || j == 60) {
            EXPECT_EQ(p, j == 30 ? 8820u : 52920u);
        } else if (j > 1) {
            EXPECT_GT(p, last);
            EXPECT_NEAR(double(p - last) / 44100.0, 1.0 / 60, 0.001) << "reading " << j;
        }
        last = p;
    }
}

TEST_F(Audio, MuteSilencesTheSoundAndThePositionGoesOn)
{
    ASSERT_TRUE(player_open_manual_device(44100, 1024));
    ASSERT_TRUE(player_open(long44k.c_str()));
    player_play();
    EXPECT_EQ(render(1024), pcm_frames(long_pcm, 0, 1024));
    player_set_muted(true);
    EXPECT_TRUE(player_muted());
    for (int i = 1; i <= 4; ++i) {
        advance(1024 / 44100.0);
        EXPECT_TRUE(silent(render(1024)));
    }
    advance(1024 / 44100.0);
    EXPECT_GT(player_position_frames(), 4u * 1024);
    player_set_muted(false);
    EXPECT_EQ(render(1024), pcm_frames(long_pcm, 5 * 1024, 1024));
}

// ---- Half speed -------------------------------------------------------------------------------

// Half speed's sound from `in` (16-bit stereo): each frame is put out after
// the mean of it and the frame before (itself, for the first), rounded down.
std::vector<int16_t> spread(const std::vector<int16_t> &in)
{
    std::vector<int16_t> out;
    for (size_t i = 0; i < in.size(); ++i) {
        const int before = i >= 2 ? in[i - 2] : in[i];
        out.push_back(int16_t(std::floor((before + in[i]) / 2.0)));
    }
    for (size_t i = 0; i < in.size(); i += 2) // interleave: mean, frame
        out.insert(out.begin() + long(2 * i + 2), in.begin() + long(i), in.begin() + long(i + 2));
    return out;
}

std::vector<int16_t> frames_of(const std::vector<int16_t> &v, size_t from, size_t count)
{
    return std::vector<int16_t>(v.begin() + long(from * 2), v.begin() + long((from + count) * 2));
}

TEST_F(Audio, HalfSpeedSpreadsTheDecodedSoundTwoToOneAndSpeedOneIsUntouched)
{
    ASSERT_TRUE(player_open_manual_device(44100, 1001));
    ASSERT_TRUE(player_open(long44k.c_str()));
    for (double refused : {0.0, 0.25, 0.75, 2.0, -0.5, std::nan("")})
        EXPECT_FALSE(player_set_speed(refused));
    EXPECT_EQ(player_speed(), 1.0);
    EXPECT_TRUE(player_set_speed(0.5)); // and back before play: nothing left of it
    EXPECT_TRUE(player_set_speed(1.0));
    player_play();
    EXPECT_EQ(render(1000), pcm_frames(long_pcm, 0, 1000));

    // Odd callbacks split a frame from its mean; the sound goes on from
    // where the decoder stood, then at speed 1 again from there.
    ASSERT_TRUE(player_set_speed(0.5));
    EXPECT_EQ(player_speed(), 0.5);
    std::vector<int16_t> half;
    for (int i = 0; i < 3; ++i) {
        advance(1001 / 44100.0);
        const std::vector<int16_t> piece = render(1001);
        half.insert(half.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(half, frames_of(spread(pcm_frames(long_pcm, 1000, 1502)), 0, 3003));
    ASSERT_TRUE(player_set_speed(1.0));
    EXPECT_EQ(render(1000), pcm_frames(long_pcm, 2502, 1000));

    // A seek starts afresh; past the end comes silence; muted is silent.
    ASSERT_TRUE(player_set_speed(0.5));
    player_seek((88200 - 100) / 44100.0);
    std::vector<int16_t> end = spread(pcm_frames(long_pcm, 88100, 100));
    end.resize(300 * 2, 0);
    EXPECT_EQ(render(300), end);
    player_seek(0.0);
    player_set_muted(true);
    EXPECT_TRUE(silent(render(1001)));
    player_set_muted(false);
    // 501 frames went out muted, the last one's own copy yet to come.
    EXPECT_EQ(render(1000), frames_of(spread(pcm_frames(long_pcm, 500, 501)), 1, 1000));

    EXPECT_FALSE(player_open(nullptr)); // a new stream starts at speed 1
    EXPECT_EQ(player_speed(), 1.0);
    player_close();
    EXPECT_FALSE(player_set_speed(0.5)); // no stream
}

TEST_F(Audio, HalfSpeedPositionIsAsSmoothAtHalfTheRate)
{
    const char *names[] = {"on time", "fast", "slow", "late", "early", "pairs"};
    for (int buffer : {512, 1001})
        for (int a = 0; a < 6; ++a) {
            SCOPED_TRACE(std::to_string(buffer) + " frames, " + names[a]);
            PlayRun run = simulate(long44k, buffer, 60.0, Arrival(a), 4.6, 0.5);
            EXPECT_EQ(run.repeats, 0);
            EXPECT_TRUE(run.monotonic);
            EXPECT_LE(run.worst_ahead, 1.0); // in buffers of half as many file frames
            EXPECT_LE(run.worst_behind, 1.0);
            if (a <= 2) {
                EXPECT_LE(run.worst_step_error, 0.001); // against 1/120 s of music a frame
            }
            EXPECT_EQ(run.last, 88200u);
        }
}

TEST_F(Audio, SwitchingSpeedWhilePlayingKeepsThePositionContinuous)
{
    const int buffer = 1024;
    ASSERT_TRUE(player_open_manual_device(44100, buffer));
    ASSERT_TRUE(player_open(long44k.c_str()));
    const uint64_t start = Now;
    player_play();
    double speed = 1.0, handed = 0.0, last_switch = -1.0;
    int callbacks = 0;
    uint64_t last = 0;
    for (int j = 1; j <= 150; ++j) { // 2.5 s at 60 Hz: 0.5 s at 1, 1 s at 0.5, then 1
        const double now = j / 60.0;
        while ((0.3 + callbacks) * buffer / 44100.0 <= now) {
            Now = start + uint64_t(std::llround((0.3 + callbacks++) * buffer / 44100.0 * 1e9));
            render(buffer);
            handed += buffer * speed;
        }
        Now = start + uint64_t(std::llround(now * 1e9));
        const uint64_t p = player_position_frames();
        SCOPED_TRACE("reading " + std::to_string(j) + " at speed " + std::to_string(speed));
        EXPECT_GT(p, last); // never repeats, never goes back
        if (now - last_switch > 2.0 * buffer / 44100.0) { // the new speed has reached the sound
            EXPECT_NEAR(double(p - last) / 44100.0, speed / 60.0, 0.001);
        }
        EXPECT_LE(std::fabs(double(p) - handed), buffer); // within a buffer of the sound
        last = p;
        if (j == 30 || j == 90) {
            speed = j == 30 ? 0.5 : 1.0;
            ASSERT_TRUE(player_set_speed(speed));
            EXPECT_EQ(player_position_frames(), p); // continuous at the switch
            last_switch = now;
        }
    }
}

// No device: the clock at half the rate, exactly, from where it stood.
TEST_F(Audio, HalfSpeedOnTheClock)
{
    EXPECT_FALSE(player_open(mono22k.c_str()));
    player_play();
    advance(0.2);
    ASSERT_TRUE(player_set_speed(0.5));
    EXPECT_EQ(player_position_frames(), 4410u);
    advance(0.4);
    EXPECT_EQ(player_position_frames(), 4410u + 4410);
    player_seek(0.5);
    advance(0.1 + 1.0 / 22050); // 2205.5 frames, halved and rounded down
    EXPECT_EQ(player_position_frames(), 11025u + 1102);
    ASSERT_TRUE(player_set_speed(1.0));
    advance(0.1);
    EXPECT_EQ(player_position_frames(), 11025u + 1102 + 2205);
}

// ---- What reaches the device ---------------------------------------------------------------

TEST_F(Audio, StreamAtTheDeviceRateReachesTheDeviceUnchanged)
{
    std::vector<char> pcm = decode_ogg(stereo44k);
    ASSERT_EQ(pcm.size(), 88200u); // 22050 frames of 4 bytes
    ASSERT_TRUE(player_open_manual_device(44100, 1000));
    ASSERT_TRUE(player_open(stereo44k.c_str()));
    player_play();
    std::vector<int16_t> out;
    for (int i = 0; i < 25; ++i) {
        std::vector<int16_t> piece = render(1000);
        out.insert(out.end(), piece.begin(), piece.end());
        advance(1000 / 44100.0);
    }
    // From the first frame of the first callback: the decoded PCM, then silence.
    EXPECT_EQ(std::vector<int16_t>(out.begin(), out.begin() + 44100), pcm_frames(pcm, 0, 22050));
    EXPECT_TRUE(silent(std::vector<int16_t>(out.begin() + 44100, out.end())));
}

TEST_F(Audio, MonoStreamIsResampledToStereoAtTheDeviceRate)
{
    // 22050 frames at 22050 Hz become about 44100 frames at 44100 Hz.
    ASSERT_TRUE(player_open_manual_device(44100, 1024));
    ASSERT_TRUE(player_open(mono22k.c_str()));
    EXPECT_EQ(player_rate(), 22050u);
    EXPECT_EQ(player_frame_bytes(), 2u);
    player_play();
    std::vector<int16_t> out;
    for (int i = 0; i < 50; ++i) {
        std::vector<int16_t> piece = render(1024);
        out.insert(out.end(), piece.begin(), piece.end());
        advance(1024 / 44100.0);
    }
    EXPECT_EQ(player_position_frames(), 22050u);
    size_t frames = out.size() / 2, first = frames, last = 0;
    int peak = 0;
    bool same_on_both_sides = true;
    for (size_t i = 0; i < frames; ++i) {
        int l = out[2 * i], r = out[2 * i + 1];
        same_on_both_sides = same_on_both_sides && l == r;
        if (l != 0) {
            first = std::min(first, i);
            last = i;
        }
        peak = std::max(peak, std::abs(l));
    }
    EXPECT_TRUE(same_on_both_sides);
    ASSERT_LT(first, frames);
    EXPECT_NEAR(double(last - first + 1), 44100.0, 44100.0 * 0.05);
    // A sine at half full scale: peak near 16384, allowing for coding error.
    EXPECT_NEAR(peak, 16384, 16384 * 0.15);
}

// ---- Damaged files ------------------------------------------------------------------

TEST_F(Audio, CutFileGoesOnByTheClockAfterItsSoundWithOneLine)
{
    const size_t sound = decode_ogg(cut44k).size() / 4;
    ASSERT_GT(sound, 0u);
    ASSERT_LT(sound, 88200u * 7 / 10);
    ASSERT_TRUE(player_open_manual_device(44100, 1024));
    testing::internal::CaptureStderr();
    EXPECT_TRUE(player_open(cut44k.c_str()));
    EXPECT_LT(player_length(), 0.0);
    player_play();
    std::vector<int16_t> out;
    for (int i = 0; i < 130; ++i) { // 3 s of callbacks
        std::vector<int16_t> piece = render(1024);
        out.insert(out.end(), piece.begin(), piece.end());
        advance(1024 / 44100.0);
        player_position_frames();
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, cut44k + ": the music file is damaged; the show goes on by the clock\n");
    // The sound is what survived, then silence; the position runs on with the device.
    EXPECT_EQ(std::vector<int16_t>(out.begin(), out.begin() + long(sound * 2)), pcm_frames(long_pcm, 0, sound));
    EXPECT_TRUE(silent(std::vector<int16_t>(out.begin() + long(sound * 2), out.end())));
    const uint64_t p = player_position_frames();
    EXPECT_GT(p, 129u * 1024 - 1024);
    render(1024);
    advance(1024 / 44100.0);
    EXPECT_GT(player_position_frames(), p);

    // Without a device, the clock does the same.
    player_close_device();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(player_open(cut44k.c_str()));
    player_play();
    advance(10.0);
    EXPECT_EQ(player_position_frames(), 441000u);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("damaged"), std::string::npos);
}

TEST_F(Audio, CompleteFilesSayNothingAndStopAtTheirEnd)
{
    testing::internal::CaptureStderr();
    ASSERT_TRUE(player_open_manual_device(44100, 1024));
    ASSERT_TRUE(player_open(long44k.c_str()));
    player_play();
    for (int i = 0; i < 100; ++i) {
        render(1024);
        advance(1024 / 44100.0);
        player_position_frames();
    }
    EXPECT_EQ(player_position_frames(), 88200u);
    player_close_device();
    ASSERT_FALSE(player_open(long44k.c_str()));
    player_play();
    advance(3.0);
    EXPECT_EQ(player_position_frames(), 88200u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(Audio, DamagedMiddleStillEndsAtTheExactLength)
{
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
    write_bytes(damaged, bytes, bytes.size());
    ASSERT_LT(decode_ogg(damaged).size(), 52920u); // some sound is lost
    ASSERT_TRUE(player_open_manual_device(44100, 1024));
    ASSERT_TRUE(player_open(damaged.c_str()));
    player_play();
    uint64_t last = 0;
    for (int i = 0; i < 30; ++i) {
        render(1024);
        advance(1024 / 44100.0);
        uint64_t p = player_position_frames();
        EXPECT_GE(p, last);
        last = p;
    }
    EXPECT_EQ(last, 13230u);
}

// ---- Streams that run on the clock ---------------------------------------------------------

TEST_F(Audio, StreamsWithoutAPlayableFileRunOnTheClockWithoutEnd)
{
    ASSERT_TRUE(player_open_manual_device(44100, 1024));
    std::vector<char> bytes = read_file(stereo44k);
    std::string headers_cut = (dir / "headers_cut.ogg").string(); // the first 200 bytes
    write_bytes(headers_cut, bytes, 200);
    // A directory and a FIFO in the file's place: neither may block the open.
    const std::string folder = (dir / "folder.ogg").string(), fifo = (dir / "fifo.ogg").string();
    fs::create_directories(folder);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // What each says on standard error: nothing for a missing file (the
    // ordinary silent case), one line for a file that gives no sound.
    const std::pair<std::string, std::string> cases[] = {
        {missing, ""},
        {std::string(), ""},
        {not_ogg, not_ogg + ": the music file is not an Ogg Vorbis stream; the show goes on by the clock\n"},
        {headers_cut, headers_cut + ": the music file is not an Ogg Vorbis stream; the show goes on by the clock\n"},
        {folder, folder + ": the music file is not a regular file; the show goes on by the clock\n"},
        {fifo, fifo + ": the music file is not a regular file; the show goes on by the clock\n"},
    };
    for (const auto &[path, said] : cases) {
        SCOPED_TRACE(path);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(player_open(path.empty() ? nullptr : path.c_str()));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), said);
        EXPECT_LT(player_length(), 0.0);
        check_clock(44100, 4);
        EXPECT_TRUE(silent(render(1024)));
        advance(1000.0);
        EXPECT_EQ(player_position_frames(), 1000u * 44100 + 44100 * 3 / 4);
    }
    fs::remove(fifo);
}

TEST_F(Audio, WithoutADeviceAFileRunsOnTheClockInItsOwnFormatToItsEnd)
{
    EXPECT_FALSE(player_open(mono22k.c_str()));
    EXPECT_EQ(player_length(), 1.0);
    check_clock(22050, 2);
    advance(0.25);
    EXPECT_EQ(player_position_frames(), 22050u);
    advance(5.0);
    EXPECT_EQ(player_position_frames(), 22050u);
}

TEST_F(Audio, ClockPauseResumeAndSeek)
{
    EXPECT_FALSE(player_open(mono22k.c_str()));
    player_seek(0.5); // before play: play starts from there
    player_play();
    advance(0.1);
    EXPECT_EQ(player_position_frames(), 11025u + 2205);
    player_pause();
    advance(3.0);
    EXPECT_EQ(player_position_frames(), 13230u);
    player_seek(0.2); // paused
    advance(1.0);
    EXPECT_EQ(player_position_frames(), 4410u);
    player_resume();
    advance(0.1);
    EXPECT_EQ(player_position_frames(), 6615u);
    player_seek(7.0); // past the end
    EXPECT_EQ(player_position_frames(), 22050u);
    advance(0.1);
    EXPECT_EQ(player_position_frames(), 22050u);
    player_seek(0.0);
    advance(0.5);
    EXPECT_EQ(player_position(), 0.5);
    player_set_muted(true); // nothing to silence; the clock goes on
    advance(0.5);
    EXPECT_EQ(player_position(), 1.0);

    EXPECT_FALSE(player_open(nullptr)); // no file: no end to clamp at
    player_play();
    player_seek(500.0);
    advance(0.5);
    EXPECT_EQ(player_position(), 500.5);
}

// ---- The demo's calls -------------------------------------------------------------------------

TEST_F(Audio, DemoCallsGiveThePlayersPositionInBytes)
{
    ASSERT_TRUE(player_open_manual_device(44100, 1024));
    HSTREAM h = BASS_StreamCreateFile(false, mono22k.c_str(), 0, 0, BASS_STREAM_PRESCAN);
    ASSERT_NE(h, 0u);
    // 22050 Hz mono: 44100 bytes a second.
    EXPECT_EQ(BASS_ChannelBytes2Seconds(h, 88200), 2.0);
    EXPECT_EQ(BASS_ChannelBytes2Seconds(h, 11025), 0.25);
    EXPECT_EQ(BASS_ChannelBytes2Seconds(h, 0), 0.0);
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(h, false));
    for (int i = 0; i < 12; ++i) {
        render(1024);
        advance(1024 / 44100.0);
        QWORD bytes = BASS_ChannelGetPosition(h, BASS_POS_BYTE);
        EXPECT_EQ(bytes, player_position_frames() * 2);
        EXPECT_EQ(BASS_ChannelBytes2Seconds(h, bytes), player_position());
        EXPECT_GT(bytes, 0u);
    }
    EXPECT_EQ(BASS_ChannelGetPosition(h, 1), 0u); // another mode
    for (int i = 0; i < 40; ++i) {
        render(1024);
        advance(1024 / 44100.0);
    }
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 44100u); // 1 s, exactly
    EXPECT_TRUE(BASS_StreamFree(h));

    h = BASS_StreamCreateFile(false, missing.c_str(), 0, 0, BASS_STREAM_PRESCAN);
    EXPECT_EQ(BASS_ChannelBytes2Seconds(h, 176400), 1.0); // no file: 44100 Hz stereo
    EXPECT_EQ(BASS_ChannelBytes2Seconds(h, 105840000), 600.0);
    ASSERT_TRUE(BASS_ChannelPlay(h, false));
    advance(3.0);
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 529200u);
}

TEST_F(Audio, DemoCallsOnRealDriversAndWithoutThem)
{
    // SDL's dummy driver opens; a stream then plays on it.
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    EXPECT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr)); // already open
    EXPECT_TRUE(BASS_Start());
    HSTREAM h = BASS_StreamCreateFile(false, stereo44k.c_str(), 0, 0, BASS_STREAM_PRESCAN);
    EXPECT_EQ(BASS_ChannelBytes2Seconds(h, 176400), 1.0);
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 0u); // not yet played
    EXPECT_TRUE(BASS_ChannelPlay(h, false));
    EXPECT_TRUE(BASS_Update(0));
    EXPECT_TRUE(BASS_Free());

    // No driver: BASS_Init fails, a file is timed by the clock in its own format.
    setenv("SDL_AUDIODRIVER", "nonexistent", 1);
    EXPECT_FALSE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    EXPECT_FALSE(BASS_Start());
    EXPECT_FALSE(BASS_Update(0));
    h = BASS_StreamCreateFile(false, mono22k.c_str(), 0, 0, BASS_STREAM_PRESCAN);
    ASSERT_TRUE(BASS_ChannelPlay(h, false));
    advance(0.5);
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 22050u);
    advance(5.0);
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 44100u); // its exact end
    EXPECT_TRUE(BASS_StreamFree(h));

    // Device 0: no output wanted; streams run on the clock.
    EXPECT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
    h = BASS_StreamCreateFile(false, stereo44k.c_str(), 0, 0, 0);
    ASSERT_TRUE(BASS_ChannelPlay(h, false));
    advance(0.25);
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 44100u);
}

TEST_F(Audio, UnknownHandlesAndRepeatedFreesAreHarmless)
{
    EXPECT_FALSE(BASS_Free()); // never initialised
    EXPECT_FALSE(BASS_StreamFree(0));
    EXPECT_FALSE(BASS_StreamFree(12345));
    EXPECT_FALSE(BASS_ChannelPlay(12345, false));
    EXPECT_EQ(BASS_ChannelGetPosition(12345, BASS_POS_BYTE), 0u);
    EXPECT_EQ(BASS_ChannelBytes2Seconds(12345, 176400), 0.0);
    EXPECT_FALSE(BASS_Update(0));

    // Without BASS_Init a stream is timed by the clock.
    HSTREAM h = BASS_StreamCreateFile(false, stereo44k.c_str(), 0, 0, 0);
    ASSERT_NE(h, 0u);
    // One stream at a time; no memory blocks, offsets or restarts.
    EXPECT_EQ(BASS_StreamCreateFile(false, stereo44k.c_str(), 0, 0, 0), 0u);
    EXPECT_FALSE(BASS_ChannelPlay(h, true));
    ASSERT_TRUE(BASS_ChannelPlay(h, false));
    advance(0.1);
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 17640u);
    EXPECT_TRUE(BASS_StreamFree(h));
    EXPECT_FALSE(BASS_StreamFree(h));
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 0u);
    EXPECT_FALSE(BASS_ChannelPlay(h, false));
    std::vector<char> bytes = read_file(stereo44k);
    EXPECT_EQ(BASS_StreamCreateFile(true, bytes.data(), 0, bytes.size(), 0), 0u);
    EXPECT_EQ(BASS_StreamCreateFile(false, stereo44k.c_str(), 100, 0, 0), 0u);

    // A stream left open is freed with the device; its handle is then unknown.
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    HSTREAM left = BASS_StreamCreateFile(false, stereo44k.c_str(), 0, 0, 0);
    EXPECT_NE(left, h);
    ASSERT_TRUE(BASS_ChannelPlay(left, false));
    EXPECT_TRUE(BASS_Free());
    EXPECT_FALSE(BASS_Free());
    EXPECT_EQ(BASS_ChannelGetPosition(left, BASS_POS_BYTE), 0u);
    EXPECT_FALSE(BASS_StreamFree(left));
    EXPECT_FALSE(player_is_open());

    // And the device opens again afterwards.
    EXPECT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
}

} // namespace
