// declared_tracks.cpp - finding the tracks the scenes declare
// (declared_tracks.h).
#include "timeline/declared_tracks.h"

#include <algorithm>
#include <filesystem>
#include <regex>
#include <sstream>
#include <system_error>

#include "common/read_file.h"
#include "timeline/timeline.h"

namespace {

constexpr size_t MAX_SOURCE_BYTES = 4u << 20; // far beyond any scene unit
constexpr size_t MAX_NAME_BYTES = 64;

bool word_char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Whether `word` stands as a whole word in text outside [skip_begin, skip_end).
bool used_outside(const std::string &text, const std::string &word, size_t skip_begin, size_t skip_end)
{
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        if (at >= skip_begin && at < skip_end)
            continue;
        const size_t end = at + word.size();
        if ((at == 0 || !word_char(text[at - 1])) && (end == text.size() || !word_char(text[end])))
            return true;
    }
    return false;
}

std::string place(const TrackDeclaration &d)
{
    return d.file + ":" + std::to_string(d.line);
}

} // namespace

bool scan_track_declarations(const std::string &text, const std::string &file,
                             std::vector<TrackDeclaration> *out, std::string *errors)
{
    static const std::regex declaration(
        R"re(^[ \t]*DEMO_SCENE_TRACK[ \t]*\([ \t]*([A-Za-z_][A-Za-z0-9_]*)[ \t]*,[ \t]*"([A-Za-z0-9._]*)"[ \t]*\)[ \t]*;[ \t]*(//.*)?\r?$)re");
    static const std::regex starts(R"(^[ \t]*DEMO_SCENE_TRACK\b)");
    bool ok = true;
    int line = 0;
    for (size_t pos = 0; pos < text.size();) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos)
            nl = text.size();
        const std::string one(text, pos, nl - pos);
        line++;
        std::smatch m;
        if (std::regex_search(one, starts)) {
            const auto fail = [&](const std::string &message) {
                *errors += file + ":" + std::to_string(line) + ": " + message + "\n";
                ok = false;
            };
            if (!std::regex_match(one, m, declaration))
                fail("cannot read the track declaration: write DEMO_SCENE_TRACK(handle, \"name\"); on a "
                     "line of its own, the name in letters, digits, '.' and '_'");
            else if (m[2].length() == 0 || static_cast<size_t>(m[2].length()) > MAX_NAME_BYTES)
                fail("a track name has 1 to " + std::to_string(MAX_NAME_BYTES) + " characters");
            else
                out->push_back(TrackDeclaration{m[2].str(), m[1].str(), file, line,
                                                used_outside(text, m[1].str(), pos, nl)});
        }
        pos = nl + 1;
    }
    return ok;
}

bool check_track_declarations(const std::vector<TrackDeclaration> &decls, std::string *errors)
{
    bool ok = true;
    for (size_t i = 0; i < decls.size(); i++) {
        const TrackDeclaration &d = decls[i];
        if (find_timeline_track(d.name) >= 0) {
            *errors += place(d) + ": track '" + d.name + "' is one of the demo's own tracks\n";
            ok = false;
            continue;
        }
        for (size_t j = 0; j < i; j++)
            if (decls[j].name == d.name) {
                *errors += place(d) + ": track '" + d.name + "' declared twice (first at " + place(decls[j]) + ")\n";
                ok = false;
                break;
            }
    }
    return ok;
}

bool read_track_declarations(const std::string &dir, std::vector<TrackDeclaration> *out,
                             std::string *errors)
{
    std::vector<std::string> units;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == ".cpp")
            units.push_back(it->path().filename().string());
    if (ec) {
        *errors += "cannot list the scene sources in '" + dir + "': " + ec.message() + "\n";
        return false;
    }
    std::sort(units.begin(), units.end());
    bool ok = true;
    for (const std::string &unit : units) {
        const std::string path = dir + "/" + unit;
        std::string text, error;
        if (!read_whole_file(path, MAX_SOURCE_BYTES, &text, &error)) {
            *errors += error + "\n";
            ok = false;
            continue;
        }
        ok = scan_track_declarations(text, path, out, errors) && ok;
    }
    return check_track_declarations(*out, errors) && ok;
}

std::string unread_track_warnings(const std::vector<TrackDeclaration> &decls)
{
    std::string text;
    for (const TrackDeclaration &d : decls)
        if (!d.read)
            text += place(d) + ": warning: track '" + d.name + "' is declared but no code reads '" + d.handle +
                    "'\n";
    return text;
}

std::vector<std::string> declared_track_names(const std::vector<TrackDeclaration> &decls)
{
    std::vector<std::string> names;
    for (const TrackDeclaration &d : decls)
        names.push_back(d.name);
    return names;
}

int count_scene_table_entries(const std::string &text)
{
    static const std::regex entry(R"(^\s*\{\s*"[^"]*"\s*,\s*[A-Za-z_]\w*\s*,\s*(true|false)\s*\}\s*,?\s*$)");
    int count = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        count += std::regex_match(line, entry);
    return count > 0 ? count : -1;
}

std::string scene_key_warnings(const Timeline &timeline, int scenes, const std::string &file)
{
    std::string text;
    const int index = find_timeline_track("scene");
    if (index < 0)
        return text;
    const TimelineTrack &track = timeline.tracks[index];
    for (size_t i = 0; i < track.keys.size(); i++) {
        const double value = track.keys[i].value;
        const int scene = value > -2147483648.0 && value < 2147483648.0 ? static_cast<int>(value) : -1;
        if (scene < 0 || scene >= scenes)
            text += file + ":" + std::to_string(i < track.places.size() ? track.places[i].line : track.line) +
                    ": warning: scene " + std::to_string(scene) + " is not in the scene table (0.." +
                    std::to_string(scenes - 1) + ")\n";
    }
    return text;
}
