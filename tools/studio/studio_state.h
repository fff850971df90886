// studio_state.h - the studio's state by concern: the watched source and
// its saves, the transport, the view, the key editor (commands.h), the
// waveform, the exported tracks and the followers served. The frame
// (studio.cpp) and the parts it calls (the editor's edits, the grid, the
// link) work on it.
#pragma once

#include <cstdint>

#include "common/file_identity.h"
#include "studio/editor/commands.h"
#include "studio/editor/gestures.h"
#include "studio/files/reload.h"
#include "studio/files/save.h"
#include "studio/files/track_export.h"
#include "studio/link/serve.h"
#include "studio/transport.h"
#include "studio/view/waveform.h"
#include "timeline/declared_tracks.h"

struct LiveCode;
struct SceneGuard;

struct Studio {
    bool live = false;          // a timeline source is watched
    LiveCode *code = nullptr;   // the scenes rebuilt on a save (live_code.h), or null
    int declared_at_swaps = -1; // the live code's swap count when the declared tracks were last read
    std::vector<TrackDeclaration> declared; // as then read (timeline/declared_tracks.h)
    SceneGuard *guard = nullptr; // its calls guarded against crashes and hangs (guarded_scenes.h), or null
    TimelineWatch watch;
    SourceSaver saver;          // saves of the editor's source, off the frame path
    uint64_t next_poll_ms = 0;  // SDL ticks of the next poll
    bool quit = false;
    TransportState transport;
    ViewState view;
    EditorState editor;
    GestureState gesture;       // the mouse's drag
    Waveform waveform;
    TrackExport track_export;   // --export: the .track files kept current
    StudioServe serve;          // following demos (--serve)
    // The music file as first seen: the studio plays the stream it opened at
    // start, so a changed file needs a restart, which the HUD says.
    FileIdentity music_seen;
    bool music_changed = false;
};
