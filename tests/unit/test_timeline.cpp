// test_timeline.cpp - the timeline compiler: source parsing, the .track bytes,
// formatting back to source, the round trip, and every error message.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "sync/device.h"
#include "timeline/timeline.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A source with every track present and one key each, with `extra` appended.
std::string source_with(const std::string &extra)
{
    std::string s;
    for (const char *name : TimelineTrackNames)
        s += std::string("track ") + name + "\n  0 0 hold\n";
    return s + extra;
}

// A source with every track present; track `name` gets `section` (its
// "track" line and keys), every other track one key.
std::string source_replacing(const std::string &name, const std::string &section)
{
    std::string s;
    for (const char *n : TimelineTrackNames)
        s += n == name ? section : std::string("track ") + n + "\n  0 0 hold\n";
    return s;
}

// Line number the first line of `extra` gets in source_with(extra).
constexpr int EXTRA_FIRST_LINE = 2 * TIMELINE_TRACK_COUNT + 1;

std::string parse_errors(const std::string &text)
{
    Timeline tl;
    std::string errors;
    EXPECT_FALSE(parse_timeline(text, "t.txt", &tl, &errors));
    return errors;
}

std::string line_error(int line, const std::string &message)
{
    return "t.txt:" + std::to_string(line) + ": " + message + "\n";
}

Bytes read_bytes(const std::string &path)
{
    Bytes b;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return b;
    int c;
    while ((c = std::fgetc(f)) != EOF)
        b.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
    return b;
}

void write_bytes(const std::string &path, const Bytes &b)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(b.data(), 1, b.size(), f), b.size());
    std::fclose(f);
}

// A fresh directory under /tmp, removed when the test ends.
struct TempDir {
    std::string path;
    TempDir()
    {
        char tmpl[] = "/tmp/timeline_test_XXXXXX";
        const char *p = mkdtemp(tmpl);
        path = p ? p : "";
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

// The documented example: rises linearly from 0.0 at row 0 to 255.0 at row
// 40, then holds.
const Bytes EXAMPLE_BYTES = {0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                             0x00, 0x01, 0x28, 0x00, 0x00, 0x00, 0x00, 0x00, 0x7F, 0x43, 0x00};

} // namespace

// ---- The .track bytes -------------------------------------------------------

TEST(TimelineTrackBytes, EncodesTheDocumentedExample)
{
    EXPECT_EQ(encode_track({{0, 0.0f, 1}, {40, 255.0f, 0}}), EXAMPLE_BYTES);
}

TEST(TimelineTrackBytes, EncodesLittleEndianWhateverTheSigns)
{
    // row -2 = FFFFFFFE, -1.0f = BF800000, row 0x01020304, 0.5f = 3F000000.
    const Bytes expected = {0x02, 0x00, 0x00, 0x00, 0xFE, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x80,
                            0xBF, 0x03, 0x04, 0x03, 0x02, 0x01, 0x00, 0x00, 0x00, 0x3F, 0x02};
    EXPECT_EQ(encode_track({{-2, -1.0f, 3}, {0x01020304, 0.5f, 2}}), expected);
    EXPECT_EQ(encode_track({}), (Bytes{0, 0, 0, 0}));
}

TEST(TimelineTrackBytes, DecodesTheDocumentedExample)
{
    std::vector<SyncKey> keys;
    std::string error;
    ASSERT_TRUE(decode_track(EXAMPLE_BYTES.data(), EXAMPLE_BYTES.size(), &keys, &error)) << error;
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].row, 0);
    EXPECT_EQ(keys[0].value, 0.0f);
    EXPECT_EQ(keys[0].kind, 1);
    EXPECT_EQ(keys[1].row, 40);
    EXPECT_EQ(keys[1].value, 255.0f);
    EXPECT_EQ(keys[1].kind, 0);

    // Bytes after the last key are not part of the track.
    Bytes longer = EXAMPLE_BYTES;
    longer.push_back(0x55);
    ASSERT_TRUE(decode_track(longer.data(), longer.size(), &keys, &error));
    EXPECT_EQ(keys.size(), 2u);
}

