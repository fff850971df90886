// timeline.cpp - parsing the timeline source, the .track byte layout both
// ways, formatting tracks back to source, and the file operations of the tool.
//
// All work happens on strings and byte vectors; the file functions at the end
// are thin wrappers, so the tests drive everything from memory. Numbers are
// read and written with from_chars/to_chars: independent of the locale, and
// the shortest float text reads back to the same bits, which is what makes
// compile -> dump -> compile exact.
#include "timeline/timeline.h"

#include "common/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

static const char *const KindNames[] = {"hold", "linear", "smooth", "quadratic"};
constexpr int KIND_COUNT = 4;

constexpr size_t MAX_TRACK_BYTES = 64u << 20;   // about 7 million keys
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

// A row word: "-12", "384" or "12:0" (bar and beat at `tempo`). Returns an
// empty string on success, otherwise the message.
static std::string parse_row(std::string_view word, const TimelineTempo &tempo, int32_t *row)
{
    const size_t colon = word.find(':');
    if (colon == std::string_view::npos) {
        const std::string_view digits = word[0] == '-' ? word.substr(1) : word;
        if (!all_digits(digits))
            return "malformed number " + quoted(word);
        int64_t v = 0;
        auto r = std::from_chars(word.data(), word.data() + word.size(), v);
        if (r.ec != std::errc() || v < INT32_MIN || v > INT32_MAX)
            return "row out of range " + quoted(word);
        *row = static_cast<int32_t>(v);
        return "";
    }

    const std::string_view bar_text = word.substr(0, colon);
    const std::string_view beat_text = word.substr(colon + 1);
    if (!all_digits(bar_text) || !all_digits(beat_text))
        return "malformed number " + quoted(word);
    uint64_t bar = 0, beat = 0;
    auto rb = std::from_chars(bar_text.data(), bar_text.data() + bar_text.size(), bar);
    auto rk = std::from_chars(beat_text.data(), beat_text.data() + beat_text.size(), beat);
    const uint64_t beats_per_bar = static_cast<uint64_t>(tempo.beats_per_bar);
    if (rk.ec != std::errc() || beat >= beats_per_bar)
        return "beat out of range " + quoted(word) + " (beats are 0 to " + std::to_string(beats_per_bar - 1) + ")";
    // A beat is at least a row: a bar beyond 2^31 cannot give a 32-bit row.
    if (rb.ec != std::errc() || bar > static_cast<uint64_t>(INT32_MAX))
        return "row out of range " + quoted(word);
    const double v = beat_row_exact(tempo, static_cast<int64_t>(bar * beats_per_bar + beat));
    if (v > static_cast<double>(INT32_MAX))
        return "row out of range " + quoted(word);
    *row = static_cast<int32_t>(v);
    return "";
}

