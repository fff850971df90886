// follower.cpp - following a studio over the editor link: connecting and
// reconnecting, the greeting, the requests, and applying what comes in.
#include "link/follower.h"

#include <cstdio>
#include <cstring>

#include "link/follow_clock.h"

// Everything a greeting and a largest message need at once.
static const size_t IN_CAPACITY = LINK_MAX_MESSAGE + LINK_GREETING_SIZE + LINK_MAX_TOKEN;

static void say(LinkFollower *f, const std::string &text)
{
    if (text == f->last_line)
        return;
    f->last_line = text;
    const std::string line = "follow " + f->where + ": " + text;
    if (f->say) {
        f->say(line);
    } else {
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    }
}

// Closes the connection with one line; the next try comes LINK_RETRY_MS on.
static void lose_link(LinkFollower *f, uint64_t now_ms, const std::string &why)
{
    link_close(f->socket);
    f->socket = -1;
    f->state = FOLLOWER_DOWN;
    f->next_try_ms = now_ms + LINK_RETRY_MS;
    f->in_len = 0;
    f->out.clear();
    f->out_sent = 0;
    say(f, why + "; playing on alone, trying again every 1.5 s");
}

static void queue_greeting(LinkFollower *f)
{
    encode_link_greeting(&f->out, LINK_VERSION, f->token);
}

// Connected: greeting first; on a reconnection also a request for every
// track (at start-up the device sends those itself as it opens them).
static void connected(LinkFollower *f, bool ask_for_tracks)
{
    f->state = FOLLOWER_GREETING;
    f->taken = f->reported = f->frames = 0;
    f->in_len = 0;
    f->out.clear();
    f->out_sent = 0;
    queue_greeting(f);
    if (ask_for_tracks)
        for (int i = 0; i < f->device->track_count; i++)
            encode_link_track_request(&f->out, f->device->tracks[i]->name);
}

bool prepare_link_follower(LinkFollower *f, const std::string &where, const std::string &token, std::string *error)
{
    std::string host;
    int port = 0;
    if (!split_host_port(where, &host, &port, false, error))
        return false;
    if (const char *fault = link_token_fault(token)) {
        *error = fault;
        return false;
    }
    if (!link_resolve(host, port, &f->address, error))
        return false;
    f->where = where;
    f->token = token;
    return true;
}

void begin_link_follower(LinkFollower *f, SyncDevice *d, uint64_t now_ms)
{
    link_start_sockets();
    f->device = d;
    f->in.assign(IN_CAPACITY, 0);
    f->state = FOLLOWER_DOWN;
    f->next_try_ms = now_ms;
}

void open_link_follower(LinkFollower *f, SyncDevice *d, uint64_t now_ms, int wait_ms)
{
    begin_link_follower(f, d, now_ms);
    f->next_try_ms = now_ms + LINK_RETRY_MS;

    std::string why;
    f->socket = link_connect_start(f->address, &why);
    if (f->socket >= 0 && link_wait_connected(f->socket, wait_ms, &why) == 1) {
        connected(f, false);
        // The greeting goes out before the device's requests: a fresh
        // socket takes these few bytes at once.
        const long sent = link_send(f->socket, f->out.data(), f->out.size());
        if (sent == static_cast<long>(f->out.size())) {
            f->out.clear();
            d->link_socket = f->socket;
            return;
        }
        why = "the greeting could not be sent";
    }
    lose_link(f, now_ms, "cannot reach the studio (" + why + ")");
}

void link_follower_tracks_opened(LinkFollower *f, uint64_t now_ms)
{
    if (f->socket < 0)
        return;
    if (f->device->link_socket == -1) {
        f->socket = -1; // the device closed it when a request failed
        lose_link(f, now_ms, "a track request could not be sent");
        return;
    }
    f->device->link_socket = -1;
}

// ---- Applying what came in ------------------------------------------------------

// One whole message; false (the link lost, with its line) when it is wrong.
static bool apply_frame(LinkFollower *f, const LinkFrame &frame, uint64_t now_ms)
{
    std::string error;
    switch (frame.type) {
    case LINK_TRACK: {
        std::string name;
        std::vector<SyncKey> keys;
        if (!decode_link_track(frame, &name, &keys, &error))
            break;
        const int i = find_track(f->device, name.c_str());
        if (i < 0) {
            error = "track \"" + link_printable(name) + "\" was not asked for";
            break;
        }
        // Out of memory: the track keeps the keys it had.
        set_track_keys(f->device->tracks[i], keys.data(), static_cast<int32_t>(keys.size()));
        f->track_updates++;
        f->taken++;
        return true;
    }
    case LINK_TOO_LARGE: {
        std::string name;
        uint32_t count = 0;
        if (!decode_link_too_large(frame, &name, &count, &error))
            break;
        if (find_track(f->device, name.c_str()) < 0) {
            error = "track \"" + link_printable(name) + "\" was not asked for";
            break;
        }
        say(f, "the studio's track \"" + link_printable(name) + "\" has " + std::to_string(count) +
                   " keys, more than the link carries (100000); keeping this demo's own keys of it");
        f->taken++;
        return true;
    }
    case LINK_TRANSPORT: {
        LinkTransport t;
        if (!decode_link_transport(frame, &t, &error))
            break;
        if (!f->has_transport || reckon_from_new_transport(f->clock_from, f->clock_from_ms, f->transport, t, now_ms)) {
            f->clock_from = t;
            f->clock_from_ms = now_ms;
        }
        f->transport = t;
        f->has_transport = true;
        f->transport_ms = now_ms;
        f->transports++;
        return true;
    }
    case LINK_BYE: {
        std::string reason;
        if (!decode_link_bye(frame, &reason, &error))
            break;
        lose_link(f, now_ms, "the studio closed the link: " + (reason.empty() ? std::string("no reason") : reason));
        return false;
    }
    default: // parse_link_frame lets no other type through to a follower
        error = "unexpected message";
        break;
    }
    lose_link(f, now_ms, "bad message from the studio: " + error);
    return false;
}