TEST(TimelineTrackBytes, RefusesDamagedFiles)
{
    std::vector<SyncKey> keys;
    std::string error;

    EXPECT_FALSE(decode_track(EXAMPLE_BYTES.data(), 3, &keys, &error));
    EXPECT_EQ(error, "too short for a key count (3 bytes)");

    EXPECT_FALSE(decode_track(EXAMPLE_BYTES.data(), 21, &keys, &error));
    EXPECT_EQ(error, "truncated: 2 keys announced, 1 present");

    const Bytes negative = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_FALSE(decode_track(negative.data(), negative.size(), &keys, &error));
    EXPECT_EQ(error, "negative key count -1");

    // A huge count in a tiny file is refused before anything is allocated.
    const Bytes huge = {0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(decode_track(huge.data(), huge.size(), &keys, &error));
    EXPECT_EQ(error, "truncated: 2147483647 keys announced, 1 present");

    Bytes bad_kind = EXAMPLE_BYTES;
    bad_kind[21] = 0xFF; // kind -1
    EXPECT_FALSE(decode_track(bad_kind.data(), bad_kind.size(), &keys, &error));
    EXPECT_EQ(error, "key 1 (row 40): unknown interpolation kind -1");
    bad_kind[21] = 4;
    EXPECT_FALSE(decode_track(bad_kind.data(), bad_kind.size(), &keys, &error));
    EXPECT_EQ(error, "key 1 (row 40): unknown interpolation kind 4");

    Bytes nan_value = EXAMPLE_BYTES;
    nan_value[19] = 0xC0; // 7FC00000, a quiet NaN
    nan_value[20] = 0x7F;
    EXPECT_FALSE(decode_track(nan_value.data(), nan_value.size(), &keys, &error));
    EXPECT_EQ(error, "key 1 (row 40): value not finite");

    Bytes same_row = EXAMPLE_BYTES;
    same_row[13] = 0x00; // second key on row 0 too
    EXPECT_FALSE(decode_track(same_row.data(), same_row.size(), &keys, &error));
    EXPECT_EQ(error, "key 1 (row 0): rows not increasing (0 after 0)");
}

// ---- Parsing ----------------------------------------------------------------

TEST(TimelineParse, ReadsRowsValuesAndKinds)
{
    const std::string source = source_replacing("cam.x", "track cam.x  # a comment after the name\n"
                                                         "\n"
                                                         "# a comment line\n"
                                                         "  -5     1.5     linear\n"
                                                         "\t0:3    -2      smooth  # beat 3 of bar 0\n"
                                                         "  3:2    1e2     quadratic\r\n"
                                                         "  12:0   0.25    hold\n"
                                                         "  3500   -0      hold\n");
    Timeline tl;
    std::string errors;
    ASSERT_TRUE(parse_timeline(source, "t.txt", &tl, &errors)) << errors;
    const std::vector<SyncKey> &k = tl.tracks[find_timeline_track("cam.x")].keys;
    ASSERT_EQ(k.size(), 5u);
    EXPECT_EQ(k[0].row, -5);
    EXPECT_EQ(k[0].value, 1.5f);
    EXPECT_EQ(k[0].kind, 1);
    EXPECT_EQ(k[1].row, 24); // 0*32 + 3*8
    EXPECT_EQ(k[1].value, -2.0f);
    EXPECT_EQ(k[1].kind, 2);
    EXPECT_EQ(k[2].row, 112); // 3*32 + 2*8
    EXPECT_EQ(k[2].value, 100.0f);
    EXPECT_EQ(k[2].kind, 3);
    EXPECT_EQ(k[3].row, 384); // 12*32
    EXPECT_EQ(k[3].value, 0.25f);
    EXPECT_EQ(k[3].kind, 0);
    EXPECT_EQ(k[4].row, 3500);
    EXPECT_TRUE(std::signbit(k[4].value));
}

TEST(TimelineParse, EmptySectionGivesEmptyTrack)
{
    std::string source;
    for (const char *name : TimelineTrackNames)
        source += std::string("track ") + name + "\n";
    Timeline tl;
    std::string errors;
    ASSERT_TRUE(parse_timeline(source, "t.txt", &tl, &errors)) << errors;
    for (const TimelineTrack &t : tl.tracks)
        EXPECT_TRUE(t.keys.empty());
    EXPECT_EQ(encode_track(tl.tracks[0].keys), (Bytes{0, 0, 0, 0}));
}

TEST(TimelineParse, ReportsEachErrorWithItsLine)
{
    const int L = EXTRA_FIRST_LINE;
    EXPECT_EQ(parse_errors(source_with("track xyz\n  0 1 hold\n")), line_error(L, "unknown track 'xyz'"));
    EXPECT_EQ(parse_errors(source_with("track Scene\n")), line_error(L, "unknown track 'Scene'"));
    EXPECT_EQ(parse_errors(source_with("track\n")), line_error(L, "expected 'track NAME'"));
    EXPECT_EQ(parse_errors(source_with("track a b\n")), line_error(L, "expected 'track NAME'"));
    EXPECT_EQ(parse_errors(source_with("  5 1 foo\n")), line_error(L, "unknown interpolation kind 'foo'"));
    EXPECT_EQ(parse_errors(source_with("  5 1 Hold\n")), line_error(L, "unknown interpolation kind 'Hold'"));
    EXPECT_EQ(parse_errors(source_with("  400 1 hold\n  12:0 2 hold\n")),
              line_error(L + 1, "rows not increasing (384 after 400)"));
    EXPECT_EQ(parse_errors(source_with("  0 1 hold\n")), line_error(L, "rows not increasing (0 after 0)"));
    EXPECT_EQ(parse_errors(source_with("  5 x hold\n")), line_error(L, "malformed number 'x'"));
    EXPECT_EQ(parse_errors(source_with("  5 1.5.2 hold\n")), line_error(L, "malformed number '1.5.2'"));
    EXPECT_EQ(parse_errors(source_with("  5 0x10 hold\n")), line_error(L, "malformed number '0x10'"));
    EXPECT_EQ(parse_errors(source_with("  5 +1 hold\n")), line_error(L, "malformed number '+1'"));
    EXPECT_EQ(parse_errors(source_with("  abc 1 hold\n")), line_error(L, "malformed number 'abc'"));
    EXPECT_EQ(parse_errors(source_with("  1.5 1 hold\n")), line_error(L, "malformed number '1.5'"));
    EXPECT_EQ(parse_errors(source_with("  12:x 1 hold\n")), line_error(L, "malformed number '12:x'"));
    EXPECT_EQ(parse_errors(source_with("  -1:0 1 hold\n")), line_error(L, "malformed number '-1:0'"));
    EXPECT_EQ(parse_errors(source_with("  3:4 1 hold\n")), line_error(L, "beat out of range '3:4' (beats are 0 to 3)"));
    EXPECT_EQ(parse_errors(source_with("  2147483648 1 hold\n")), line_error(L, "row out of range '2147483648'"));
    // 2^26 bars of 32 rows reach 2^31, one past the largest row.
    EXPECT_EQ(parse_errors(source_with("  67108864:0 1 hold\n")), line_error(L, "row out of range '67108864:0'"));
    EXPECT_EQ(parse_errors(source_with("  99999999999999999999999:0 1 hold\n")),
              line_error(L, "row out of range '99999999999999999999999:0'"));
    EXPECT_EQ(parse_errors(source_with("  5 inf hold\n")), line_error(L, "value not finite 'inf'"));
    EXPECT_EQ(parse_errors(source_with("  5 nan hold\n")), line_error(L, "value not finite 'nan'"));
    EXPECT_EQ(parse_errors(source_with("  5 1e39 hold\n")), line_error(L, "number out of range '1e39'"));
    EXPECT_EQ(parse_errors(source_with("  5 1\n")), line_error(L, "expected 'ROW VALUE KIND', got 2 words"));
    EXPECT_EQ(parse_errors(source_with("  5 1 hold hold\n")), line_error(L, "expected 'ROW VALUE KIND', got 4 words"));
    EXPECT_EQ(parse_errors(source_with("track scene\n")), line_error(L, "duplicate track 'scene' (first at line 1)"));
    EXPECT_EQ(parse_errors("  0 1 hold\n" + source_with("")), line_error(1, "key outside a track section"));
}

TEST(TimelineParse, ByteOrderMarkAndNulBytes)
{
    // A UTF-8 byte-order mark at the very start is skipped; anywhere else it
    // is part of a word.
    Timeline tl;
    std::string errors;
    EXPECT_TRUE(parse_timeline("\xEF\xBB\xBF" + source_with(""), "t.txt", &tl, &errors)) << errors;
    EXPECT_EQ(parse_errors(source_with("\xEF\xBB\xBFtrack scene\n")),
              line_error(EXTRA_FIRST_LINE, "expected 'ROW VALUE KIND', got 2 words"));

    // NUL and other control bytes are shown as \xHH, and the messages after
    // them are all there.
    const std::string nul("\0", 1);
    const int L = EXTRA_FIRST_LINE;
    EXPECT_EQ(parse_errors(source_with("track sc" + nul + "ene\n")), line_error(L, "unknown track 'sc\\x00ene'"));
    EXPECT_EQ(parse_errors(source_with("  5 1" + nul + " hold\n  7 1 li\x01near\n  9 x hold\n")),
              line_error(L, "malformed number '1\\x00'") + line_error(L + 1, "unknown interpolation kind 'li\\x01near'") +
                  line_error(L + 2, "malformed number 'x'"));
}

TEST(TimelineParse, LargestRowsAreAccepted)
{
    Timeline tl;
    std::string errors;
    ASSERT_TRUE(parse_timeline(source_with("  67108863:3 1 hold\n"), "t.txt", &tl, &errors)) << errors;
    EXPECT_EQ(tl.tracks[TIMELINE_TRACK_COUNT - 1].keys.back().row, INT32_MAX - 7);
    ASSERT_TRUE(parse_timeline(source_replacing("scene", "track scene\n  -2147483648 1 hold\n  2147483647 2 hold\n"),
                               "t.txt", &tl, &errors))
        << errors;
    EXPECT_EQ(tl.tracks[0].keys[0].row, INT32_MIN);
    EXPECT_EQ(tl.tracks[0].keys[1].row, INT32_MAX);
}

TEST(TimelineParse, CollectsEveryProblemAndMissingTracks)
{
    // Keys of an unknown track are skipped without further messages; the
    // keys of a good track after it are checked again.
    const std::string text = "track scene\n"     // 1
                             "  0 1 hold\n"      // 2
                             "  0 2 hold\n"      // 3: not increasing
                             "track nope\n"      // 4: unknown
                             "  bad bad bad\n"   // 5: skipped
                             "track clear.r\n"   // 6
                             "  1 y smooth\n";   // 7: bad value
    std::string expected = line_error(3, "rows not increasing (0 after 0)") +
                           line_error(4, "unknown track 'nope'") + line_error(7, "malformed number 'y'");
    for (int i = 2; i < TIMELINE_TRACK_COUNT; i++)
        expected += std::string("t.txt: missing track '") + TimelineTrackNames[i] + "'\n";
    EXPECT_EQ(parse_errors(text), expected);

    // A wrong row, value and kind on one line are three messages.
    const int L = EXTRA_FIRST_LINE;
    EXPECT_EQ(parse_errors(source_with("  r v k\n")),
              line_error(L, "malformed number 'r'") + line_error(L, "malformed number 'v'") +
                  line_error(L, "unknown interpolation kind 'k'"));
}

// ---- Formatting and the round trip ------------------------------------------

TEST(TimelineFormat, RowsAsBarAndBeatWhenOnABeat)
{
    EXPECT_EQ(format_row(0), "0:0");
    EXPECT_EQ(format_row(8), "0:1");
    EXPECT_EQ(format_row(384), "12:0");
    EXPECT_EQ(format_row(392), "12:1");
    EXPECT_EQ(format_row(3456), "108:0");
    EXPECT_EQ(format_row(3500), "3500");
    EXPECT_EQ(format_row(4), "4");
    EXPECT_EQ(format_row(-8), "-8");
    EXPECT_EQ(format_row(INT32_MIN), "-2147483648");
}

TEST(TimelineFormat, TrackSectionText)
{
    const std::vector<SyncKey> keys = {{0, 0.0f, 1}, {40, 255.0f, 0}, {392, -0.5f, 2}, {3500, 0.1f, 3}};
    EXPECT_EQ(format_track("clear.r", keys), "track clear.r\n"
                                             "  0:0      0            linear\n"
                                             "  1:1      255          hold\n" // row 40 = bar 1, beat 1
                                             "  12:1     -0.5         smooth\n"
                                             "  3500     0.1          quadratic\n");
    EXPECT_EQ(format_track("cam.x", {}), "track cam.x\n");
}

TEST(TimelineFormat, DumpThenCompileGivesTheSameBytes)
{
    // Awkward values: the shortest text must read back to the same bits.
    const float values[] = {0.1f, -0.0f, 1.4e-45f /* smallest denormal */, FLT_MAX, -FLT_MAX,
                            FLT_MIN, 123456.79f, 16777216.0f, 1e-10f, 255.0f, 3.14159274f, -7.0f};
    const int32_t rows[] = {INT32_MIN, -1, 0, 7, 8, 383, 384, 3456, 3500, 100000, INT32_MAX - 1, INT32_MAX};
    Timeline original;
    std::string text;
    for (int i = 0; i < TIMELINE_TRACK_COUNT; i++) {
        TimelineTrack &t = original.tracks[i];
        t.name = TimelineTrackNames[i];
        // Track i gets i keys (track 0 none), each value shifted by the track.
        for (int k = 0; k < i; k++)
            t.keys.push_back({rows[k], values[(k + i) % 12], (k + i) % 4});
        text += format_track(t.name, t.keys);
    }

    Timeline parsed;
    std::string errors;
    ASSERT_TRUE(parse_timeline(text, "dump.txt", &parsed, &errors)) << errors << text;
    for (int i = 0; i < TIMELINE_TRACK_COUNT; i++) {
        const Bytes bytes = encode_track(original.tracks[i].keys);
        EXPECT_EQ(encode_track(parsed.tracks[i].keys), bytes) << TimelineTrackNames[i];

        std::vector<SyncKey> decoded;
        std::string error;
        ASSERT_TRUE(decode_track(bytes.data(), bytes.size(), &decoded, &error)) << error;
        EXPECT_EQ(format_track(TimelineTrackNames[i], decoded), format_track(TimelineTrackNames[i], original.tracks[i].keys));
    }
}

// ---- Tempo and marks ----------------------------------------------------------

// The keys of one track in a source with `head` before the sections.
std::vector<SyncKey> keys_at_tempo(const std::string &head, const std::string &scene_keys)
{
    Timeline tl;
    std::string errors;
    EXPECT_TRUE(parse_timeline(head + source_replacing("scene", "track scene\n" + scene_keys), "t.txt", &tl,
                               &errors))
        << errors;
    return tl.tracks[0].keys;
}

TEST(TimelineTempo, BarsAndBeatsFollowTheTempoPlainRowsDoNot)
{
    const auto rows = [](const std::vector<SyncKey> &k) {
        std::vector<int32_t> r;
        for (const SyncKey &key : k)
            r.push_back(key.row);
        return r;
    };
    // A plain row (100) keeps its row at every tempo.
    const std::string sorted = "  0:1 2 hold\n  0:2 3 hold\n  0:3 4 hold\n  1:0 5 hold\n  2:1 6 hold\n  100 1 hold\n";
    // No tempo line and "tempo 150 4" mean today's grid: 8 rows a beat.
    EXPECT_EQ(rows(keys_at_tempo("", sorted)), (std::vector<int32_t>{8, 16, 24, 32, 72, 100}));
    EXPECT_EQ(rows(keys_at_tempo("tempo 150 4\n", sorted)), (std::vector<int32_t>{8, 16, 24, 32, 72, 100}));
    // 128 BPM: 9.375 rows a beat; beats at 9.375, 18.75, 28.125, 37.5
    // (a half rounds up), 84.375.
    EXPECT_EQ(rows(keys_at_tempo("# the new song\ntempo 128\n", sorted)),
              (std::vector<int32_t>{9, 19, 28, 38, 84, 100}));
    // 120 BPM, 3 beats a bar: 10 rows a beat, "1:0" is beat 3, "2:1" beat 7.
    EXPECT_EQ(rows(keys_at_tempo("tempo 120 3\n", "  0:1 2 hold\n  0:2 3 hold\n  1:0 5 hold\n  2:1 6 hold\n  100 1 hold\n")),
              (std::vector<int32_t>{10, 20, 30, 70, 100}));
    // 127.5 BPM: a decimal tempo, 9.41176... rows a beat.
    EXPECT_EQ(rows(keys_at_tempo("tempo 127.5\n", "  4:0 1 hold\n")), (std::vector<int32_t>{151}));

    Timeline tl;
    std::string errors;
    ASSERT_TRUE(parse_timeline("tempo 128 4\n" + source_with(""), "t.txt", &tl, &errors)) << errors;
    EXPECT_EQ(tl.tempo_line, 1);
    EXPECT_EQ(tl.tempo.beats_per_minute, 128.0);
    EXPECT_EQ(tl.tempo.beats_per_bar, 4);
}

TEST(TimelineTempo, RowsNameTheirBeatAndReadBack)
{
    const TimelineTempo t128{128.0, 4};
    EXPECT_EQ(tempo_rows_per_beat(t128), 9.375);
    EXPECT_EQ(tempo_rows_per_beat(TimelineTempo{}), 8.0);
    EXPECT_EQ(tempo_beat_row(t128, 4), 38);
    EXPECT_EQ(tempo_beat_row(t128, 3), 28);
    EXPECT_EQ(tempo_beat_at(t128, 37), 3);
    EXPECT_EQ(tempo_beat_at(t128, 38), 4);
    EXPECT_EQ(tempo_beat_at(t128, -1), -1);
    int64_t bar = 0;
    int32_t beat = 0;
    tempo_bar_beat(t128, 37, &bar, &beat); // beat 3
    EXPECT_EQ(bar, 0);
    EXPECT_EQ(beat, 3);
    tempo_bar_beat(t128, 84, &bar, &beat); // beat 9 (84.375 rounds to 84)
    EXPECT_EQ(bar, 2);
    EXPECT_EQ(beat, 1);
    tempo_bar_beat(t128, -1, &bar, &beat); // beat -1: the last of bar -1
    EXPECT_EQ(bar, -1);
    EXPECT_EQ(beat, 3);
    EXPECT_EQ(tempo_beat_row(TimelineTempo{10.0, 4}, int64_t{1} << 40), INT32_MAX); // clamped
    EXPECT_EQ(format_row(38, t128), "1:0");
    EXPECT_EQ(format_row(37, t128), "37");
    EXPECT_EQ(format_row(19, t128), "0:2");
    EXPECT_EQ(format_row(-19, t128), "-19");
    EXPECT_EQ(format_row(24), "0:3");

    // Every row from -50 to 3000, at tempos with whole and broken beats,
    // written by format_row and read back by the parser, is the same row.
    for (const TimelineTempo tempo : {TimelineTempo{}, t128, TimelineTempo{133.7, 7}, TimelineTempo{1200.0, 1}}) {
        const std::string head = "tempo " + format_value(static_cast<float>(tempo.beats_per_minute)) + " " +
                                 std::to_string(tempo.beats_per_bar) + "\n";
        std::string keys;
        for (int32_t row = -50; row <= 3000; row++)
            keys += "  " + format_row(row, tempo) + " 0 hold\n";
        const std::vector<SyncKey> back = keys_at_tempo(head, keys);
        ASSERT_EQ(back.size(), 3051u) << head;
        for (int32_t row = -50; row <= 3000; row++)
            ASSERT_EQ(back[static_cast<size_t>(row + 50)].row, row) << head << format_row(row, tempo);
    }
}

TEST(TimelineMarks, KeptInRowOrderAndOutOfTheTrackFiles)
{
    const std::string with_marks = "tempo 128\nmark drop 28:0\n" +
                                   source_replacing("scene", "track scene\n  0 1 hold\nmark intro 0:1\n  50 2 hold\n") +
                                   "mark end 3500   # the last picture\nmark again 0:1\n";
    Timeline tl;
    std::string errors;
    ASSERT_TRUE(parse_timeline(with_marks, "t.txt", &tl, &errors)) << errors;
    ASSERT_EQ(tl.marks.size(), 4u);
    // 28:0 at 128 BPM is beat 112: 1050 rows; 0:1 is row 9.
    EXPECT_EQ(tl.marks[0].name, "intro");
    EXPECT_EQ(tl.marks[0].row, 9);
    EXPECT_EQ(tl.marks[0].line, 5);
    EXPECT_EQ(tl.marks[1].name, "again"); // the same row: source order
    EXPECT_EQ(tl.marks[2].name, "drop");
    EXPECT_EQ(tl.marks[2].row, 1050);
    EXPECT_EQ(tl.marks[2].line, 2);
    EXPECT_EQ(tl.marks[3].row, 3500);
    // The mark inside the section does not end it.
    ASSERT_EQ(tl.tracks[0].keys.size(), 2u);
    EXPECT_EQ(tl.tracks[0].keys[1].row, 50);

    // Marks do not reach the track files: the same source without them
    // compiles to the same bytes.
    TempDir dir;
    const std::string a = dir.path + "/a.txt", b = dir.path + "/b.txt";
    std::string without = with_marks;
    for (size_t p; (p = without.find("mark ")) != std::string::npos;)
        without.erase(p, without.find('\n', p) + 1 - p);
    write_bytes(a, Bytes(with_marks.begin(), with_marks.end()));
    write_bytes(b, Bytes(without.begin(), without.end()));
    ASSERT_TRUE(compile_timeline_file(a, dir.path + "/out_a", &errors)) << errors;
    ASSERT_TRUE(compile_timeline_file(b, dir.path + "/out_b", &errors)) << errors;
    for (const char *name : TimelineTrackNames)
        EXPECT_EQ(read_bytes(track_output_path(dir.path + "/out_a", name)),
                  read_bytes(track_output_path(dir.path + "/out_b", name)))
            << name;
}

TEST(TimelineTempo, BadTempoAndMarkLinesAreNamedWithTheirLine)
{
    const std::string tracks = source_with("");
    EXPECT_EQ(parse_errors("tempo fast\n" + tracks), line_error(1, "malformed number 'fast'"));
    EXPECT_EQ(parse_errors("tempo 9.99\n" + tracks), line_error(1, "beats per minute out of range '9.99' (10 to 1200)"));
    EXPECT_EQ(parse_errors("tempo 1201\n" + tracks), line_error(1, "beats per minute out of range '1201' (10 to 1200)"));
    EXPECT_EQ(parse_errors("tempo nan\n" + tracks), line_error(1, "beats per minute out of range 'nan' (10 to 1200)"));
    EXPECT_EQ(parse_errors("tempo 1e999\n" + tracks), line_error(1, "beats per minute out of range '1e999' (10 to 1200)"));
    EXPECT_EQ(parse_errors("tempo 150 0\n" + tracks), line_error(1, "beats per bar out of range '0' (1 to 32)"));
    EXPECT_EQ(parse_errors("tempo 150 33\n" + tracks), line_error(1, "beats per bar out of range '33' (1 to 32)"));
    EXPECT_EQ(parse_errors("tempo 150 3.5\n" + tracks), line_error(1, "malformed number '3.5'"));
    EXPECT_EQ(parse_errors("tempo\n" + tracks), line_error(1, "expected 'tempo BPM [BEATS_PER_BAR]'"));
    EXPECT_EQ(parse_errors("tempo 150\n\ntempo 128\n" + tracks),
              line_error(3, "second tempo line (the first is at line 1)"));
    EXPECT_EQ(parse_errors(tracks + "tempo 128\n"),
              line_error(EXTRA_FIRST_LINE, "the tempo line must come before the first 'track' and 'mark' line"));
    EXPECT_EQ(parse_errors("mark a 0\ntempo 128\n" + tracks),
              line_error(2, "the tempo line must come before the first 'track' and 'mark' line"));
    // A beat past the bar at three beats a bar; marks checked as keys are.
    EXPECT_EQ(parse_errors("tempo 150 3\n" + source_replacing("scene", "track scene\n  0:3 1 hold\n")),
              line_error(3, "beat out of range '0:3' (beats are 0 to 2)"));
    EXPECT_EQ(parse_errors(tracks + "mark drop\n"), line_error(EXTRA_FIRST_LINE, "expected 'mark NAME ROW'"));
    EXPECT_EQ(parse_errors(tracks + "mark drop 28:0 loud\n"), line_error(EXTRA_FIRST_LINE, "expected 'mark NAME ROW'"));
    EXPECT_EQ(parse_errors(tracks + "mark drop 28:9\n"),
              line_error(EXTRA_FIRST_LINE, "beat out of range '28:9' (beats are 0 to 3)"));
    EXPECT_EQ(parse_errors(tracks + "mark drop x\n"), line_error(EXTRA_FIRST_LINE, "malformed number 'x'"));
    // The largest bar at the slowest tempo leaves the 32-bit rows.
    EXPECT_EQ(parse_errors("tempo 10\n" + tracks + "mark far 17895697:0\n"),
              line_error(EXTRA_FIRST_LINE + 1, "row out of range '17895697:0'"));
}

TEST(TimelineParse, RecordsWhereSectionsAndKeysStand)
{
    // A byte-order mark, a comment, indentation, a blank line, a mark.
    std::string text = "\xEF\xBB\xBF# c\n  track scene\n  0:0 1 hold # first\n\nmark m 3\n\t5\t2\tlinear\n";
    for (int i = 1; i < TIMELINE_TRACK_COUNT; i++)
        text += std::string("track ") + TimelineTrackNames[i] + "\n";
    Timeline tl;
    std::string errors;
    ASSERT_TRUE(parse_timeline(text, "t.txt", &tl, &errors)) << errors;
    EXPECT_EQ(tl.tracks[0].line, 2);
    EXPECT_EQ(tl.tracks[0].offset, 7u); // after the mark and "# c\n"
    ASSERT_EQ(tl.tracks[0].places.size(), 2u);
    EXPECT_EQ(tl.tracks[0].places[0].line, 3);
    EXPECT_EQ(tl.tracks[0].places[0].offset, 21u);
    EXPECT_EQ(tl.tracks[0].places[1].line, 6);
    EXPECT_EQ(tl.tracks[0].places[1].offset, 52u);
    EXPECT_EQ(text.substr(52, 4), "\t5\t2");
    EXPECT_EQ(tl.tracks[1].offset, 64u);
    EXPECT_EQ(text.substr(64, 14), "track clear.r\n");

    // The words of a line as the parser sees them: blanks of every kind
    // between, the comment and the line end left out.
    const std::vector<WordSpan> w = timeline_line_words("  12:0\t7 \v hold# c 1 2\r\n");
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w[0].begin, 2u);
    EXPECT_EQ(w[0].end, 6u);
    EXPECT_EQ(w[1].begin, 7u);
    EXPECT_EQ(w[1].end, 8u);
    EXPECT_EQ(w[2].begin, 11u);
    EXPECT_EQ(w[2].end, 15u);
    EXPECT_TRUE(timeline_line_words(" \t# only a comment\n").empty());
    EXPECT_EQ(timeline_line_words("a b c d e f g h i j").size(), 10u);
}

