// timeline.cpp - parsing the timeline source and formatting tracks back to
// source (the track files: track_files.cpp).
//
// All work happens on strings, so the tests drive everything from memory. Numbers are
// read and written with from_chars/to_chars: independent of the locale, and
// the shortest float text reads back to the same bits, which is what makes
// compile -> dump -> compile exact.
#include "timeline/timeline.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

static const char *const KindNames[] = {"hold", "linear", "smooth", "quadratic"};
constexpr int KIND_COUNT = 4;

constexpr char UTF8_BOM[] = "\xEF\xBB\xBF";       // what some editors write first

int find_timeline_track(const std::string &name)
{
    for (int i = 0; i < TIMELINE_TRACK_COUNT; i++)
        if (name == TimelineTrackNames[i])
            return i;
    return -1;
}

const char *interp_kind_name(int32_t kind)
{
    if (kind < 0 || kind >= KIND_COUNT)
        return nullptr;
    return KindNames[kind];
}

static int find_kind(std::string_view name)
{
    for (int i = 0; i < KIND_COUNT; i++)
        if (name == KindNames[i])
            return i;
    return -1;
}

// ---- Parsing ----------------------------------------------------------------

// A source word quoted for a message: control bytes (NUL among them) as \xHH,
// so that no byte of the source can cut or garble the message.
static std::string quoted(std::string_view word)
{
    std::string s = "'";
    for (unsigned char c : word) {
        if (c < 0x20 || c == 0x7F) {
            static const char hex[] = "0123456789ABCDEF";
            s += "\\x";
            s += hex[c >> 4];
            s += hex[c & 15];
        } else {
            s += static_cast<char>(c);
        }
    }
    return s + "'";
}

static bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// The words of one line up to a "#" comment: at most `max` spans stored,
// the count of all returned. The one lexer of the syntax.
static size_t line_words(std::string_view line, WordSpan *out, size_t max)
{
    size_t end = line.find('#');
    if (end == std::string_view::npos)
        end = line.size();
    size_t count = 0, i = 0;
    while (i < end) {
        while (i < end && (is_blank(line[i]) || line[i] == '\n'))
            i++;
        size_t j = i;
        while (j < end && !is_blank(line[j]) && line[j] != '\n')
            j++;
        if (j > i) {
            if (count < max)
                out[count] = WordSpan{i, j};
            count++;
        }
        i = j;
    }
    return count;
}

std::vector<WordSpan> timeline_line_words(std::string_view line)
{
    WordSpan spans[8];
    const size_t n = line_words(line, spans, 8);
    if (n <= 8)
        return std::vector<WordSpan>(spans, spans + n);
    std::vector<WordSpan> all(n);
    line_words(line, all.data(), n);
    return all;
}

