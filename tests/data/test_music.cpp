// Tests of the generated soundtrack, "music.ogg" in the demo directory:
// format and exact length, peak level, no clipping, the loudness arc of the
// sections, a silent end, and identical bytes when generated again.
#include <vorbis/vorbisfile.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::string MUSIC_PATH = std::string(DEMO_DIR) + "/music.ogg";
const long RATE = 44100;
const long long FRAMES = 7717500;  // 175.0 s

// The whole file decoded to interleaved 16-bit stereo, once per test binary.
struct Decoded {
    bool ok = false;
    int channels = 0;
    long rate = 0;
    long long pcm_total = 0;
    std::vector<short> pcm;
};

const Decoded &decoded_music()
{
    static Decoded d;
    static bool done = false;
    if (done)
        return d;
    done = true;
    OggVorbis_File vf;
    if (ov_fopen(MUSIC_PATH.c_str(), &vf) != 0)
        return d;
    const vorbis_info *vi = ov_info(&vf, -1);
    d.channels = vi->channels;
    d.rate = vi->rate;
    d.pcm_total = ov_pcm_total(&vf, -1);
    std::vector<char> buf(65536);
    int section = 0;
    for (;;) {
        const long n = ov_read(&vf, buf.data(), static_cast<int>(buf.size()), 0, 2, 1, &section);
        if (n <= 0) {
            d.ok = n == 0;
            break;
        }
        for (long i = 0; i + 1 < n; i += 2)
            d.pcm.push_back(static_cast<short>(static_cast<unsigned char>(buf[i]) |
                                               (static_cast<unsigned char>(buf[i + 1]) << 8)));
    }
    ov_clear(&vf);
    return d;
}

// RMS of both channels between two times in tenths of a second, in dBFS
// (full scale 32768).
double rms_db(const Decoded &d, int from_tenths, int to_tenths)
{
    const size_t a = static_cast<size_t>(from_tenths) * (RATE / 10) * 2;
    const size_t b = static_cast<size_t>(to_tenths) * (RATE / 10) * 2;
    double sum = 0.0;
    for (size_t i = a; i < b; ++i)
        sum += static_cast<double>(d.pcm[i]) * d.pcm[i];
    return 20.0 * std::log10(std::sqrt(sum / static_cast<double>(b - a)) / 32768.0 + 1e-12);
}

std::vector<char> read_bytes(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

} // namespace

TEST(MusicFile, FormatAndExactLength)
{
    const Decoded &d = decoded_music();
    ASSERT_TRUE(d.ok) << "cannot decode " << MUSIC_PATH;
    EXPECT_EQ(d.channels, 2);
    EXPECT_EQ(d.rate, RATE);
    EXPECT_EQ(d.pcm_total, FRAMES);
    EXPECT_EQ(d.pcm.size(), static_cast<size_t>(FRAMES) * 2);
}

TEST(MusicFile, PeakAtMostMinusOneDecibelAndNoClipping)
{
    const Decoded &d = decoded_music();
    ASSERT_TRUE(d.ok);
    int peak = 0;
    size_t at_full_scale = 0;
    for (short s : d.pcm) {
        peak = std::max(peak, std::abs(int{s}));
        if (s == 32767 || s == -32768)
            ++at_full_scale;
    }
    const double limit = 32767.0 * std::pow(10.0, -1.0 / 20.0);  // 29203.6
    EXPECT_LE(peak, limit);
    EXPECT_GT(peak, 0.5 * limit);  // normalised, not merely quiet
    EXPECT_EQ(at_full_scale, 0u);
}

TEST(MusicFile, SectionsFollowTheArc)
{
    const Decoded &d = decoded_music();
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(d.pcm.size(), static_cast<size_t>(FRAMES) * 2);
    // Section times in tenths of a second: 16 tenths a bar.
    const double intro = rms_db(d, 0, 192);
    const double build = rms_db(d, 192, 448);
    const double main = rms_db(d, 448, 832);
    const double pause = rms_db(d, 832, 1088);
    const double climax = rms_db(d, 1088, 1472);
    const double outro = rms_db(d, 1472, 1728);
    EXPECT_GT(main, -25.0) << "main section too quiet";
    EXPECT_GT(climax, -25.0);
    EXPECT_LT(intro, build);
    EXPECT_LT(build, main);
    EXPECT_LT(pause, main - 2.0);
    EXPECT_GT(climax, main);
    EXPECT_LT(outro, climax - 2.0);
    EXPECT_GT(intro, -40.0) << "intro is silent";
    EXPECT_GT(pause, -40.0) << "break is silent";
}

TEST(MusicFile, StartsAndEndsInSilence)
{
    const Decoded &d = decoded_music();
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(d.pcm.size(), static_cast<size_t>(FRAMES) * 2);
    int start = 0, end = 0;
    for (size_t i = 0; i < 2 * 441; ++i)  // first 10 ms
        start = std::max(start, std::abs(int{d.pcm[i]}));
    for (size_t i = d.pcm.size() - 2 * 4410; i < d.pcm.size(); ++i)  // last 100 ms
        end = std::max(end, std::abs(int{d.pcm[i]}));
    EXPECT_LT(start, 100);
    EXPECT_LT(end, 100);
}

TEST(MusicFile, GeneratingAgainGivesTheSameBytes)
{
    // A symbolic link, a hard link and a FIFO planted at its temporary names
    // (NAME.tmp-PID...: the shell plants them, then becomes make_music) are
    // skipped, and the file they point at stays as it was.
    const std::string again = std::string(DEMO_DIR) + "/../test_music_again.ogg";
    const std::string victim = again + ".victim";
    { std::ofstream(victim) << "precious"; }
    const std::string command = "sh -c 'ln -s " + victim + " " + again + ".tmp-$$ && ln " + victim + " " + again +
                                ".tmp-$$-1 && mkfifo " + again + ".tmp-$$-2 && exec " + TOOLS_DIR +
                                "/make_music " + again + " > /dev/null'";
    const int status = std::system(command.c_str());
    for (const auto &e : std::filesystem::directory_iterator(std::filesystem::path(again).parent_path()))
        if (e.path().filename().string().starts_with("test_music_again.ogg.tmp-"))
            std::filesystem::remove(e.path());
    ASSERT_EQ(status, 0);
    const std::vector<char> a = read_bytes(MUSIC_PATH), b = read_bytes(again);
    EXPECT_EQ(read_bytes(victim), std::vector<char>({'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));
    std::remove(again.c_str());
    std::remove(victim.c_str());
    ASSERT_GT(a.size(), 100000u);
    EXPECT_TRUE(a == b) << "sizes " << a.size() << " and " << b.size();
}

TEST(MusicFile, ToolRejectsBadArguments)
{
    const std::string tool = std::string(TOOLS_DIR) + "/make_music";
    EXPECT_NE(std::system((tool + " > /dev/null 2>&1").c_str()), 0);
    EXPECT_NE(std::system((tool + " /nonexistent-directory/music.ogg > /dev/null 2>&1").c_str()), 0);
}