// A value word: a finite decimal number that fits a float.
static std::string parse_value(std::string_view word, float *value)
{
    float v = 0.0f;
    auto r = std::from_chars(word.data(), word.data() + word.size(), v);
    if (r.ptr != word.data() + word.size() || (r.ec != std::errc() && r.ec != std::errc::result_out_of_range))
        return "malformed number " + quoted(word);
    if (r.ec == std::errc::result_out_of_range)
        return "number out of range " + quoted(word);
    if (!std::isfinite(v))
        return "value not finite " + quoted(word);
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
static const TimelineTrack &section_track(const Timeline &tl, int index)
{
    return index < TIMELINE_TRACK_COUNT ? tl.tracks[index] : tl.declared[index - TIMELINE_TRACK_COUNT];
}
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
    const std::string msg = parse_row(st.words[2], st.out->tempo, &mark.row);
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
    std::string msg = parse_row(st.words[0], st.out->tempo, &key.row);
    if (!msg.empty()) {
        st.report(msg);
        ok = false;
    }
    msg = parse_value(st.words[1], &key.value);
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

std::string format_track(const std::string &name, const std::vector<SyncKey> &keys)
{
    std::string text = "track " + name + "\n";
    for (const SyncKey &k : keys) {
        const char *kind = interp_kind_name(k.kind);
        text += "  " + pad_right(format_row(k.row), 8) + " " + pad_right(format_value(k.value), 12) +
                " " + (kind ? kind : "?") + "\n";
    }
    return text;
}

// ---- Files ------------------------------------------------------------------

std::string track_output_path(const std::string &dir, const std::string &name)
{
    return dir + "/" + track_file_path(SYNC_BASE_NAME, name.c_str());
}

bool read_whole_file(const std::string &path, size_t max_bytes, std::string *bytes,
                     std::string *error, struct stat *opened)
{
    bytes->clear();
    if (opened)
        *opened = {};
    // Non-blocking, so that opening a FIFO returns at once; the check is made
    // on the opened descriptor, so nothing can be swapped in after it.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = "cannot open '" + path + "': " + std::strerror(errno);
        return false;
    }
    struct stat st;
    bool ok = true;
    if (fstat(fd, &st) != 0) {
        *error = "cannot read '" + path + "': " + std::strerror(errno);
        ok = false;
    } else if (opened) {
        *opened = st;
    }
    if (ok && !S_ISREG(st.st_mode)) {
        *error = "'" + path + "' is not a regular file";
        ok = false;
    }
    const std::string too_large = "'" + path + "' is larger than " + std::to_string(max_bytes) + " bytes";
    if (ok && static_cast<uint64_t>(st.st_size) > max_bytes) {
        *error = too_large;
        ok = false;
    }
    if (ok)
        bytes->reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    while (ok) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = "cannot read '" + path + "': " + std::strerror(errno);
            ok = false;
        } else if (n == 0) {
            break;
        } else if (bytes->size() + static_cast<size_t>(n) > max_bytes) { // grew while read
            *error = too_large;
            ok = false;
        } else {
            bytes->append(buf, static_cast<size_t>(n));
        }
    }
    close(fd);
    if (!ok)
        bytes->clear();
    return ok;
}

// Gives the file at `path` a second name beside it, "PATH.old-PID[-N]", for
// putting it back: a hard link, or where the file system has none an
// exclusive copy. Neither follows or overwrites anything at the new name (a
// name taken is skipped), so nothing planted there is written through.
static bool keep_old_file(const std::string &path, std::string *old, std::string *error)
{
    for (int n = 0; n < 1000; n++) {
        *old = unique_name(path + ".old", n);
        if (link(path.c_str(), old->c_str()) == 0)
            return true;
        if (errno != EEXIST)
            break;
    }
    std::string bytes;
    OutputFile copy;
    if (read_whole_file(path, MAX_TRACK_BYTES, &bytes, error) &&
        open_output_file(path + ".old", &copy, error)) {
        if (write_output_bytes(&copy, bytes.data(), bytes.size(), error) && close_output_file(&copy, error)) {
            *old = copy.temporary;
            return true;
        }
        discard_output_file(&copy);
    }
    *error = "cannot keep the old " + path + " (" + *error + ")";
    return false;
}

// Moves the written temporary files of outs[0..count) into place, all or
// nothing. Before an output is replaced its old file gets a second name;
// when a move fails, every output already replaced gets its old file back,
// one that did not exist before is removed again, and the remaining
// temporary files go.
static bool move_into_place(OutputFile *outs, int count, std::string *error)
{
    enum { UNTOUCHED, NEW_FILE, REPLACED };
    std::vector<int> done(count, UNTOUCHED);
    std::vector<std::string> old(count);
    int i = 0;
    for (; i < count; i++) {
        const std::string &path = outs[i].path;
        struct stat st;
        const bool had_old = lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
        if (had_old && !keep_old_file(path, &old[i], error))
            break;
        if (std::rename(outs[i].temporary.c_str(), path.c_str()) != 0) {
            *error = "cannot replace " + path + ": " + std::strerror(errno);
            if (had_old)
                std::remove(old[i].c_str());
            break;
        }
        outs[i].temporary.clear();
        done[i] = had_old ? REPLACED : NEW_FILE;
    }

    const bool ok = i == count;
    bool restored = true;
    for (int j = count - 1; j >= 0; j--) {
        const std::string &path = outs[j].path;
        if (done[j] == UNTOUCHED) {
            discard_output_file(&outs[j]);
        } else if (ok && done[j] == REPLACED) {
            std::remove(old[j].c_str());
        } else if (!ok && done[j] == NEW_FILE) {
            std::remove(path.c_str());
        } else if (!ok && std::rename(old[j].c_str(), path.c_str()) != 0) {
            *error += "; cannot put " + old[j] + " back as " + path + ": " + std::strerror(errno);
            restored = false;
        }
    }
    if (!ok && restored)
        *error += " (the earlier track files are kept)";
    return ok;
}

