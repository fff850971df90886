// timeline.cpp - parsing the timeline source, the .track byte layout both
// ways, formatting tracks back to source, and the file operations of the tool.
//
// All work happens on strings and byte vectors; the file functions at the end
// are thin wrappers, so the tests drive everything from memory. Numbers are
// read and written with from_chars/to_chars: independent of the locale, and
// the shortest float text reads back to the same bits, which is what makes
// compile -> dump -> compile exact.
#include "timeline.h"

#include "base/safe_write.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "sync/track.h" // INTERP_* and TRACK_KEY_FILE_SIZE

static const char *const KindNames[] = {"hold", "linear", "smooth", "quadratic"};
constexpr int KIND_COUNT = 4;

constexpr size_t MAX_SOURCE_BYTES = 16u << 20;  // a timeline is a few kilobytes
constexpr size_t MAX_TRACK_BYTES = 64u << 20;   // about 7 million keys
constexpr size_t TRACK_HEADER_BYTES = 4;        // the int32 key count

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

static int find_kind(const std::string &name)
{
    for (int i = 0; i < KIND_COUNT; i++)
        if (name == KindNames[i])
            return i;
    return -1;
}

// ---- Parsing ----------------------------------------------------------------

static bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// The words of one line, up to a "#" comment.
static std::vector<std::string> split_words(const std::string &line)
{
    std::vector<std::string> words;
    size_t i = 0;
    const size_t end = line.find('#') == std::string::npos ? line.size() : line.find('#');
    while (i < end) {
        while (i < end && is_blank(line[i]))
            i++;
        size_t j = i;
        while (j < end && !is_blank(line[j]))
            j++;
        if (j > i)
            words.push_back(line.substr(i, j - i));
        i = j;
    }
    return words;
}

static bool all_digits(const std::string &s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// A row word: "-12", "384" or "12:0". Returns an empty string on success,
// otherwise the message.
static std::string parse_row(const std::string &word, int32_t *row)
{
    const size_t colon = word.find(':');
    if (colon == std::string::npos) {
        const std::string digits = word[0] == '-' ? word.substr(1) : word;
        if (!all_digits(digits))
            return "malformed number '" + word + "'";
        int64_t v = 0;
        auto r = std::from_chars(word.data(), word.data() + word.size(), v);
        if (r.ec != std::errc() || v < INT32_MIN || v > INT32_MAX)
            return "row out of range '" + word + "'";
        *row = static_cast<int32_t>(v);
        return "";
    }

    const std::string bar_text = word.substr(0, colon);
    const std::string beat_text = word.substr(colon + 1);
    if (!all_digits(bar_text) || !all_digits(beat_text))
        return "malformed number '" + word + "'";
    uint64_t bar = 0, beat = 0;
    auto rb = std::from_chars(bar_text.data(), bar_text.data() + bar_text.size(), bar);
    auto rk = std::from_chars(beat_text.data(), beat_text.data() + beat_text.size(), beat);
    if (rk.ec != std::errc() || beat >= BEATS_PER_BAR)
        return "beat out of range '" + word + "' (beats are 0 to 3)";
    // A bar beyond 2^31 / 32 cannot give a 32-bit row.
    if (rb.ec != std::errc() || bar > static_cast<uint64_t>(INT32_MAX) / ROWS_PER_BAR)
        return "row out of range '" + word + "'";
    const uint64_t v = bar * ROWS_PER_BAR + beat * ROWS_PER_BEAT;
    if (v > static_cast<uint64_t>(INT32_MAX))
        return "row out of range '" + word + "'";
    *row = static_cast<int32_t>(v);
    return "";
}

// A value word: a finite decimal number that fits a float.
static std::string parse_value(const std::string &word, float *value)
{
    float v = 0.0f;
    auto r = std::from_chars(word.data(), word.data() + word.size(), v);
    if (r.ptr != word.data() + word.size() || (r.ec != std::errc() && r.ec != std::errc::result_out_of_range))
        return "malformed number '" + word + "'";
    if (r.ec == std::errc::result_out_of_range)
        return "number out of range '" + word + "'";
    if (!std::isfinite(v))
        return "value not finite '" + word + "'";
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
    int line = 0;
    bool failed = false;

    void report(const std::string &message)
    {
        *errors += *file_name + ":" + std::to_string(line) + ": " + message + "\n";
        failed = true;
    }
};

} // namespace

