// scene_times - where each scene first shows on the timeline, for the
// release's screenshots.
//
//   scene_times
//
// Reads the "scene" track from its .track file in the working directory (the
// demo directory), as the demo does, and prints one line per scene of the
// scene table that the track ever selects: "SECONDS NAME", where SECONDS is
// the middle of the scene's first stretch of rows (in seconds of music) and
// NAME the table's name with its spaces as dashes ("sprite-drip"), in time
// order. The scene of a row is the track's value there truncated toward
// zero, as the frame reads it. Exit status: 0 done, 1 no scene shows at all
// (no track file?), 2 bad arguments.
#include "base/convert.h"
#include "base/facts.h"
#include "common/command_line.h"
#include "scenes/scene_table.h"
#include "state/state.h"
#include "sync/device.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Stretch {
    int first_row = -1, end_row = -1; // the first stretch: [first_row, end_row)
};

// Each scene's first stretch, from row 0 to the track's last key.
std::vector<Stretch> first_stretches(const SyncTrack *t)
{
    std::vector<Stretch> found(SceneTable.size());
    if (t->key_count == 0)
        return found;
    const int last_row = t->keys[t->key_count - 1].row;
    int open = -1; // the scene whose first stretch is running
    for (int row = 0; row <= last_row; row++) {
        const int scene = to_int32(track_value_at(t, row));
        if (open >= 0 && scene != open) {
            found[open].end_row = row;
            open = -1;
        }
        if (find_scene(scene) && found[scene].first_row < 0) {
            found[scene].first_row = row;
            open = scene;
        }
    }
    if (open >= 0)
        found[open].end_row = last_row + 1;
    return found;
}

} // namespace

int main(int argc, char **argv)
{
    CommandLine cl("scene_times",
                   "Prints, for each scene that the \"scene\" track of the working directory\n"
                   "selects, the middle of its first stretch in seconds and its name, one\n"
                   "\"SECONDS NAME\" a line in time order (the release's screenshot times).",
                   "usage: scene_times");
    if (const int status = cl.parse(argc, argv); status >= 0)
        return status;

    SyncDevice *device = create_sync_device("sync");
    SyncTrack *track = device ? open_track(device, TrackNames[TRACK_SCENE]) : nullptr;
    if (!track) {
        std::fprintf(stderr, "scene_times: cannot open the \"%s\" track\n", TrackNames[TRACK_SCENE]);
        return 1;
    }
    const std::vector<Stretch> stretches = first_stretches(track);
    std::vector<int> order;
    for (size_t i = 0; i < stretches.size(); i++)
        if (stretches[i].first_row >= 0)
            order.push_back(static_cast<int>(i));
    std::sort(order.begin(), order.end(),
              [&](int a, int b) { return stretches[a].first_row < stretches[b].first_row; });
    for (int i : order) {
        std::string name = SceneTable[i].name;
        std::replace(name.begin(), name.end(), ' ', '-');
        const double middle = (stretches[i].first_row + stretches[i].end_row) / 2.0;
        std::printf("%g %s\n", middle / ROWS_PER_SECOND, name.c_str());
    }
    destroy_sync_device(device);
    if (order.empty()) {
        std::fprintf(stderr, "scene_times: the \"%s\" track selects no scene (is sync_%s.track here?)\n",
                     TrackNames[TRACK_SCENE], TrackNames[TRACK_SCENE]);
        return 1;
    }
    return 0;
}
