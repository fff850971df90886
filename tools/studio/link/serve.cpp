// serve.cpp - the studio's link server, from the command line to the HUD.
#include "studio/link/serve.h"

#include <SDL.h>

#include <cstdio>

#include "studio/music.h"
#include "studio/studio_state.h"
#include "studio/studio_args.h"

void open_studio_serve(StudioServe *sv, const SyncDevice *d, const StudioArgs &args)
{
    if (!args.serving)
        return;
    const std::string where = args.serve.empty() ? "127.0.0.1:" + std::to_string(LINK_DEFAULT_PORT) : args.serve;
    std::string error;
    if (!open_link_server(&sv->server, d, where, &error)) {
        sv->fault = "not serving followers: " + error;
        std::fprintf(stderr, "studio: %s\n", sv->fault.c_str());
        return;
    }
    sv->where = where.find(':') == std::string::npos ? "127.0.0.1:" + where : where;
    if (!sv->server.token.empty()) {
        std::printf("studio: serving followers on %s with the token %s\n", sv->where.c_str(),
                    sv->server.token.c_str());
        std::fflush(stdout);
    }
}

void serve_studio_frame(Studio *s, double t)
{
    LinkServer &server = s->serve.server;
    if (server.listener < 0)
        return;
    LinkTransport lt;
    lt.seconds = t < 0.0 ? 0.0 : (t > LINK_MAX_SECONDS ? LINK_MAX_SECONDS : t);
    lt.playing = !music_paused() && !s->transport.grain_on;
    lt.half_speed = s->transport.half_speed;
    lt.looping = s->transport.loop.stage == 2;
    lt.loop_start = lt.looping ? s->transport.loop.start_row : 0;
    lt.loop_end = lt.looping ? s->transport.loop.end_row : 0;
    set_link_server_transport(&server, lt);
    poll_link_server(&server, SDL_GetTicks64());
}

std::pair<std::string, bool> serve_notice(const StudioServe &sv)
{
    if (!sv.fault.empty())
        return {sv.fault, true};
    if (sv.server.listener < 0)
        return {"", false};
    const size_t n = link_server_followers(sv.server);
    std::string line = "serving " + sv.where;
    if (!sv.server.token.empty())
        line += " (token " + sv.server.token + ")";
    line += ", " + std::to_string(n) + (n == 1 ? " follower" : " followers");
    return {line, false};
}

void close_studio_serve(StudioServe *sv)
{
    close_link_server(&sv->server);
}