static void parse_track_statement(ParseState &st, const std::vector<std::string> &words)
{
    st.current = -1;
    st.skipping = true;
    if (words.size() != 2) {
        st.report("expected 'track NAME'");
        return;
    }
    const int index = find_timeline_track(words[1]);
    if (index < 0) {
        st.report("unknown track '" + words[1] + "'");
        return;
    }
    TimelineTrack &t = st.out->tracks[index];
    if (t.line != 0) {
        st.report("duplicate track '" + words[1] + "' (first at line " + std::to_string(t.line) + ")");
        return;
    }
    t.line = st.line;
    st.current = index;
    st.skipping = false;
}

static void parse_key_statement(ParseState &st, const std::vector<std::string> &words)
{
    if (st.skipping)
        return; // the bad "track" line has been reported already
    if (st.current < 0) {
        st.report("key outside a track section");
        return;
    }
    if (words.size() != 3) {
        st.report("expected 'ROW VALUE KIND', got " + std::to_string(words.size()) + " words");
        return;
    }

    TimelineKey key{};
    bool ok = true;
    std::string msg = parse_row(words[0], &key.row);
    if (!msg.empty()) {
        st.report(msg);
        ok = false;
    }
    msg = parse_value(words[1], &key.value);
    if (!msg.empty()) {
        st.report(msg);
        ok = false;
    }
    key.kind = find_kind(words[2]);
    if (key.kind < 0) {
        st.report("unknown interpolation kind '" + words[2] + "'");
        ok = false;
    }
    if (!ok)
        return;

    std::vector<TimelineKey> &keys = st.out->tracks[st.current].keys;
    if (!keys.empty() && key.row <= keys.back().row) {
        st.report("rows not increasing (" + std::to_string(key.row) + " after " +
                  std::to_string(keys.back().row) + ")");
        return;
    }
    keys.push_back(key);
}

bool parse_timeline(const std::string &text, const std::string &file_name, Timeline *out,
                    std::string *errors)
{
    *out = Timeline{};
    for (int i = 0; i < TIMELINE_TRACK_COUNT; i++)
        out->tracks[i].name = TimelineTrackNames[i];
    errors->clear();

    ParseState st;
    st.file_name = &file_name;
    st.out = out;
    st.errors = errors;

    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos)
            nl = text.size();
        st.line++;
        const std::vector<std::string> words = split_words(text.substr(pos, nl - pos));
        pos = nl + 1;
        if (words.empty())
            continue;
        if (words[0] == "track")
            parse_track_statement(st, words);
        else
            parse_key_statement(st, words);
    }

    for (int i = 0; i < TIMELINE_TRACK_COUNT; i++)
        if (out->tracks[i].line == 0) {
            *errors += file_name + ": missing track '" + TimelineTrackNames[i] + "'\n";
            st.failed = true;
        }
    return !st.failed;
}

// ---- The .track byte layout -------------------------------------------------

static void put_le32(std::vector<uint8_t> &b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v >> 16));
    b.push_back(static_cast<uint8_t>(v >> 24));
}

