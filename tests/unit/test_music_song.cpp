// Tests of the soundtrack's arrangement and composition: the time grid, which
// parts play where, the octave of the climax lead, determinism of a render
// and the level after mastering.
#include "make_music/arrangement.h"
#include "make_music/song.h"

#include "test_music_pitch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <utility>

namespace {

double rms_between(const Mix &mix, int64_t from, int64_t to)
{
    double sum = 0.0;
    for (int64_t i = from; i < to; ++i)
        sum += double{mix.left[i]} * mix.left[i] + double{mix.right[i]} * mix.right[i];
    return std::sqrt(sum / (2.0 * static_cast<double>(to - from)));
}

double whole_rms(const Mix &mix)
{
    return rms_between(mix, 0, static_cast<int64_t>(mix.left.size()));
}

// Renders only `parts` for bars [first, end), with no tail.
double parts_rms(int first, int end, unsigned parts)
{
    Mix mix;
    render_bars(first, end, int64_t{end - first} * FRAMES_PER_BAR, mix, parts);
    return whole_rms(mix);
}

} // namespace

// ---- Time grid --------------------------------------------------------------------

// Worked out from the tempo alone (150 beats a minute in 4/4 at 44.1 kHz and
// 20 rows a second), not from the grid's own chain of products: every
// section starts on a whole sample frame and a whole row, at the second the
// arrangement's table gives.
TEST(MusicArrangement, SectionsStartOnTheTempoGrid)
{
    const double seconds_per_beat = 60.0 / 150.0;
    const std::pair<int, double> sections[] = {{INTRO_BAR, 0.0},        {BUILD_BAR, 19.2},  {KICK_ENTRY_BAR, 32.0},
                                               {MAIN_BAR, 44.8},        {BREAK_BAR, 83.2},  {CLIMAX_BAR, 108.8},
                                               {OUTRO_BAR, 147.2},      {DRUMS_STOP_BAR, 160.0},
                                               {END_BAR, 172.8}};
    for (const auto &[bar, seconds] : sections) {
        EXPECT_DOUBLE_EQ(bar * 4 * seconds_per_beat, seconds) << "bar " << bar;
        EXPECT_EQ(bar_frame(bar), std::llround(seconds * 44100.0)) << "bar " << bar;
        EXPECT_EQ(bar * ROWS_PER_BAR, std::llround(seconds * 20.0)) << "bar " << bar;
    }
    // A pattern step is a sixteenth note; the file ends 2.2 s after the music.
    EXPECT_EQ(FRAMES_PER_STEP, std::llround(seconds_per_beat / 4 * 44100.0));
    EXPECT_EQ(MUSIC_END_FRAME, bar_frame(END_BAR));
    EXPECT_EQ(TOTAL_FRAMES, std::llround((172.8 + 2.2) * 44100.0));
}

// ---- Which parts play where ---------------------------------------------------------------

TEST(MusicSong, NoDrumsInTheIntroOrTheBreakOrAfterBar100)
{
    EXPECT_EQ(parts_rms(INTRO_BAR, BUILD_BAR, PART_DRUMS), 0.0);
    EXPECT_EQ(parts_rms(BREAK_BAR, CLIMAX_BAR, PART_DRUMS), 0.0);
    EXPECT_EQ(parts_rms(DRUMS_STOP_BAR, END_BAR, PART_DRUMS), 0.0);
    EXPECT_GT(parts_rms(DRUMS_STOP_BAR - 1, DRUMS_STOP_BAR, PART_DRUMS), 0.01);
}

TEST(MusicSong, KickEntersAtBar20HatsAndBassAtTheBuild)
{
    EXPECT_EQ(parts_rms(BUILD_BAR, KICK_ENTRY_BAR, PART_KICK), 0.0);
    EXPECT_GT(parts_rms(KICK_ENTRY_BAR, KICK_ENTRY_BAR + 1, PART_KICK), 0.01);
    EXPECT_EQ(parts_rms(INTRO_BAR, BUILD_BAR, PART_HATS | PART_BASS), 0.0);
    EXPECT_GT(parts_rms(BUILD_BAR, BUILD_BAR + 1, PART_HATS), 0.001);
    EXPECT_GT(parts_rms(BUILD_BAR, BUILD_BAR + 1, PART_BASS), 0.01);
}

TEST(MusicSong, LeadOnlyInMainBreakAndClimax)
{
    EXPECT_EQ(parts_rms(INTRO_BAR, MAIN_BAR, PART_LEAD), 0.0);
    EXPECT_EQ(parts_rms(OUTRO_BAR, END_BAR, PART_LEAD), 0.0);
    EXPECT_GT(parts_rms(MAIN_BAR + 4, MAIN_BAR + 5, PART_LEAD), 0.01);
    EXPECT_GT(parts_rms(BREAK_BAR + 2, BREAK_BAR + 3, PART_LEAD), 0.01);
    EXPECT_GT(parts_rms(CLIMAX_BAR, CLIMAX_BAR + 1, PART_LEAD), 0.01);
}

