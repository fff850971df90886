// The studio's key editor: edits on plain key lists, the line-by-line rewrite
// of a timeline source (checked against texts written out by hand), undo back
// to the original bytes, and the save that the watch must not take for an
// outside change.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "studio/editor/commands.h"
#include "studio/editor/key_edit.h"
#include "studio/editor/play_keys.h"
#include "studio/files/reload.h"
#include "state/state.h"
#include "studio/command_frame.h"
#include "studio/studio.h"
#include "sync/device.h"

namespace fs = std::filesystem;

namespace {

KeyList keys_of(std::initializer_list<SyncKey> k)
{
    return KeyList(k);
}

std::string rows_of(const KeyList &keys)
{
    std::string s;
    for (const SyncKey &k : keys)
        s += std::to_string(k.row) + "=" + std::to_string(static_cast<double>(k.value)).substr(0, 4) + "/" +
             std::to_string(k.kind) + " ";
    return s;
}

// ---- Key lists -------------------------------------------------------------------

TEST(KeyModel, InsertChangeMoveDeletePaste)
{
    KeyList k = keys_of({{8, 1.0f, 0}, {32, 2.0f, 1}});
    // At row 0, before every key, and after the last.
    EXPECT_TRUE(insert_key(&k, SyncKey{0, 5.0f, 2}));
    EXPECT_TRUE(insert_key(&k, SyncKey{100, 6.0f, 0}));
    EXPECT_FALSE(insert_key(&k, SyncKey{32, 9.0f, 0})); // occupied
    EXPECT_EQ(rows_of(k), "0=5.00/2 8=1.00/0 32=2.00/1 100=6.00/0 ");

    set_key_value(&k, 8, 1.5f, 3);  // an existing key keeps its kind
    set_key_value(&k, 40, 7.0f, 3); // a new key takes the kind given
    EXPECT_EQ(rows_of(k), "0=5.00/2 8=1.50/0 32=2.00/1 40=7.00/3 100=6.00/0 ");

    std::string why;
    EXPECT_FALSE(move_key(&k, 8, 32, &why)); // onto a key: refused
    EXPECT_NE(why.find("32"), std::string::npos);
    EXPECT_FALSE(move_key(&k, 0, -1, &why)); // before row 0
    EXPECT_FALSE(move_key(&k, 9, 10, &why)); // nothing there
    EXPECT_EQ(rows_of(k), "0=5.00/2 8=1.50/0 32=2.00/1 40=7.00/3 100=6.00/0 ");
    EXPECT_TRUE(move_key(&k, 8, 50, &why)); // past two keys
    EXPECT_TRUE(move_key(&k, 100, 101, &why));
    EXPECT_EQ(rows_of(k), "0=5.00/2 32=2.00/1 40=7.00/3 50=1.50/0 101=6.00/0 ");

    EXPECT_TRUE(remove_key(&k, 0));
    EXPECT_FALSE(remove_key(&k, 0));

    // Copy rows [32, 64) and paste them at 96: the keys there are replaced.
    const KeyList clip = copy_keys(k, 32, 32);
    EXPECT_EQ(rows_of(clip), "0=2.00/1 8=7.00/3 18=1.50/0 ");
    paste_keys(&k, clip, 96, 32);
    EXPECT_EQ(rows_of(k), "32=2.00/1 40=7.00/3 50=1.50/0 96=2.00/1 104=7.00/3 114=1.50/0 ");
    paste_keys(&k, KeyList{}, 32, 32); // an empty clip clears the range
    EXPECT_EQ(rows_of(k), "96=2.00/1 104=7.00/3 114=1.50/0 ");

    EXPECT_EQ(find_key(k, 104), 1);
    EXPECT_EQ(find_key(k, 105), -1);
    EXPECT_EQ(key_at_or_before(k, 105), 1);
    EXPECT_EQ(key_at_or_before(k, 95), -1);
}

// ---- The source rewrite ------------------------------------------------------------

const char *const OTHER_TRACKS = "track clear.g\ntrack clear.b\ntrack cam.rot\ntrack cam.dist\n"
                                 "track cam.x\ntrack cam.y\ntrack cam.h\ntrack cam.hori\n";

// Comments, blank lines, odd spacing, both row notations, an empty section,
// and a last line without its line end.
std::string original_source()
{
    return std::string("# the show\n"
                       "track scene\n"
                       "  0:0     7     hold   # titles\n"
                       "\n"
                       "  2:0     2     hold\n"
                       "\t100\t3.50\tlinear\n") +
           OTHER_TRACKS +
           "track clear.a\n"
           "# no lines yet\n"
           "track clear.r\n"
           "  0:0   10.0   smooth\n"
           "track cam.scaleh\n"
           "  1:0 100 hold";
}

Timeline parse(const std::string &text)
{
    Timeline tl;
    std::string errors;
    EXPECT_TRUE(parse_timeline(text, "t.txt", &tl, &errors)) << errors << text;
    return tl;
}

// The keys parsed from the text are the editor's, key for key.
void expect_reads_back(const KeyEditor &e)
{
    const Timeline tl = parse(key_editor_text(e));
    for (int t = 0; t < TIMELINE_TRACK_COUNT; t++) {
        KeyList got;
        for (const auto &k : tl.tracks[t].keys)
            got.push_back(SyncKey{k.row, k.value, k.kind});
        EXPECT_EQ(rows_of(got), rows_of(e.keys[t])) << TimelineTrackNames[t];
    }
}

int track(const char *name)
{
    return find_timeline_track(name);
}

TEST(SourceRewrite, EditsChangeOnlyTheirLinesAndUndoGivesTheBytesBack)
{
    const std::string original = original_source();
    KeyEditor e;
    load_key_editor(&e, original, parse(original));
    const int scene = track("scene"), clear_a = track("clear.a"), clear_r = track("clear.r"),
              scaleh = track("cam.scaleh");
    std::vector<std::string> texts = {original};
    const auto edit = [&](int t, KeyList k) {
        ASSERT_TRUE(apply_key_edit(&e, {{t, k}}));
        texts.push_back(key_editor_text(e));
        expect_reads_back(e);
    };

    // A new key on the beat grid (row 40 = 1:1) and one off it (row 45),
    // in the columns of the key before them.
    KeyList k = e.keys[scene];
    insert_key(&k, SyncKey{40, 4.0f, INTERP_HOLD});
    insert_key(&k, SyncKey{45, 5.0f, INTERP_SMOOTH});
    edit(scene, k);
    EXPECT_EQ(key_editor_text(e), std::string("# the show\n"
                                              "track scene\n"
                                              "  0:0     7     hold   # titles\n"
                                              "  1:1     4     hold\n"
                                              "  45      5     smooth\n"
                                              "\n"
                                              "  2:0     2     hold\n"
                                              "\t100\t3.50\tlinear\n") +
                                      OTHER_TRACKS +
                                      "track clear.a\n"
                                      "# no lines yet\n"
                                      "track clear.r\n"
                                      "  0:0   10.0   smooth\n"
                                      "track cam.scaleh\n"
                                      "  1:0 100 hold");

    // Value and kind of a key written "2:0" and one written with tabs:
    // only those words change, the row keeps its notation.
    k = e.keys[scene];
    k[find_key(k, 64)].value = 6.0f;
    k[find_key(k, 100)].kind = INTERP_QUADRATIC;
    edit(scene, k);
    // A move keeps the key's line (and comment), with its new row.
    k = e.keys[scene];
    std::string why;
    ASSERT_TRUE(move_key(&k, 0, 8, &why));
    edit(scene, k);
    // A delete drops the line; an empty section gets its first key after
    // its "track" line; a key after the file's last line gives that line
    // its line end.
    k = e.keys[scene];
    remove_key(&k, 45);
    edit(scene, k);
    edit(clear_a, keys_of({{16, 2.0f, INTERP_HOLD}}));
    k = e.keys[scaleh];
    insert_key(&k, SyncKey{50, 140.0f, INTERP_LINEAR});
    edit(scaleh, k);
    EXPECT_EQ(key_editor_text(e), std::string("# the show\n"
                                              "track scene\n"
                                              "  0:1     7     hold   # titles\n"
                                              "  1:1     4     hold\n"
                                              "\n"
                                              "  2:0     6     hold\n"
                                              "\t100\t3.50\tquadratic\n") +
                                      OTHER_TRACKS +
                                      "track clear.a\n"
                                      "  0:2     2     hold\n" // the file's first key line's columns
                                      "# no lines yet\n"
                                      "track clear.r\n"
                                      "  0:0   10.0   smooth\n"
                                      "track cam.scaleh\n"
                                      "  1:0 100 hold\n"
                                      "  50  140 linear");

    // Paste bar 0 over bar 3 across all tracks, as one step.
    std::vector<std::pair<int, KeyList>> paste;
    for (int t = 0; t < TIMELINE_TRACK_COUNT; t++) {
        KeyList all = e.keys[t];
        paste_keys(&all, copy_keys(all, 0, 32), 96, 32);
        paste.push_back({t, all});
    }
    ASSERT_TRUE(apply_key_edit(&e, paste));
    texts.push_back(key_editor_text(e));
    expect_reads_back(e);
    EXPECT_EQ(e.keys[scene][find_key(e.keys[scene], 104)].value, 7.0f);
    EXPECT_EQ(find_key(e.keys[scene], 100), -1); // replaced by the paste
    EXPECT_EQ(e.keys[clear_r][find_key(e.keys[clear_r], 96)].value, 10.0f);
    const std::string pasted = key_editor_text(e);
    EXPECT_NE(pasted.find("  3:0   10     smooth\n"), std::string::npos) << pasted;

    // Nothing changed: no step.
    EXPECT_FALSE(apply_key_edit(&e, {{scene, e.keys[scene]}}));

    // Undo walks back through every text to the original bytes; redo forward.
    std::vector<int> changed;
    for (size_t i = texts.size() - 1; i > 0; i--) {
        ASSERT_TRUE(undo_key_edit(&e, &changed));
        EXPECT_EQ(key_editor_text(e), texts[i - 1]) << "undo to step " << i - 1;
        expect_reads_back(e);
    }
    EXPECT_FALSE(undo_key_edit(&e, &changed));
    EXPECT_EQ(key_editor_text(e), original);
    for (size_t i = 1; i < texts.size(); i++) {
        ASSERT_TRUE(redo_key_edit(&e, &changed));
        EXPECT_EQ(key_editor_text(e), texts[i]);
    }
    EXPECT_FALSE(redo_key_edit(&e, &changed));
}

TEST(SourceRewrite, CrLfLinesAndAByteOrderMarkStay)
{
    std::string text = "\xEF\xBB\xBFtrack scene\r\n  0:0 1 hold\r\n";
    for (const char *name : {"clear.r", "clear.g", "clear.b", "clear.a", "cam.rot", "cam.dist", "cam.x",
                             "cam.y", "cam.h", "cam.hori", "cam.scaleh"})
        text += std::string("track ") + name + "\r\n";
    KeyEditor e;
    Timeline tl;
    std::string errors;
    ASSERT_TRUE(parse_timeline(text, "t.txt", &tl, &errors)) << errors;
    load_key_editor(&e, text, tl);
    KeyList k = e.keys[0];
    insert_key(&k, SyncKey{8, 2.0f, INTERP_LINEAR});
    ASSERT_TRUE(apply_key_edit(&e, {{0, k}}));
    const std::string expected = "\xEF\xBB\xBFtrack scene\r\n  0:0 1 hold\r\n  0:1 2 linear\r\ntrack clear.r\r\n";
    EXPECT_EQ(key_editor_text(e).substr(0, expected.size()), expected);
}

TEST(SourceRewrite, UndoKeepsAtLeastTwoHundredSteps)
{
    const std::string original = original_source();
    KeyEditor e;
    load_key_editor(&e, original, parse(original));
    for (int i = 0; i < 250; i++) {
        KeyList k = e.keys[0];
        k[0].value = static_cast<float>(i + 100);
        ASSERT_TRUE(apply_key_edit(&e, {{0, k}}));
    }
    std::vector<int> changed;
    int undone = 0;
    while (undo_key_edit(&e, &changed))
        undone++;
    EXPECT_EQ(undone, 250);
    EXPECT_EQ(key_editor_text(e), original);
}

// A valid source that a text editor might leave: blanks of every kind, a
// track line indented, sections out of order with tempo and marks among
// them, CRLF lines, keys with comments, rows as BAR:BEAT at a tempo whose
// beat is not whole rows, and a last line without its line end.
std::string odd_source()
{
    std::string s = "\xEF\xBB\xBF# odd\r\ntempo 133.5 3\r\n\n";
    s += "   track cam.x \t# indented, with a comment\n  0:1\v 5\fhold\n";
    s += "mark here 0:2\n 40 -1e2 smooth   # a comment\r\n\n";
    for (int t = TIMELINE_TRACK_COUNT - 1; t >= 0; t--)
        if (std::string(TimelineTrackNames[t]) != "cam.x")
            s += std::string("track ") + TimelineTrackNames[t] + "\r\n" + (t % 3 == 0 ? "\t1:1\t0.25\tlinear\r\n" : "");
    return s + "mark end 99";
}

TEST(SourceRewrite, ManyMixedEditsReadBackAndUndoToTheOriginal)
{
    // A fixed sequence of edits drawn from a seeded generator, on the plain
    // source and on an odd one: every text parses to the editor's keys, and
    // undoing all gives the first bytes.
    for (const std::string &original : {original_source(), odd_source()}) {
        KeyEditor e;
        load_key_editor(&e, original, parse(original));
        ASSERT_TRUE(e.loaded);
        uint32_t state = 12345;
        const auto next = [&](uint32_t n) { // a small LCG; n > 0
            state = state * 1103515245u + 12345u;
            return (state >> 8) % n;
        };
        std::vector<std::string> texts = {original};
        for (int step = 0; step < 300; step++) {
            const int t = static_cast<int>(next(TIMELINE_TRACK_COUNT));
            KeyList k = e.keys[t];
            const int32_t row = static_cast<int32_t>(next(200));
            std::string why;
            switch (next(5)) {
            case 0: insert_key(&k, SyncKey{row, static_cast<float>(next(1000)) / 8.0f, static_cast<int32_t>(next(4))}); break;
            case 1: if (!k.empty()) remove_key(&k, k[next(static_cast<uint32_t>(k.size()))].row); break;
            case 2: if (!k.empty()) move_key(&k, k[next(static_cast<uint32_t>(k.size()))].row, row, &why); break;
            case 3: if (!k.empty()) k[next(static_cast<uint32_t>(k.size()))].kind = static_cast<int32_t>(next(4)); break;
            default: paste_keys(&k, copy_keys(k, row, 32), static_cast<int32_t>(next(200)), 32); break;
            }
            if (apply_key_edit(&e, {{t, k}}))
                texts.push_back(key_editor_text(e));
            expect_reads_back(e);
            if (HasFailure())
                return;
        }
        EXPECT_GT(texts.size(), 200u); // most draws change something
        EXPECT_EQ(parse(texts.back()).marks.size(), original == odd_source() ? 2u : 0u);
        std::vector<int> changed;
        for (size_t i = texts.size() - 1; i > 0; i--) {
            ASSERT_TRUE(undo_key_edit(&e, &changed));
            ASSERT_EQ(key_editor_text(e), texts[i - 1]);
        }
        EXPECT_EQ(key_editor_text(e), original);
    }
}

TEST(SourceRewrite, TempoAndMarkLinesStayAndNewRowsFollowTheFileTempo)
{
    const std::string original = std::string("tempo 128 4   # the new song\n"
                                             "mark intro 0:0\n"
                                             "track scene\n"
                                             "  0:0  1  hold\n"
                                             "mark drop 1:0\n"
                                             "  38   2  hold\n") +
                                 OTHER_TRACKS + "track clear.a\ntrack clear.r\ntrack cam.scaleh\n";
    KeyEditor e;
    load_key_editor(&e, original, parse(original));
    ASSERT_TRUE(e.loaded);
    EXPECT_EQ(key_editor_tempo(e).beats_per_minute, 128.0);
    // At 128 BPM row 19 is beat 2 ("0:2"), row 20 is no beat, row 75 is
    // beat 8 ("2:0").
    KeyList k = e.keys[0];
    insert_key(&k, SyncKey{19, 5.0f, INTERP_HOLD});
    insert_key(&k, SyncKey{20, 6.0f, INTERP_LINEAR});
    ASSERT_TRUE(apply_key_edit(&e, {{0, k}}));
    k = e.keys[0];
    k[find_key(k, 38)].value = 7.0f;
    remove_key(&k, 0);
    ASSERT_TRUE(apply_key_edit(&e, {{0, k}}));
    std::string why;
    k = e.keys[0];
    ASSERT_TRUE(move_key(&k, 38, 75, &why));
    ASSERT_TRUE(apply_key_edit(&e, {{0, k}}));
    EXPECT_EQ(key_editor_text(e), std::string("tempo 128 4   # the new song\n"
                                              "mark intro 0:0\n"
                                              "track scene\n"
                                              "  0:2  5  hold\n"
                                              "  20   6  linear\n"
                                              "mark drop 1:0\n"
                                              "  2:0  7  hold\n") +
                                      OTHER_TRACKS + "track clear.a\ntrack clear.r\ntrack cam.scaleh\n");
    const Timeline tl = parse(key_editor_text(e));
    ASSERT_EQ(tl.tracks[0].keys.size(), 3u);
    EXPECT_EQ(tl.tracks[0].keys[2].row, 75);
    EXPECT_EQ(tl.marks.size(), 2u);
    std::vector<int> changed;
    while (undo_key_edit(&e, &changed))
        ;
    EXPECT_EQ(key_editor_text(e), original);
}

// A file without any key line gives its first key the compiler's own line
// (format_key_line), its row at the file's tempo.
TEST(SourceRewrite, AFirstKeyLineInAFileWithoutKeysIsTheCompilers)
{
    const std::string original = std::string("tempo 128\ntrack scene\n") + OTHER_TRACKS +
                                 "track clear.a\ntrack clear.r\ntrack cam.scaleh\n";
    KeyEditor e;
    load_key_editor(&e, original, parse(original));
    ASSERT_TRUE(e.loaded);
    ASSERT_TRUE(apply_key_edit(&e, {{0, keys_of({{19, 5.0f, INTERP_LINEAR}})}}));
    const std::string text = key_editor_text(e);
    EXPECT_EQ(text.rfind("tempo 128\ntrack scene\n  0:2      5            linear\ntrack clear.g\n", 0), 0u) << text;
}

TEST(SourceRewrite, RangesChangeOnlyTheirRows)
{
    const std::string original = original_source();
    KeyEditor e, whole;
    load_key_editor(&e, original, parse(original));
    load_key_editor(&whole, original, parse(original));
    const int scene = track("scene"), clear_r = track("clear.r");

    // A move as two one-row ranges: the key leaves its line and gets a new
    // one in row order.
    ASSERT_TRUE(apply_key_ranges(&e, {KeyRange{scene, 64, 65, {}}, KeyRange{scene, 120, 121, {{120, 2.0f, INTERP_HOLD}}}}));
    EXPECT_EQ(rows_of(e.keys[scene]), rows_of(keys_of({{0, 7, 0}, {100, 3.5f, 1}, {120, 2, 0}})));
    EXPECT_EQ(key_editor_text(e).substr(0, 60), "# the show\n"
                                                "track scene\n"
                                                "  0:0     7     hold   # titles\n"
                                                "\n"
                                                "\t100");
    // In the columns of the key line before it (tab-indented).
    EXPECT_NE(key_editor_text(e).find("\t100\t3.50\tlinear\n\t3:3 2    hold\ntrack clear.g\n"), std::string::npos)
        << key_editor_text(e);
    expect_reads_back(e);

    // A block pasted over two tracks gives the bytes the same change gives
    // through whole lists.
    std::vector<KeyRange> ranges;
    std::vector<std::pair<int, KeyList>> lists;
    for (int t : {scene, clear_r}) {
        KeyList clip = copy_keys(e.keys[t], 0, 40);
        for (SyncKey &c : clip)
            c.row += 96;
        ranges.push_back(KeyRange{t, 96, 136, clip});
        KeyList all = e.keys[t];
        paste_keys(&all, copy_keys(all, 0, 40), 96, 40);
        lists.push_back({t, all});
    }
    ASSERT_TRUE(apply_key_ranges(&whole, {KeyRange{scene, 64, 65, {}}, KeyRange{scene, 120, 121, {{120, 2.0f, INTERP_HOLD}}}}));
    ASSERT_TRUE(apply_key_ranges(&e, ranges));
    ASSERT_TRUE(apply_key_edit(&whole, lists));
    EXPECT_EQ(key_editor_text(e), key_editor_text(whole));
    expect_reads_back(e);

    // Refused, and nothing changes: overlapping ranges, a key outside its
    // range, keys out of order, a track that is none; the same keys again.
    const std::string before = key_editor_text(e);
    EXPECT_FALSE(apply_key_ranges(&e, {KeyRange{scene, 0, 10, {}}, KeyRange{scene, 5, 20, {}}}));
    EXPECT_FALSE(apply_key_ranges(&e, {KeyRange{scene, 0, 10, {{10, 1.0f, 0}}}}));
    EXPECT_FALSE(apply_key_ranges(&e, {KeyRange{scene, 0, 10, {{5, 1.0f, 0}, {4, 1.0f, 0}}}}));
    EXPECT_FALSE(apply_key_ranges(&e, {KeyRange{TIMELINE_TRACK_COUNT, 0, 10, {}}}));
    EXPECT_FALSE(apply_key_ranges(&e, {KeyRange{scene, 0, 1, {e.keys[scene][0]}}}));
    EXPECT_FALSE(apply_key_edit(&e, {{scene, keys_of({{8, 1, 0}, {8, 2, 0}})}})); // rows must increase
    EXPECT_EQ(key_editor_text(e), before);
    EXPECT_EQ(e.undo.size(), 2u);

    std::vector<int> changed;
    ASSERT_TRUE(undo_key_edit(&e, &changed));
    EXPECT_EQ(changed, (std::vector<int>{scene, clear_r}));
    int step_track = -1;
    int32_t step_row = -1;
    ASSERT_TRUE(edit_step_first_change(e.redo.back(), &step_track, &step_row));
    EXPECT_EQ(step_track, scene);
    EXPECT_EQ(step_row, 96); // the paste's first row: 100 went, 96 came
    ASSERT_TRUE(undo_key_edit(&e, &changed));
    EXPECT_EQ(key_editor_text(e), original);
}

TEST(SourceRewrite, ManyRangesInOneStepReadBackAndUndo)
{
    // Steps of several ranges on several tracks (splices moving the text
    // both ways in one pass), drawn from a seeded generator: the keys are
    // what plain list edits give, the text parses to them, and undo and redo
    // walk the texts exactly.
    const std::string original = original_source();
    KeyEditor e;
    load_key_editor(&e, original, parse(original));
    uint32_t state = 777;
    const auto next = [&](uint32_t n) {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % n;
    };
    std::vector<std::string> texts = {original};
    for (int step = 0; step < 150; step++) {
        std::vector<KeyRange> ranges;
        KeyList expected[TIMELINE_TRACK_COUNT];
        for (int t = 0; t < TIMELINE_TRACK_COUNT; t++)
            expected[t] = e.keys[t];
        for (int n = 1 + static_cast<int>(next(3)); n > 0; n--) {
            const int t = static_cast<int>(next(3)) * 5; // scene, clear.a, cam.scaleh
            int32_t from = static_cast<int32_t>(next(8)) * 40;
            for (int r = 1 + static_cast<int>(next(4)); r > 0; r--, from += 40 + static_cast<int32_t>(next(40))) {
                const int32_t to = from + 1 + static_cast<int32_t>(next(30));
                KeyList keys;
                for (int32_t row = from; row < to; row += 1 + static_cast<int32_t>(next(12)))
                    if (next(2))
                        keys.push_back(SyncKey{row, static_cast<float>(next(50)), static_cast<int32_t>(next(4))});
                bool clash = false; // one range per track and rows in this step
                for (const KeyRange &o : ranges)
                    clash = clash || (o.track == t && o.from < to + 40 && from < o.to + 40);
                if (clash)
                    continue;
                ranges.push_back(KeyRange{t, from, to, keys});
                KeyList clip = keys;
                for (SyncKey &c : clip)
                    c.row -= from;
                paste_keys(&expected[t], clip, from, to - from);
            }
        }
        if (apply_key_ranges(&e, ranges))
            texts.push_back(key_editor_text(e));
        for (int t = 0; t < TIMELINE_TRACK_COUNT; t++)
            ASSERT_EQ(rows_of(e.keys[t]), rows_of(expected[t])) << "step " << step;
        expect_reads_back(e);
        if (HasFailure())
            return;
    }
    EXPECT_GT(texts.size(), 100u);
    std::vector<int> changed;
    for (size_t i = texts.size() - 1; i > 0; i--) {
        ASSERT_TRUE(undo_key_edit(&e, &changed));
        ASSERT_EQ(key_editor_text(e), texts[i - 1]);
    }
    for (size_t i = 1; i < texts.size(); i++) {
        ASSERT_TRUE(redo_key_edit(&e, &changed));
        ASSERT_EQ(key_editor_text(e), texts[i]);
    }
    expect_reads_back(e);
}

TEST(SourceRewrite, HistoryHoldsWhatChangedNotTheTrack)
{
    // 20000 keys in one track: a whole copy of it would be 240000 bytes.
    std::string text = "track scene\n";
    for (int i = 0; i < 20000; i++)
        text += "  " + std::to_string(2 * i) + " " + std::to_string(i % 7) + " hold\n";
    for (int t = 1; t < TIMELINE_TRACK_COUNT; t++)
        text += std::string("track ") + TimelineTrackNames[t] + "\n";
    KeyEditor e;
    load_key_editor(&e, text, parse(text));
    ASSERT_TRUE(e.loaded);
    KeyList k = e.keys[0];
    insert_key(&k, SyncKey{10001, 1.0f, INTERP_LINEAR});
    ASSERT_TRUE(apply_key_edit(&e, {{0, k}}));
    ASSERT_TRUE(apply_key_ranges(&e, {KeyRange{0, 30000, 30001, {{30000, 9.0f, INTERP_SMOOTH}}}}));
    ASSERT_TRUE(apply_key_ranges(&e, {KeyRange{0, 2, 3, {}}}));
    EXPECT_LT(key_editor_history_bytes(e), 3000u);
    std::vector<int> changed;
    ASSERT_TRUE(undo_key_edit(&e, &changed));
    EXPECT_LT(key_editor_history_bytes(e), 3000u); // the redo step too
    while (undo_key_edit(&e, &changed))
        ;
    EXPECT_EQ(key_editor_text(e), text);
    EXPECT_EQ(e.keys[0].size(), 20000u);
}

TEST(SourceRewrite, AParseOfAnotherTextIsNotTaken)
{
    const std::string original = original_source();
    KeyEditor e;
    load_key_editor(&e, "# one more line\n" + original, parse(original));
    EXPECT_FALSE(e.loaded);
    load_key_editor(&e, original.substr(0, 40), parse(original));
    EXPECT_FALSE(e.loaded);
    EXPECT_FALSE(apply_key_edit(&e, {{0, keys_of({{0, 1, 0}})}})); // nothing to edit
    EXPECT_EQ(key_editor_text(e), "");
}

// ---- Saving from the studio, and the watch --------------------------------------------

FILE *open_nothing(const char *, const char *)
{
    return nullptr;
}

struct StudioSave : ::testing::Test {
    fs::path dir, file;
    SyncDevice *device = nullptr;
    Studio studio;

    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("studio_save_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        file = dir / "timeline.txt";
        device = create_sync_device("sync");
        ASSERT_NE(device, nullptr);
        device->open_file = open_nothing;
        for (int i = 0; i < TRACK_COUNT; i++)
            Tracks[i] = open_track(device, TrackNames[i]);
        write(original_source());
        WatchResult first = WATCH_UNCHANGED;
        std::string error;
        ASSERT_TRUE(open_timeline_watch(&studio.watch, file.string(), &first, &error)) << error;
        studio.live = true;
        take_watch_result(&studio, first);
    }
    void TearDown() override
    {
        saved();
        close_timeline_watch(&studio.watch);
        destroy_sync_device(device);
        for (SyncTrack *&t : Tracks)
            t = nullptr;
        fs::remove_all(dir);
    }
    void write(const std::string &text)
    {
        std::ofstream f(file, std::ios::binary | std::ios::trunc);
        f << text;
    }
    std::string on_disk()
    {
        std::ifstream f(file, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    // Waits for the studio's saves in flight, as the frame loop takes them.
    SaveOutcome saved()
    {
        std::string message;
        const SaveOutcome outcome = finish_source_saves(&studio.saver, &studio.watch, &message);
        take_save_outcome(&studio, outcome, message);
        return outcome;
    }
    WatchResult poll()
    {
        WatchResult r = poll_timeline_watch(&studio.watch);
        if (studio.watch.job)
            r = finish_timeline_watch(&studio.watch);
        take_watch_result(&studio, r);
        return r;
    }
};

TEST_F(StudioSave, OwnSaveIsNotReloadedAnOutsideSaveIs)
{
    const uint64_t reads = studio.watch.reads;
    KeyList k = studio.editor.model.keys[0];
    insert_key(&k, SyncKey{40, 4.0f, INTERP_HOLD});
    ASSERT_TRUE(commit_edit(&studio, {{0, k}}));
    EXPECT_EQ(saved(), SAVE_DONE);
    EXPECT_NE(on_disk().find("  1:1     4     hold\n"), std::string::npos);
    EXPECT_EQ(Tracks[0]->key_count, 4); // the picture's tracks have the key at once
    // The studio's own save: nothing to read, the undo history stays.
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(poll(), WATCH_UNCHANGED);
    EXPECT_EQ(studio.watch.reads, reads);
    EXPECT_EQ(studio.editor.model.undo.size(), 1u);

    // Undo writes the original bytes back, and that is not reloaded either.
    std::vector<int> changed;
    KeyList again = studio.editor.model.keys[0];
    again[0].value = 5.0f;
    ASSERT_TRUE(commit_edit(&studio, {{0, again}}));
    EXPECT_EQ(saved(), SAVE_DONE);
    ASSERT_TRUE(undo_key_edit(&studio.editor.model, &changed)); // the editor alone: file untouched
    ASSERT_TRUE(redo_key_edit(&studio.editor.model, &changed));

    // A text editor saves in the middle of the editing: that is reloaded,
    // and the history, which names lines of the old text, is cleared.
    std::string outside = original_source();
    outside.replace(outside.find("  0:0     7"), 11, "  0:0     3");
    write(outside);
    EXPECT_EQ(poll(), WATCH_NEW_TIMELINE);
    EXPECT_EQ(studio.editor.model.keys[0][0].value, 3.0f);
    EXPECT_TRUE(studio.editor.model.undo.empty());
    EXPECT_EQ(Tracks[0]->keys[0].value, 3.0f);

    // An outside save not yet seen refuses an edit instead of overwriting it.
    write(original_source());
    KeyList late = studio.editor.model.keys[0];
    late[0].value = 1.0f;
    EXPECT_FALSE(commit_edit(&studio, {{0, late}}));
    EXPECT_EQ(saved(), SAVE_NONE);
    EXPECT_EQ(on_disk(), original_source());
}

TEST_F(StudioSave, ExportKeepsTheCompiledTracksOfEveryGoodVersion)
{
    const fs::path out = dir / "demo", compiled = dir / "compiled";
    open_track_export(&studio.track_export, out.string());
    const auto expect_same_as_compile = [&](const char *when) {
        std::string errors;
        ASSERT_TRUE(compile_timeline_file(file.string(), compiled.string(), &errors)) << errors;
        for (const char *name : TimelineTrackNames) {
            const auto bytes = [](const std::string &path) {
                std::ifstream f(path, std::ios::binary);
                std::stringstream s;
                s << f.rdbuf();
                return s.str();
            };
            const std::string exported = bytes(track_output_path(out.string(), name));
            EXPECT_FALSE(exported.empty()) << when << " " << name;
            EXPECT_EQ(exported, bytes(track_output_path(compiled.string(), name))) << when << " " << name;
        }
    };
    // The studio's own save, then an outside one: each writes the set.
    KeyList k = studio.editor.model.keys[0];
    insert_key(&k, SyncKey{40, 4.0f, INTERP_HOLD});
    ASSERT_TRUE(commit_edit(&studio, {{0, k}}));
    ASSERT_EQ(saved(), SAVE_DONE);
    EXPECT_EQ(finish_track_export(&studio.track_export), 1u);
    expect_same_as_compile("own save");
    std::string outside = original_source();
    outside.replace(outside.find("  0:0     7"), 11, "  0:0     3");
    write(outside);
    ASSERT_EQ(poll(), WATCH_NEW_TIMELINE);
    EXPECT_EQ(finish_track_export(&studio.track_export), 2u);
    expect_same_as_compile("outside save");

    // A folder that cannot be written: the failure is shown once, the edit
    // and its save stand.
    open_track_export(&studio.track_export, (file / "not_a_dir").string());
    k = studio.editor.model.keys[0];
    k[0].value = 5.0f;
    ASSERT_TRUE(commit_edit(&studio, {{0, k}}));
    ASSERT_EQ(saved(), SAVE_DONE);
    EXPECT_EQ(finish_track_export(&studio.track_export), 0u);
    poll();
    EXPECT_NE(studio.editor.message.find("--export: cannot create directory"), std::string::npos) << studio.editor.message;
    std::string error;
    EXPECT_FALSE(take_track_export_error(&studio.track_export, &error));
    close_track_export(&studio.track_export);
}

// The picture takes an edit only once its save is queued: one refused at
// once (a read-only file) never reaches the tracks, and the editor goes
// back. A track that did not change keeps its keys.
TEST_F(StudioSave, ARefusedSaveNeverReachesThePicture)
{
    ASSERT_EQ(Tracks[0]->keys[0].value, 7.0f);
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    KeyList k = studio.editor.model.keys[0];
    k[0].value = 5.0f;
    EXPECT_FALSE(commit_edit(&studio, {{0, k}}));
    EXPECT_NE(studio.editor.message.find("read-only"), std::string::npos) << studio.editor.message;
    EXPECT_EQ(Tracks[0]->keys[0].value, 7.0f);
    EXPECT_EQ(studio.editor.model.keys[0][0].value, 7.0f);
    ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
    SyncTrack *clear_r = nullptr;
    for (SyncTrack *t : Tracks)
        if (std::string(t->name) == "clear.r")
            clear_r = t;
    ASSERT_TRUE(clear_r && clear_r->key_count == 1);
    const SyncKey *other = clear_r->keys;
    EXPECT_TRUE(commit_edit(&studio, {{0, k}})) << studio.editor.message;
    EXPECT_EQ(Tracks[0]->keys[0].value, 5.0f); // before the save is written
    // Only the edited track is replaced: the link has nothing else to send.
    EXPECT_EQ(clear_r->keys, other);
    k[0].value = 6.0f;
    EXPECT_TRUE(play_version(track_version(studio.editor.model, 0, k))); // a drag's step
    EXPECT_EQ(Tracks[0]->keys[0].value, 6.0f);
    EXPECT_EQ(clear_r->keys, other);
}

TEST_F(StudioSave, EditingIsRefusedWhileTheSourceDoesNotParse)
{
    write("track scene\n  0:0 1 wobble\n");
    poll();
    poll();
    ASSERT_FALSE(studio.watch.errors.empty());
    KeyList k = studio.editor.model.keys[0];
    k[0].value = 2.0f;
    EXPECT_FALSE(commit_edit(&studio, {{0, k}}));
    EXPECT_EQ(on_disk(), "track scene\n  0:0 1 wobble\n");
    EXPECT_NE(studio.editor.message.find("does not parse"), std::string::npos) << studio.editor.message;
}

// A track a scene declares is keyed like the timeline's own: the cursor
// moves onto its column, a typed value becomes a key in a section the edit
// opens at the file's end, and reaches the device's track of that name;
// undo gives the file's bytes and the track back.
TEST_F(StudioSave, content_TypedKeyOnADeclaredColumnLandsInItsSection)
{
    struct PlayTo {
        explicit PlayTo(SyncDevice *d) { Sync = d; }
        ~PlayTo() { Sync = nullptr; }
    } play_to(device);
    set_declared_tracks(&studio.watch, {"fog"});
    ASSERT_EQ(poll(), WATCH_NEW_TIMELINE);
    const fs::path out = dir / "demo", compiled = dir / "compiled";
    open_track_export(&studio.track_export, out.string());
    ViewState view;
    view.grid_on = true;
    const auto press = [&](SDL_Keycode key, uint16_t mods) {
        CommandContext c{};
        c.transport = &studio.transport;
        c.view = &view;
        c.editor = &studio.editor;
        c.seconds = 2.0; // row 40, 1:1
        c.length = c.strip_length = 100.0;
        c.tracks = Tracks;
        c.edit_refusal = edit_refusal(studio);
        press_command_key(&c, key, mods, false);
        ASSERT_TRUE(finish_command(&studio, c.out)) << studio.editor.message;
        ASSERT_NE(saved(), SAVE_FAILED) << studio.editor.message;
    };
    press(SDLK_LEFT, KMOD_LCTRL); // from the first track back round to the last: the declared one
    ASSERT_EQ(studio.editor.column, TIMELINE_TRACK_COUNT);
    for (SDL_Keycode k : {SDLK_2, SDLK_PERIOD, SDLK_5, SDLK_RETURN})
        press(k, KMOD_NONE);
    EXPECT_EQ(on_disk(), original_source() + "\n\ntrack fog\n  1:1     2.5   hold\n");
    const SyncTrack *fog = open_track(device, "fog");
    ASSERT_EQ(fog->key_count, 1);
    EXPECT_EQ(fog->keys[0].row, 40);
    EXPECT_EQ(fog->keys[0].value, 2.5f);
    // --export writes its file as the compiler does.
    ASSERT_GE(finish_track_export(&studio.track_export), 1u);
    std::string errors;
    ASSERT_TRUE(compile_timeline_file(file.string(), compiled.string(), {"fog"}, &errors)) << errors;
    const auto bytes = [](const fs::path &path) {
        std::ifstream f(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    };
    const std::string exported = bytes(track_output_path(out.string(), "fog"));
    EXPECT_FALSE(exported.empty());
    EXPECT_EQ(exported, bytes(track_output_path(compiled.string(), "fog")));
    close_track_export(&studio.track_export);

    press(SDLK_z, KMOD_LCTRL);
    EXPECT_EQ(on_disk(), original_source());
    EXPECT_EQ(fog->key_count, 0);
    EXPECT_EQ(poll(), WATCH_UNCHANGED); // the studio's own saves
}

} // namespace
