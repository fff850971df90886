// save.cpp - the re-parse check and the write of the timeline source.
#include "studio/save.h"

#include <sys/stat.h>

#include <cstring>
#include <vector>

#include "common/safe_write.h"
#include "state/state.h"
#include "sync/device.h"
#include "sync/track.h"

static bool same_keys(const KeyList &a, const std::vector<SyncKey> &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); i++)
        if (a[i].row != b[i].row || a[i].kind != b[i].kind ||
            std::memcmp(&a[i].value, &b[i].value, sizeof(float)) != 0)
            return false;
    return true;
}

// Writes the editor's source over the file (temporary file, then rename,
// with the old file's permissions) and tells the watch it was us. The text
// is parsed first and must give exactly the editor's keys.
bool save_timeline_source(const KeyEditor &editor, TimelineWatch *watch, std::string *why)
{
    const std::string text = key_editor_text(editor);
    Timeline parsed;
    std::string errors;
    if (!parse_timeline(text, watch->path, &parsed, &errors)) {
        *why = "the rewritten source does not parse: " + errors.substr(0, errors.find('\n'));
        return false;
    }
    for (int t = 0; t < TIMELINE_TRACK_COUNT; t++) {
        std::vector<SyncKey> keys;
        for (const auto &k : parsed.tracks[t].keys)
            keys.push_back(SyncKey{k.row, k.value, k.kind});
        if (!same_keys(editor.keys[t], keys)) {
            *why = std::string("the rewritten source reads back differently in track ") + TimelineTrackNames[t];
            return false;
        }
    }
    struct stat st;
    const bool had_mode = stat(watch->path.c_str(), &st) == 0;
    if (!write_temporary_file(watch->path, text.data(), text.size(), why))
        return false;
    const std::string tmp = temporary_path_for(watch->path);
    if (had_mode)
        chmod(tmp.c_str(), st.st_mode & 07777);
    struct stat written;
    const bool have_written = stat(tmp.c_str(), &written) == 0;
    if (!replace_with_temporary_file(watch->path, why))
        return false;
    note_own_save(watch, text, parsed, have_written ? &written : nullptr);
    if (!apply_timeline(parsed, Tracks, TRACK_COUNT))
        *why = "out of memory while replacing the tracks";
    return true;
}
