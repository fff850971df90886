// serve.h - the studio serving following demos: the link server opened from
// the command line, fed the transport once a frame, and its line on the HUD.
#pragma once

#include <string>
#include <utility>

#include "studio/link/link_server.h"

struct Studio;
struct StudioArgs;

struct StudioServe {
    LinkServer server;
    std::string where;   // ADDR:PORT listened on
    std::string fault;   // why it does not serve ("": it does, or was not asked to)
};

// Opens the server as the command line asks (the default: the loopback
// address at LINK_DEFAULT_PORT). A failure is one line on standard error
// and on the HUD; the studio goes on. A token is printed on standard output.
void open_studio_serve(StudioServe *sv, const SyncDevice *d, const StudioArgs &args);

// Once a frame, after the playhead `t` is settled.
void serve_studio_frame(Studio *s, double t);

// The HUD's line about serving (empty when not asked to), and whether it warns.
std::pair<std::string, bool> serve_notice(const StudioServe &sv);

void close_studio_serve(StudioServe *sv);