// Parses and applies everything whole in the input; false when the link was lost.
static bool take_input(LinkFollower *f, uint64_t now_ms)
{
    size_t at = 0;
    std::string error;
    bool ok = true;
    while (ok) {
        size_t used = 0;
        LinkParse r;
        if (f->state == FOLLOWER_GREETING) {
            LinkGreeting g;
            r = parse_link_greeting(f->in.data() + at, f->in_len - at, &g, &used, &error);
            if (r == LINK_PARSE_OK) {
                if (g.version != LINK_VERSION) {
                    lose_link(f, now_ms, "the studio speaks version " + std::to_string(g.version) +
                                             " of the link, this demo version " + std::to_string(LINK_VERSION));
                    return false;
                }
                if (!g.token.empty()) {
                    lose_link(f, now_ms, "bad greeting from the studio: it carries a token");
                    return false;
                }
                f->state = FOLLOWER_LIVE;
                say(f, "following the studio");
            }
        } else {
            LinkFrame frame;
            r = parse_link_frame(f->in.data() + at, f->in_len - at, LINK_AT_FOLLOWER, &frame, &used, &error);
            if (r == LINK_PARSE_OK)
                ok = apply_frame(f, frame, now_ms);
        }
        if (r == LINK_PARSE_BAD) {
            lose_link(f, now_ms, (f->state == FOLLOWER_GREETING ? "bad greeting from the studio: "
                                                                   : "bad message from the studio: ") + error);
            return false;
        }
        if (r == LINK_PARSE_MORE)
            break;
        at += used;
    }
    if (!ok)
        return false;
    std::memmove(f->in.data(), f->in.data() + at, f->in_len - at);
    f->in_len -= at;
    return true;
}

// ---- The frame's poll ------------------------------------------------------------

// Sends what the socket takes now; false when the link was lost.
static bool send_queued(LinkFollower *f, uint64_t now_ms)
{
    if (f->out_sent == f->out.size())
        return true;
    const long n = link_send(f->socket, f->out.data() + f->out_sent, f->out.size() - f->out_sent);
    if (n < 0) {
        lose_link(f, now_ms, "the link broke while sending");
        return false;
    }
    f->out_sent += static_cast<size_t>(n);
    if (f->out_sent == f->out.size()) {
        f->out.clear();
        f->out_sent = 0;
    }
    return true;
}

static void try_connect(LinkFollower *f, uint64_t now_ms)
{
    std::string why;
    f->socket = link_connect_start(f->address, &why);
    if (f->socket < 0) {
        lose_link(f, now_ms, "cannot reach the studio (" + why + ")");
        return;
    }
    f->state = FOLLOWER_CONNECTING;
    f->connect_started_ms = now_ms;
}

void poll_link_follower(LinkFollower *f, uint64_t now_ms)
{
    f->last_read = 0;
    if (f->state == FOLLOWER_DOWN) {
        if (now_ms < f->next_try_ms || !f->device)
            return;
        try_connect(f, now_ms);
    }
    if (f->state == FOLLOWER_CONNECTING) {
        std::string why;
        const int s = link_connect_state(f->socket, &why);
        if (s < 0 || (s == 0 && now_ms >= f->connect_started_ms + LINK_RETRY_MS)) {
            lose_link(f, now_ms, "cannot reach the studio (" + (s < 0 ? why : std::string("no answer")) + ")");
            return;
        }
        if (s == 0)
            return;
        connected(f, true);
    }

    if (!send_queued(f, now_ms))
        return;

    while (f->last_read < LINK_READ_PER_POLL) {
        size_t room = f->in.size() - f->in_len;
        if (room > LINK_READ_PER_POLL - f->last_read)
            room = LINK_READ_PER_POLL - f->last_read;
        if (room == 0)
            break; // cannot happen: the buffer holds a largest message
        const long n = link_recv(f->socket, f->in.data() + f->in_len, room);
        if (n < 0) {
            // What came whole before the end still counts.
            if (take_input(f, now_ms))
                lose_link(f, now_ms, f->in_len ? "the studio closed the link in the middle of a message"
                                               : "the studio closed the link");
            return;
        }
        if (n == 0)
            break;
        f->in_len += static_cast<size_t>(n);
        f->last_read += static_cast<size_t>(n);
        if (!take_input(f, now_ms))
            return;
    }
}

void link_follower_drew(LinkFollower *f, double seconds, bool playing, uint64_t now_ms, uint32_t age_us)
{
    if (f->state != FOLLOWER_LIVE)
        return;
    f->frames++;
    if (f->taken == f->reported && now_ms < f->report_ms + LINK_REPORT_MS)
        return;
    LinkReport r;
    r.seconds = seconds < 0.0 ? 0.0 : (seconds > LINK_MAX_SECONDS ? LINK_MAX_SECONDS : seconds);
    r.playing = playing;
    r.changes = f->taken;
    r.frames = f->frames;
    r.age_us = age_us;
    encode_link_report(&f->out, r);
    f->reported = f->taken;
    f->report_ms = now_ms;
    send_queued(f, now_ms); // out now, not a frame later
}

void close_link_follower(LinkFollower *f)
{
    if (f->device && f->device->link_socket == f->socket)
        f->device->link_socket = -1;
    link_close(f->socket);
    f->socket = -1;
    f->state = FOLLOWER_DOWN;
}
