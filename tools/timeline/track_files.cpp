// track_files.cpp - the timeline's track files: written all or nothing,
// compiled from a source file, and dumped back as text (timeline.h).
#include "timeline/timeline.h"
#include "common/output_file.h"
#include "common/place_files.h"
#include "common/read_file.h"
#include "sync/track_file.h"

#include <filesystem>
#include <system_error>

constexpr size_t MAX_TRACK_BYTES = 64u << 20; // about 7 million keys

// ---- Files ------------------------------------------------------------------

std::string track_output_path(const std::string &dir, const std::string &name)
{
    return dir + "/" + track_file_path(SYNC_BASE_NAME, name.c_str());
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
        const TimelineTrack &t = written < TIMELINE_TRACK_COUNT
                                     ? tl.tracks[written]
                                     : tl.declared[static_cast<size_t>(written - TIMELINE_TRACK_COUNT)];
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
    return place_output_files(outs.data(), count, error);
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