static bool all_digits(std::string_view s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// ---- Tempo --------------------------------------------------------------------

constexpr double MIN_BPM = 10.0, MAX_BPM = 1200.0; // a beat of 120 rows to one row
constexpr int MAX_BEATS_PER_BAR = 32;

double tempo_rows_per_beat(const TimelineTempo &tempo)
{
    return 60.0 * ROWS_PER_SECOND / tempo.beats_per_minute;
}

// The nearest row of a beat, unclamped: beat * 1200 is exact in a double for
// every beat a 32-bit row can reach, and so is the one division's rounding.
static double beat_row_exact(const TimelineTempo &tempo, int64_t beat)
{
    return std::floor(static_cast<double>(beat) * (60.0 * ROWS_PER_SECOND) / tempo.beats_per_minute + 0.5);
}

int32_t tempo_beat_row(const TimelineTempo &tempo, int64_t beat)
{
    const double r = beat_row_exact(tempo, beat);
    if (r >= static_cast<double>(INT32_MAX))
        return INT32_MAX;
    if (r <= static_cast<double>(INT32_MIN))
        return INT32_MIN;
    return static_cast<int32_t>(r);
}

int64_t tempo_beat_at(const TimelineTempo &tempo, int32_t row)
{
    // An estimate, then a step either way: the rounding of the beat rows
    // moves a boundary by at most half a row.
    int64_t beat = static_cast<int64_t>(std::floor(row / tempo_rows_per_beat(tempo)));
    while (beat_row_exact(tempo, beat) > row)
        beat--;
    while (beat_row_exact(tempo, beat + 1) <= row)
        beat++;
    return beat;
}

void tempo_bar_beat(const TimelineTempo &tempo, int32_t row, int64_t *bar, int32_t *beat)
{
    const int64_t b = tempo_beat_at(tempo, row);
    const int64_t per_bar = tempo.beats_per_bar;
    *bar = b >= 0 ? b / per_bar : -((-b + per_bar - 1) / per_bar); // floored
    *beat = static_cast<int32_t>(b - *bar * per_bar);
}

bool tempo_row_is_beat(const TimelineTempo &tempo, int32_t row, int64_t *beat)
{
    const int64_t b = tempo_beat_at(tempo, row);
    if (beat_row_exact(tempo, b) != row)
        return false;
    *beat = b;
    return true;
}

// ---- Parsing ----------------------------------------------------------------

// The message of a fault, with the fault said to the caller that wants it.
static std::string fault(WordFault kind, WordFault *out, std::string message)
{
    if (out)
        *out = kind;
    return message;
}

std::string parse_timeline_row(std::string_view word, const TimelineTempo &tempo, int32_t *row, WordFault *out)
{
    if (out)
        *out = WORD_OK;
    const size_t colon = word.find(':');
    if (colon == std::string_view::npos) {
        const std::string_view digits = !word.empty() && word[0] == '-' ? word.substr(1) : word;
        if (!all_digits(digits))
            return fault(WORD_MALFORMED, out, "malformed number " + quoted(word));
        int64_t v = 0;
        auto r = std::from_chars(word.data(), word.data() + word.size(), v);
        if (r.ec != std::errc() || v < INT32_MIN || v > INT32_MAX)
            return fault(WORD_OUT_OF_RANGE, out, "row out of range " + quoted(word));
        *row = static_cast<int32_t>(v);
        return "";
    }

    const std::string_view bar_text = word.substr(0, colon);
    const std::string_view beat_text = word.substr(colon + 1);
    if (!all_digits(bar_text) || !all_digits(beat_text))
        return fault(WORD_MALFORMED, out, "malformed number " + quoted(word));
    uint64_t bar = 0, beat = 0;
    auto rb = std::from_chars(bar_text.data(), bar_text.data() + bar_text.size(), bar);
    auto rk = std::from_chars(beat_text.data(), beat_text.data() + beat_text.size(), beat);
    const uint64_t beats_per_bar = static_cast<uint64_t>(tempo.beats_per_bar);
    if (rk.ec != std::errc() || beat >= beats_per_bar)
        return fault(WORD_BEAT_OUT_OF_RANGE, out,
                     "beat out of range " + quoted(word) + " (beats are 0 to " + std::to_string(beats_per_bar - 1) + ")");
    // A beat is at least a row: a bar beyond 2^31 cannot give a 32-bit row.
    if (rb.ec != std::errc() || bar > static_cast<uint64_t>(INT32_MAX))
        return fault(WORD_OUT_OF_RANGE, out, "row out of range " + quoted(word));
    const double v = beat_row_exact(tempo, static_cast<int64_t>(bar * beats_per_bar + beat));
    if (v > static_cast<double>(INT32_MAX))
        return fault(WORD_OUT_OF_RANGE, out, "row out of range " + quoted(word));
    *row = static_cast<int32_t>(v);
    return "";
}

std::string parse_timeline_value(std::string_view word, float *value, WordFault *out)
{
    if (out)
        *out = WORD_OK;
    float v = 0.0f;
    auto r = std::from_chars(word.data(), word.data() + word.size(), v);
    if (r.ptr != word.data() + word.size() || (r.ec != std::errc() && r.ec != std::errc::result_out_of_range))
        return fault(WORD_MALFORMED, out, "malformed number " + quoted(word));
    if (r.ec == std::errc::result_out_of_range)
        return fault(WORD_OUT_OF_RANGE, out, "number out of range " + quoted(word));
    if (!std::isfinite(v))
        return fault(WORD_OUT_OF_RANGE, out, "value not finite " + quoted(word));
    *value = v;
    return "";
}

namespace {

struct ParseState {
    const std::string *file_name;
    Timeline *out;
    std::string *errors;
    int current = -1;       // index of the open section; -1 none yet
    bool skipping = false;  // inside a bad section: its keys are not checked
    bool tempo_closed = false; // a "track" or "mark" line has been read
    int line = 0;
    uint32_t offset = 0;    // of the line being read
    std::string_view words[4]; // the line's first words
    size_t word_count = 0;
    bool failed = false;

    void report(const std::string &message)
    {
        *errors += *file_name + ":" + std::to_string(line) + ": " + message + "\n";
        failed = true;
    }
};

} // namespace

// The track of a section index: the demo's own first, then the declared.
static TimelineTrack &section_track(Timeline *tl, int index)
{
    return index < TIMELINE_TRACK_COUNT ? tl->tracks[index] : tl->declared[index - TIMELINE_TRACK_COUNT];
}

static void parse_track_statement(ParseState &st)
{
    st.current = -1;
    st.skipping = true;
    st.tempo_closed = true;
    if (st.word_count != 2) {
        st.report("expected 'track NAME'");
        return;
    }
    int index = find_timeline_track(std::string(st.words[1]));
    std::vector<TimelineTrack> &declared = st.out->declared;
    for (size_t i = 0; index < 0 && i < declared.size(); i++)
        if (declared[i].name == st.words[1])
            index = TIMELINE_TRACK_COUNT + static_cast<int>(i);
    if (index < 0) {
        std::string names;
        for (const TimelineTrack &d : declared)
            names += (names.empty() ? "" : ", ") + d.name;
        st.report("unknown track " + quoted(st.words[1]) + (names.empty() ? "" : " (declared: " + names + ")"));
        return;
    }
    TimelineTrack &t = section_track(st.out, index);
    if (t.line != 0) {
        st.report("duplicate track " + quoted(st.words[1]) + " (first at line " + std::to_string(t.line) + ")");
        return;
    }
    t.line = st.line;
    t.offset = st.offset;
    st.current = index;
    st.skipping = false;
}

static void parse_tempo_statement(ParseState &st)
{
    Timeline &tl = *st.out;
    if (tl.tempo_line != 0) {
        st.report("second tempo line (the first is at line " + std::to_string(tl.tempo_line) + ")");
        return;
    }
    if (st.tempo_closed) {
        st.report("the tempo line must come before the first 'track' and 'mark' line");
        return;
    }
    if (st.word_count < 2 || st.word_count > 3) {
        st.report("expected 'tempo BPM [BEATS_PER_BAR]'");
        return;
    }
    TimelineTempo tempo;
    const std::string_view bpm = st.words[1];
    auto r = std::from_chars(bpm.data(), bpm.data() + bpm.size(), tempo.beats_per_minute);
    if (r.ptr != bpm.data() + bpm.size() || (r.ec != std::errc() && r.ec != std::errc::result_out_of_range)) {
        st.report("malformed number " + quoted(bpm));
        return;
    }
    if (r.ec != std::errc() || !(tempo.beats_per_minute >= MIN_BPM && tempo.beats_per_minute <= MAX_BPM)) {
        st.report("beats per minute out of range " + quoted(bpm) + " (10 to 1200)");
        return;
    }
    if (st.word_count == 3) {
        const std::string_view beats = st.words[2];
        if (!all_digits(beats)) {
            st.report("malformed number " + quoted(beats));
            return;
        }
        auto rb = std::from_chars(beats.data(), beats.data() + beats.size(), tempo.beats_per_bar);
        if (rb.ec != std::errc() || tempo.beats_per_bar < 1 || tempo.beats_per_bar > MAX_BEATS_PER_BAR) {
            st.report("beats per bar out of range " + quoted(beats) + " (1 to " +
                      std::to_string(MAX_BEATS_PER_BAR) + ")");
            return;
        }
    }
    tl.tempo = tempo;
    tl.tempo_line = st.line;
}

static void parse_mark_statement(ParseState &st)
{
    st.tempo_closed = true;
    if (st.word_count != 3) {
        st.report("expected 'mark NAME ROW'");
        return;
    }
    TimelineMark mark;
    const std::string msg = parse_timeline_row(st.words[2], st.out->tempo, &mark.row);
    if (!msg.empty()) {
        st.report(msg);
        return;
    }
    mark.name = std::string(st.words[1]);
    mark.line = st.line;
    st.out->marks.push_back(std::move(mark));
}

static void parse_key_statement(ParseState &st)
{
    if (st.skipping)
        return; // the bad "track" line has been reported already
    if (st.current < 0) {
        st.report("key outside a track section");
        return;
    }
    if (st.word_count != 3) {
        st.report("expected 'ROW VALUE KIND', got " + std::to_string(st.word_count) + " words");
        return;
    }

    SyncKey key{};
    bool ok = true;
    std::string msg = parse_timeline_row(st.words[0], st.out->tempo, &key.row);
    if (!msg.empty()) {
        st.report(msg);
        ok = false;
    }
    msg = parse_timeline_value(st.words[1], &key.value);
    if (!msg.empty()) {
        st.report(msg);
        ok = false;
    }
    key.kind = find_kind(st.words[2]);
    if (key.kind < 0) {
        st.report("unknown interpolation kind " + quoted(st.words[2]));
        ok = false;
    }
    if (!ok)
        return;

    TimelineTrack &track = section_track(st.out, st.current);
    std::vector<SyncKey> &keys = track.keys;
    if (!keys.empty() && key.row <= keys.back().row) {
        st.report("rows not increasing (" + std::to_string(key.row) + " after " +
                  std::to_string(keys.back().row) + ")");
        return;
    }
    keys.push_back(key);
    track.places.push_back(SourcePlace{st.line, st.offset});
}

bool parse_timeline(const std::string &text, const std::string &file_name, Timeline *out,
                    std::string *errors)
{
    return parse_timeline(text, file_name, {}, out, errors);
}

bool parse_timeline(const std::string &text, const std::string &file_name,
                    const std::vector<std::string> &declared, Timeline *out, std::string *errors)
{
    *out = Timeline{};
    for (int i = 0; i < TIMELINE_TRACK_COUNT; i++)
        out->tracks[i].name = TimelineTrackNames[i];
    for (const std::string &name : declared)
        out->declared.push_back(TimelineTrack{name, {}, 0, 0, {}});
    errors->clear();

    ParseState st;
    st.file_name = &file_name;
    st.out = out;
    st.errors = errors;

    // Offsets are 32-bit: larger texts are refused before they get here.
    if (text.size() > UINT32_MAX) {
        *errors = file_name + ": larger than 4 GiB\n";
        return false;
    }
    size_t pos = text.starts_with(UTF8_BOM) ? sizeof UTF8_BOM - 1 : 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos)
            nl = text.size();
        st.line++;
        st.offset = static_cast<uint32_t>(pos);
        const std::string_view line(text.data() + pos, nl - pos);
        pos = nl + 1;
        WordSpan spans[4];
        st.word_count = line_words(line, spans, 4);
        if (st.word_count == 0)
            continue;
        for (size_t w = 0; w < st.word_count && w < 4; w++)
            st.words[w] = line.substr(spans[w].begin, spans[w].end - spans[w].begin);
        if (st.words[0] == "track")
            parse_track_statement(st);
        else if (st.words[0] == "tempo")
            parse_tempo_statement(st);
        else if (st.words[0] == "mark")
            parse_mark_statement(st);
        else
            parse_key_statement(st);
    }

    for (int i = 0; i < TIMELINE_TRACK_COUNT; i++)
        if (out->tracks[i].line == 0) {
            *errors += file_name + ": missing track '" + TimelineTrackNames[i] + "'\n";
            st.failed = true;
        }
    std::stable_sort(out->marks.begin(), out->marks.end(),
                     [](const TimelineMark &a, const TimelineMark &b) { return a.row < b.row; });
    return !st.failed;
}

// ---- Formatting -------------------------------------------------------------

std::string format_row(int32_t row, const TimelineTempo &tempo)
{
    int64_t beat = 0;
    if (row < 0 || !tempo_row_is_beat(tempo, row, &beat))
        return std::to_string(row);
    return std::to_string(beat / tempo.beats_per_bar) + ":" + std::to_string(beat % tempo.beats_per_bar);
}

std::string format_row(int32_t row)
{
    return format_row(row, TimelineTempo{});
}

std::string format_value(float value)
{
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value); // shortest exact form
    return std::string(buf, r.ptr);
}

static std::string pad_right(std::string s, size_t width)
{
    if (s.size() < width)
        s.append(width - s.size(), ' ');
    return s;
}

std::string format_key_line(const SyncKey &key, const TimelineTempo &tempo)
{
    const char *kind = interp_kind_name(key.kind);
    return "  " + pad_right(format_row(key.row, tempo), 8) + " " + pad_right(format_value(key.value), 12) + " " +
           (kind ? kind : "?") + "\n";
}

std::string format_track(const std::string &name, const std::vector<SyncKey> &keys)
{
    std::string text = "track " + name + "\n";
    for (const SyncKey &k : keys)
        text += format_key_line(k, TimelineTempo{});
    return text;
}
