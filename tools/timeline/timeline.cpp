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

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

static const char *const KindNames[] = {"hold", "linear", "smooth", "quadratic"};
constexpr int KIND_COUNT = 4;

constexpr size_t MAX_SOURCE_BYTES = 16u << 20;  // a timeline is a few kilobytes
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

static int find_kind(const std::string &name)
{
    for (int i = 0; i < KIND_COUNT; i++)
        if (name == KindNames[i])
            return i;
    return -1;
}

// ---- Parsing ----------------------------------------------------------------

// A source word quoted for a message: control bytes (NUL among them) as \xHH,
// so that no byte of the source can cut or garble the message.
static std::string quoted(const std::string &word)
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
            return "malformed number " + quoted(word);
        int64_t v = 0;
        auto r = std::from_chars(word.data(), word.data() + word.size(), v);
        if (r.ec != std::errc() || v < INT32_MIN || v > INT32_MAX)
            return "row out of range " + quoted(word);
        *row = static_cast<int32_t>(v);
        return "";
    }

    const std::string bar_text = word.substr(0, colon);
    const std::string beat_text = word.substr(colon + 1);
    if (!all_digits(bar_text) || !all_digits(beat_text))
        return "malformed number " + quoted(word);
    uint64_t bar = 0, beat = 0;
    auto rb = std::from_chars(bar_text.data(), bar_text.data() + bar_text.size(), bar);
    auto rk = std::from_chars(beat_text.data(), beat_text.data() + beat_text.size(), beat);
    if (rk.ec != std::errc() || beat >= BEATS_PER_BAR)
        return "beat out of range " + quoted(word) + " (beats are 0 to " + std::to_string(BEATS_PER_BAR - 1) + ")";
    // A bar beyond 2^31 / 32 cannot give a 32-bit row.
    if (rb.ec != std::errc() || bar > static_cast<uint64_t>(INT32_MAX) / ROWS_PER_BAR)
        return "row out of range " + quoted(word);
    const uint64_t v = bar * ROWS_PER_BAR + beat * ROWS_PER_BEAT;
    if (v > static_cast<uint64_t>(INT32_MAX))
        return "row out of range " + quoted(word);
    *row = static_cast<int32_t>(v);
    return "";
}

// A value word: a finite decimal number that fits a float.
static std::string parse_value(const std::string &word, float *value)
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
        st.report("unknown track " + quoted(words[1]));
        return;
    }
    TimelineTrack &t = st.out->tracks[index];
    if (t.line != 0) {
        st.report("duplicate track " + quoted(words[1]) + " (first at line " + std::to_string(t.line) + ")");
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

    SyncKey key{};
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
        st.report("unknown interpolation kind " + quoted(words[2]));
        ok = false;
    }
    if (!ok)
        return;

    std::vector<SyncKey> &keys = st.out->tracks[st.current].keys;
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

    size_t pos = text.starts_with(UTF8_BOM) ? sizeof UTF8_BOM - 1 : 0;
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
                     std::string *error)
{
    bytes->clear();
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
    } else if (!S_ISREG(st.st_mode)) {
        *error = "'" + path + "' is not a regular file";
        ok = false;
    }
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
        } else if (bytes->size() + static_cast<size_t>(n) > max_bytes) {
            *error = "'" + path + "' is larger than " + std::to_string(max_bytes) + " bytes";
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
static bool write_tracks(const Timeline &tl, const std::string &out_dir, std::string *error)
{
    std::error_code ec;
    std::filesystem::create_directories(out_dir, ec);
    if (ec) {
        *error = "cannot create directory '" + out_dir + "': " + ec.message();
        return false;
    }
    OutputFile outs[TIMELINE_TRACK_COUNT];
    int written = 0;
    for (; written < TIMELINE_TRACK_COUNT; written++) {
        const TimelineTrack &t = tl.tracks[written];
        const std::vector<uint8_t> bytes = encode_track(t.keys);
        OutputFile &out = outs[written];
        if (!open_output_file(track_output_path(out_dir, t.name), &out, error))
            break;
        if (!write_output_bytes(&out, bytes.data(), bytes.size(), error) || !close_output_file(&out, error)) {
            discard_output_file(&out);
            break;
        }
    }
    if (written < TIMELINE_TRACK_COUNT) {
        for (int i = 0; i < written; i++)
            discard_output_file(&outs[i]);
        return false;
    }
    return move_into_place(outs, TIMELINE_TRACK_COUNT, error);
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