// Writes every track to its temporary file, then moves the set into place.
bool write_timeline_tracks(const Timeline &tl, const std::string &out_dir, std::string *error)
{
    std::error_code ec;
    std::filesystem::create_directories(out_dir, ec);
    if (ec) {
        *error = "cannot create directory '" + out_dir + "': " + ec.message();
        return false;
    }
    const int count = TIMELINE_TRACK_COUNT + static_cast<int>(tl.declared.size());
    std::vector<OutputFile> outs(count);
    int written = 0;
    for (; written < count; written++) {
        const TimelineTrack &t = section_track(tl, written);
        const std::vector<uint8_t> bytes = encode_track(t.keys);
        OutputFile &out = outs[written];
        if (!open_output_file(track_output_path(out_dir, t.name), &out, error))
            break;
        if (!write_output_bytes(&out, bytes.data(), bytes.size(), error) || !close_output_file(&out, error)) {
            discard_output_file(&out);
            break;
        }
    }
    if (written < count) {
        for (int i = 0; i < written; i++)
            discard_output_file(&outs[i]);
        return false;
    }
    return move_into_place(outs.data(), count, error);
}

bool compile_timeline_file(const std::string &source_path, const std::string &out_dir,
                           std::string *errors)
{
    return compile_timeline_file(source_path, out_dir, {}, errors);
}

bool compile_timeline_file(const std::string &source_path, const std::string &out_dir,
                           const std::vector<std::string> &declared, std::string *errors)
{
    std::string text, error;
    if (!read_whole_file(source_path, TIMELINE_MAX_SOURCE_BYTES, &text, &error)) {
        *errors = error + "\n";
        return false;
    }
    Timeline tl;
    if (!parse_timeline(text, source_path, declared, &tl, errors))
        return false;
    if (!write_timeline_tracks(tl, out_dir, &error)) {
        *errors = error + "\n";
        return false;
    }
    return true;
}

static int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "dir/sync_cam.x.track" -> "cam.x"; "-HH" escapes become their byte again.
static std::string name_from_path(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string suffix = ".track";
    if (base.size() > suffix.size() && base.compare(base.size() - suffix.size(), suffix.size(), suffix) == 0)
        base.resize(base.size() - suffix.size());
    const std::string prefix = std::string(SYNC_BASE_NAME) + "_";
    if (base.size() > prefix.size() && base.starts_with(prefix))
        base = base.substr(prefix.size());
    std::string name;
    for (size_t i = 0; i < base.size(); i++) {
        if (base[i] == '-' && i + 2 < base.size() && hex_digit(base[i + 1]) >= 0 &&
            hex_digit(base[i + 2]) >= 0) {
            name += static_cast<char>(hex_digit(base[i + 1]) * 16 + hex_digit(base[i + 2]));
            i += 2;
        } else {
            name += base[i];
        }
    }
    return name;
}

bool dump_track_file(const std::string &path, const std::string &name, std::string *text,
                     std::string *error)
{
    std::string bytes;
    if (!read_whole_file(path, MAX_TRACK_BYTES, &bytes, error))
        return false;
    std::vector<SyncKey> keys;
    std::string reason;
    if (!decode_track(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), &keys, &reason)) {
        *error = path + ": " + reason;
        return false;
    }
    *text = format_track(name.empty() ? name_from_path(path) : name, keys);
    return true;
}