// ---- Files ------------------------------------------------------------------

TEST(TimelineFiles, CompileWritesTwelveTracks)
{
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string source = dir.path + "/timeline.txt";
    std::string text = "track scene\n  0:0 7 hold\n  12:0 0 hold\n";
    for (int i = 1; i < TIMELINE_TRACK_COUNT; i++)
        text += std::string("track ") + TimelineTrackNames[i] + "\n";
    text.replace(text.find("track clear.r\n"), 14, "track clear.r\n  0 0 linear\n  40 255 hold\n");
    write_bytes(source, Bytes(text.begin(), text.end()));

    const std::string out = dir.path + "/out/demo"; // created on the way
    std::string errors;
    ASSERT_TRUE(compile_timeline_file(source, out, &errors)) << errors;

    // 7.0f = 40E00000, row 384 = 00000180.
    EXPECT_EQ(read_bytes(out + "/sync_scene.track"),
              (Bytes{0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE0, 0x40, 0x00,
                     0x80, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(read_bytes(out + "/sync_clear.r.track"), EXAMPLE_BYTES);
    int files = 0;
    for (const auto &e : std::filesystem::directory_iterator(out)) {
        files++;
        const std::string name = e.path().filename().string();
        EXPECT_EQ(name.rfind("sync_", 0), 0u) << name;
        if (name != "sync_scene.track" && name != "sync_clear.r.track") {
            EXPECT_EQ(read_bytes(e.path().string()), (Bytes{0, 0, 0, 0})) << name;
        }
    }
    EXPECT_EQ(files, TIMELINE_TRACK_COUNT); // no temporary files left behind
    for (const char *name : TimelineTrackNames)
        EXPECT_TRUE(std::filesystem::exists(track_output_path(out, name))) << name;
}

TEST(TimelineFiles, BadSourceWritesNothing)
{
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string source = dir.path + "/bad.txt";
    const std::string text = source_with("  1 1 hold\n  2 1 hold\n  2 1 hold\n");
    write_bytes(source, Bytes(text.begin(), text.end()));

    // An output from an earlier good build stays as it was.
    const std::string out = dir.path + "/out";
    std::filesystem::create_directory(out);
    write_bytes(out + "/sync_scene.track", EXAMPLE_BYTES);

    std::string errors;
    EXPECT_FALSE(compile_timeline_file(source, out, &errors));
    EXPECT_EQ(errors, source + ":" + std::to_string(EXTRA_FIRST_LINE + 2) + ": rows not increasing (2 after 2)\n");
    EXPECT_EQ(read_bytes(out + "/sync_scene.track"), EXAMPLE_BYTES);
    int files = 0;
    for (auto it = std::filesystem::directory_iterator(out); it != std::filesystem::directory_iterator(); ++it)
        files++;
    EXPECT_EQ(files, 1);

    // A directory that does not exist is not even created.
    EXPECT_FALSE(compile_timeline_file(source, dir.path + "/new", &errors));
    EXPECT_FALSE(std::filesystem::exists(dir.path + "/new"));

    EXPECT_FALSE(compile_timeline_file(dir.path + "/missing.txt", out, &errors));
    EXPECT_EQ(errors, "cannot open '" + dir.path + "/missing.txt': No such file or directory\n");
}

TEST(TimelineFiles, DumpPrintsTheFileAsSource)
{
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string path = dir.path + "/sync_clear.r.track";
    write_bytes(path, EXAMPLE_BYTES);

    std::string text, error;
    ASSERT_TRUE(dump_track_file(path, "", &text, &error)) << error;
    EXPECT_EQ(text, "track clear.r\n"
                    "  0:0      0            linear\n"
                    "  1:1      255          hold\n"); // row 40 = bar 1, beat 1
    ASSERT_TRUE(dump_track_file(path, "cam.h", &text, &error)) << error;
    EXPECT_EQ(text.substr(0, 12), "track cam.h\n");

    // Escaped names come back unescaped: "a b" is stored as "a-20b".
    const std::string escaped = dir.path + "/sync_a-20b.track";
    write_bytes(escaped, {0, 0, 0, 0});
    ASSERT_TRUE(dump_track_file(escaped, "", &text, &error)) << error;
    EXPECT_EQ(text, "track a b\n");

    const std::string damaged = dir.path + "/sync_cam.x.track";
    write_bytes(damaged, Bytes(EXAMPLE_BYTES.begin(), EXAMPLE_BYTES.end() - 1));
    EXPECT_FALSE(dump_track_file(damaged, "", &text, &error));
    EXPECT_EQ(error, damaged + ": truncated: 2 keys announced, 1 present");

    EXPECT_FALSE(dump_track_file(dir.path + "/none.track", "", &text, &error));
    EXPECT_EQ(error, "cannot open '" + dir.path + "/none.track': No such file or directory");
}

TEST(TimelineFiles, CompileReplacesAllTracksOrNone)
{
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string source = dir.path + "/timeline.txt", out = dir.path + "/out";
    // Every track changes from the first source to the second.
    std::string second;
    for (const char *name : TimelineTrackNames)
        second += std::string("track ") + name + (name == std::string("scene") ? "\n  0 5 hold\n" : "\n  0 1 hold\n");
    const std::string first = source_with("");
    write_bytes(source, Bytes(first.begin(), first.end()));
    std::string errors;
    ASSERT_TRUE(compile_timeline_file(source, out, &errors)) << errors;

    // The old set: one track file missing, and a directory where a later
    // track must go, so that its rename fails after earlier ones succeeded.
    const std::string missing = track_output_path(out, TimelineTrackNames[1]);
    const std::string blocked = track_output_path(out, TimelineTrackNames[4]);
    ASSERT_EQ(std::remove(missing.c_str()), 0);
    ASSERT_EQ(std::remove(blocked.c_str()), 0);
    ASSERT_TRUE(std::filesystem::create_directory(blocked));
    std::map<std::string, Bytes> before;
    for (const auto &e : std::filesystem::directory_iterator(out))
        if (e.is_regular_file())
            before[e.path().string()] = read_bytes(e.path().string());
    ASSERT_EQ(before.size(), static_cast<size_t>(TIMELINE_TRACK_COUNT - 2));

    write_bytes(source, Bytes(second.begin(), second.end()));
    EXPECT_FALSE(compile_timeline_file(source, out, &errors));
    EXPECT_EQ(errors.rfind("cannot replace " + blocked + ": Is a directory", 0), 0u) << errors;

    // Every old file byte for byte, nothing new, no temporary or kept file.
    std::map<std::string, Bytes> after;
    for (const auto &e : std::filesystem::directory_iterator(out))
        if (e.is_regular_file())
            after[e.path().string()] = read_bytes(e.path().string());
    EXPECT_EQ(after, before);
    EXPECT_TRUE(std::filesystem::is_directory(blocked));

    // With the way clear, the new set goes in whole.
    std::filesystem::remove(blocked);
    ASSERT_TRUE(compile_timeline_file(source, out, &errors)) << errors;
    EXPECT_EQ(read_bytes(track_output_path(out, "scene")), (Bytes{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xA0, 0x40, 0}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), std::filesystem::directory_iterator()),
              TIMELINE_TRACK_COUNT);
}

TEST(TimelineFiles, OnlyRegularFilesAreRead)
{
    // A FIFO without a writer would block an ordinary open for ever; a
    // directory opens but is no source either.
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string fifo = dir.path + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string errors, text;
    EXPECT_FALSE(compile_timeline_file(fifo, dir.path + "/out", &errors));
    EXPECT_EQ(errors, "'" + fifo + "' is not a regular file\n");
    EXPECT_FALSE(dump_track_file(fifo, "", &text, &errors));
    EXPECT_EQ(errors, "'" + fifo + "' is not a regular file");
    EXPECT_FALSE(compile_timeline_file(dir.path, dir.path + "/out", &errors));
    EXPECT_EQ(errors, "'" + dir.path + "' is not a regular file\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path + "/out"));
}

// ---- The compiler and the device share one file layout and one name -----------

TEST(TrackFileAgreement, CompiledTracksLoadThroughTheDevice)
{
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string source = dir.path + "/timeline.txt";
    const std::string text = source_replacing("cam.x", "track cam.x\n  -8 0.1 linear\n  0:1 -2.5 smooth\n"
                                                       "  1:0 1e-7 quadratic\n  100 3 hold\n");
    write_bytes(source, Bytes(text.begin(), text.end()));
    std::string errors;
    ASSERT_TRUE(compile_timeline_file(source, dir.path, &errors)) << errors;
    Timeline tl;
    ASSERT_TRUE(parse_timeline(text, "t", &tl, &errors));

    SyncDevice *d = create_sync_device((dir.path + "/" + SYNC_BASE_NAME).c_str());
    ASSERT_NE(d, nullptr);
    for (int i = 0; i < TIMELINE_TRACK_COUNT; i++) {
        const SyncTrack *t = open_track(d, TimelineTrackNames[i]);
        ASSERT_NE(t, nullptr);
        const std::vector<SyncKey> &want = tl.tracks[i].keys;
        ASSERT_EQ(t->key_count, static_cast<int32_t>(want.size())) << TimelineTrackNames[i];
        for (size_t k = 0; k < want.size(); k++) {
            EXPECT_EQ(t->keys[k].row, want[k].row);
            EXPECT_EQ(std::memcmp(&t->keys[k].value, &want[k].value, sizeof(float)), 0);
            EXPECT_EQ(t->keys[k].kind, want[k].kind);
        }
    }
    EXPECT_EQ(find_track(d, "cam.x"), find_timeline_track("cam.x"));
    EXPECT_EQ(d->tracks[find_track(d, "cam.x")]->keys[1].row, 8); // bar 0, beat 1

    // A name that needs escaping: where the compiler puts it is where the
    // device looks for it.
    EXPECT_EQ(track_output_path("out", "fx a-\xE4"), "out/sync_fx-20a-2D-E4.track");
    const std::vector<SyncKey> keys = {{3, 1.5f, 1}, {9, -1.0f, 0}};
    const std::vector<uint8_t> bytes = encode_track(keys);
    write_bytes(track_output_path(dir.path, "fx a-\xE4"), bytes);
    const SyncTrack *t = open_track(d, "fx a-\xE4");
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->key_count, 2);
    EXPECT_EQ(encode_track(t->keys, 2), bytes);
    destroy_sync_device(d);
}
