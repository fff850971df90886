// The offline renderer's command line: defaults, values and refusals.
#include <gtest/gtest.h>

#include <vector>

#include "capture_args.h"

namespace {

bool parse(std::vector<const char *> words, CaptureArgs *out)
{
    words.insert(words.begin(), "capture");
    return parse_capture_args(static_cast<int>(words.size()), words.data(), out);
}

} // namespace

TEST(CaptureArgs, DefaultsAndGivenValues)
{
    CaptureArgs a;
    ASSERT_TRUE(parse({"--out", "shots"}, &a));
    EXPECT_EQ(a.out_dir, "shots");
    EXPECT_EQ(a.start, 0.0);
    EXPECT_EQ(a.frames, 1);
    EXPECT_EQ(a.fps, 60.0);

    ASSERT_TRUE(parse({"--fps", "30", "--frames", "12", "--start", "-1.25", "--out", "o"}, &a));
    EXPECT_EQ(a.out_dir, "o");
    EXPECT_EQ(a.start, -1.25);
    EXPECT_EQ(a.frames, 12);
    EXPECT_EQ(a.fps, 30.0);
}

TEST(CaptureArgs, RefusesMalformedMissingAndRepeated)
{
    CaptureArgs a;
    const std::vector<std::vector<const char *>> bad = {
        {},
        {"--out"},
        {"--start", "1"},                          // no --out
        {"--out", ""},
        {"--out", "a", "--out", "b"},
        {"--out", "a", "--frames", "0"},
        {"--out", "a", "--frames", "-3"},
        {"--out", "a", "--frames", "2.5"},
        {"--out", "a", "--frames", "99999999999999999999"},
        {"--out", "a", "--fps", "0"},
        {"--out", "a", "--fps", "-60"},
        {"--out", "a", "--fps", "nan"},
        {"--out", "a", "--start", "inf"},
        {"--out", "a", "--start", "1e999"},
        {"--out", "a", "--start", "12abc"},
        {"--out", "a", "--start", ""},
        {"--out", "a", "--verbose", "1"},
        {"--out", "a", "extra"},
    };
    for (const auto &words : bad)
        EXPECT_FALSE(parse(words, &a)) << (words.empty() ? "(none)" : words.back());
}