static uint32_t get_le32(const uint8_t *b)
{
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

std::vector<uint8_t> encode_track(const std::vector<TimelineKey> &keys)
{
    std::vector<uint8_t> b;
    b.reserve(TRACK_HEADER_BYTES + keys.size() * TRACK_KEY_FILE_SIZE);
    put_le32(b, static_cast<uint32_t>(keys.size()));
    for (const TimelineKey &k : keys) {
        uint32_t bits;
        std::memcpy(&bits, &k.value, sizeof bits);
        put_le32(b, static_cast<uint32_t>(k.row));
        put_le32(b, bits);
        b.push_back(static_cast<uint8_t>(k.kind)); // int8 in two's complement
    }
    return b;
}

bool decode_track(const uint8_t *bytes, size_t size, std::vector<TimelineKey> *keys,
                  std::string *error)
{
    keys->clear();
    if (size < TRACK_HEADER_BYTES) {
        *error = "too short for a key count (" + std::to_string(size) + " bytes)";
        return false;
    }
    const int32_t count = static_cast<int32_t>(get_le32(bytes));
    if (count < 0) {
        *error = "negative key count " + std::to_string(count);
        return false;
    }
    const size_t room = (size - TRACK_HEADER_BYTES) / TRACK_KEY_FILE_SIZE;
    if (static_cast<size_t>(count) > room) {
        *error = "truncated: " + std::to_string(count) + " keys announced, " +
                 std::to_string(room) + " present";
        return false;
    }

    keys->reserve(count);
    for (int32_t i = 0; i < count; i++) {
        const uint8_t *p = bytes + TRACK_HEADER_BYTES + static_cast<size_t>(i) * TRACK_KEY_FILE_SIZE;
        TimelineKey k;
        k.row = static_cast<int32_t>(get_le32(p));
        const uint32_t bits = get_le32(p + 4);
        std::memcpy(&k.value, &bits, sizeof k.value);
        k.kind = static_cast<int8_t>(p[8]); // widened with its sign
        const std::string where = "key " + std::to_string(i) + " (row " + std::to_string(k.row) + "): ";
        if (!keys->empty() && k.row <= keys->back().row) {
            *error = where + "rows not increasing (" + std::to_string(k.row) + " after " +
                     std::to_string(keys->back().row) + ")";
            return false;
        }
        if (!std::isfinite(k.value)) {
            *error = where + "value not finite";
            return false;
        }
        if (!interp_kind_name(k.kind)) {
            *error = where + "unknown interpolation kind " + std::to_string(k.kind);
            return false;
        }
        keys->push_back(k);
    }
    return true;
}

// ---- Formatting -------------------------------------------------------------

std::string format_row(int32_t row)
{
    if (row < 0 || row % ROWS_PER_BEAT != 0)
        return std::to_string(row);
    return std::to_string(row / ROWS_PER_BAR) + ":" +
           std::to_string(row % ROWS_PER_BAR / ROWS_PER_BEAT);
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

std::string format_track(const std::string &name, const std::vector<TimelineKey> &keys)
{
    std::string text = "track " + name + "\n";
    for (const TimelineKey &k : keys) {
        const char *kind = interp_kind_name(k.kind);
        text += "  " + pad_right(format_row(k.row), 8) + " " + pad_right(format_value(k.value), 12) +
                " " + (kind ? kind : "?") + "\n";
    }
    return text;
}

// ---- Files ------------------------------------------------------------------

std::string track_output_path(const std::string &dir, const std::string &name)
{
    return dir + "/sync_" + name + ".track";
}

bool read_whole_file(const std::string &path, size_t max_bytes, std::string *bytes,
                     std::string *error)
{
    bytes->clear();
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *error = "cannot open '" + path + "': " + std::strerror(errno);
        return false;
    }
    char buf[65536];
    bool ok = true;
    for (;;) {
        const size_t n = std::fread(buf, 1, sizeof buf, f);
        bytes->append(buf, n);
        if (bytes->size() > max_bytes) {
            *error = "'" + path + "' is larger than " + std::to_string(max_bytes) + " bytes";
            ok = false;
            break;
        }
        if (n < sizeof buf) {
            if (std::ferror(f)) {
                *error = "cannot read '" + path + "'";
                ok = false;
            }
            break;
        }
    }
    std::fclose(f);
    return ok;
}

// Writes every track to "<file>.tmp", then renames them all; on a failure the
// temporary files are removed and the old outputs stay as they were.
static bool write_tracks(const Timeline &tl, const std::string &out_dir, std::string *error)
{
    std::error_code ec;
    std::filesystem::create_directories(out_dir, ec);
    if (ec) {
        *error = "cannot create directory '" + out_dir + "': " + ec.message();
        return false;
    }
    std::string paths[TIMELINE_TRACK_COUNT];
    int written = 0;
    for (; written < TIMELINE_TRACK_COUNT; written++) {
        const TimelineTrack &t = tl.tracks[written];
        paths[written] = track_output_path(out_dir, t.name);
        const std::vector<uint8_t> bytes = encode_track(t.keys);
        if (!write_temporary_file(paths[written], bytes.data(), bytes.size(), error))
            break;
    }
    bool ok = written == TIMELINE_TRACK_COUNT;
    for (int i = 0; i < written; i++) {
        if (ok)
            ok = replace_with_temporary_file(paths[i], error);
        else
            remove_temporary_file(paths[i]);
    }
    return ok;
}

bool compile_timeline_file(const std::string &source_path, const std::string &out_dir,
                           std::string *errors)
{
    std::string text, error;
    if (!read_whole_file(source_path, MAX_SOURCE_BYTES, &text, &error)) {
        *errors = error + "\n";
        return false;
    }
    Timeline tl;
    if (!parse_timeline(text, source_path, &tl, errors))
        return false;
    if (!write_tracks(tl, out_dir, &error)) {
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
    if (base.size() > 5 && base.compare(0, 5, "sync_") == 0)
        base = base.substr(5);
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
    std::vector<TimelineKey> keys;
    std::string reason;
    if (!decode_track(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), &keys, &reason)) {
        *error = path + ": " + reason;
        return false;
    }
    *text = format_track(name.empty() ? name_from_path(path) : name, keys);
    return true;
}