TEST(MusicSong, PadsPlayFromTheFirstBar)
{
    EXPECT_GT(parts_rms(INTRO_BAR, INTRO_BAR + 2, PART_PADS), 0.01);
    EXPECT_GT(parts_rms(BREAK_BAR, BREAK_BAR + 1, PART_PADS), 0.01);
}

TEST(MusicSong, ClimaxLeadIsAnOctaveAboveTheMain)
{
    // The theme's first note is D5 (587.3 Hz, 75.1 frames a cycle) in the
    // main section and D6 (1174.7 Hz, 37.5 frames) in the climax. Measured
    // by autocorrelation over its first 0.15 s, before the vibrato.
    auto period = [](int bar) {
        Mix mix;
        render_bars(bar, bar + 1, 8000, mix, PART_LEAD);
        return period_of(mix.left, 500, 7000, 25, 120);
    };
    EXPECT_NEAR(period(MAIN_BAR + 4), 75.1, 1.0);
    EXPECT_NEAR(period(CLIMAX_BAR + 4), 37.5, 1.0);
}

// ---- Levels --------------------------------------------------------------------------------

TEST(MusicSong, LevelRisesTowardTheClimaxAndFallsInTheBreak)
{
    // One representative bar of each section, everything playing.
    const double intro = parts_rms(4, 5, ALL_PARTS);
    const double main = parts_rms(MAIN_BAR + 8, MAIN_BAR + 9, ALL_PARTS);
    const double pause = parts_rms(BREAK_BAR + 4, BREAK_BAR + 5, ALL_PARTS);
    const double climax = parts_rms(CLIMAX_BAR + 8, CLIMAX_BAR + 9, ALL_PARTS);
    EXPECT_LT(intro, 0.5 * main);
    EXPECT_LT(pause, 0.7 * main);
    EXPECT_GT(climax, main);
}

TEST(MusicSong, SongStartsFromSilence)
{
    Mix mix;
    render_bars(INTRO_BAR, INTRO_BAR + 1, FRAMES_PER_BAR, mix);
    EXPECT_EQ(mix.left[0], 0.0f);
    EXPECT_EQ(mix.right[0], 0.0f);
    EXPECT_LT(rms_between(mix, 0, 441), 1e-3);  // the pads swell in over 1.6 s
}

TEST(MusicSong, RenderIsDeterministic)
{
    Mix a, b;
    render_bars(CLIMAX_BAR + 7, CLIMAX_BAR + 9, 2 * FRAMES_PER_BAR, a);
    render_bars(CLIMAX_BAR + 7, CLIMAX_BAR + 9, 2 * FRAMES_PER_BAR, b);
    ASSERT_EQ(a.left.size(), b.left.size());
    EXPECT_EQ(std::memcmp(a.left.data(), b.left.data(), a.left.size() * sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(a.right.data(), b.right.data(), a.right.size() * sizeof(float)), 0);
    EXPECT_GT(whole_rms(a), 0.05);
}

TEST(MusicSong, MasteredSectionPeaksAtTheTarget)
{
    // The loudest bars: a snare fill at the end of a climax phrase.
    Mix mix;
    render_bars(CLIMAX_BAR + 7, CLIMAX_BAR + 9, 2 * FRAMES_PER_BAR, mix);
    master_mix(mix, 2 * FRAMES_PER_BAR, 2 * FRAMES_PER_BAR, MASTER_PEAK);
    float peak = 0.0f;
    for (size_t i = 0; i < mix.left.size(); ++i) {
        ASSERT_TRUE(std::isfinite(mix.left[i]) && std::isfinite(mix.right[i])) << i;
        peak = std::max({peak, std::fabs(mix.left[i]), std::fabs(mix.right[i])});
    }
    const double limit = std::pow(10.0, -2.5 / 20.0);
    EXPECT_LE(peak, limit * (1.0 + 1e-6));
    EXPECT_GE(peak, limit * 0.999);
}

TEST(MusicSong, MasterFadeEndsInSilence)
{
    Mix mix;
    render_bars(CLIMAX_BAR, CLIMAX_BAR + 1, FRAMES_PER_BAR, mix, PART_PADS | PART_BASS);
    master_mix(mix, FRAMES_PER_BAR / 2, FRAMES_PER_BAR, MASTER_PEAK);
    // Half way through the fade the gain is 0.5; the last frame is within one
    // frame of the end of the raised-cosine fade.
    EXPECT_LT(std::fabs(mix.left.back()), 1e-8);
    EXPECT_LT(std::fabs(mix.right.back()), 1e-8);
    const double before = rms_between(mix, 0, FRAMES_PER_BAR / 2);
    const double last_eighth = rms_between(mix, FRAMES_PER_BAR * 7 / 8, FRAMES_PER_BAR);
    EXPECT_LT(last_eighth, 0.1 * before);
}
