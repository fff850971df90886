// link_server.cpp - serving the studio's tracks and transport to followers.
#include "studio/link/link_server.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>

#include "studio/link/ws_link.h"

void link_server_say(LinkServer *s, const std::string &text)
{
    const std::string line = "serve: " + text;
    if (s->say) {
        s->say(line);
    } else {
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    }
}

static void say(LinkServer *s, const std::string &text)
{
    link_server_say(s, text);
}

static std::string name_of(const LinkClient &c)
{
    return "follower " + std::to_string(c.number);
}

// 16 hex digits from the system's random source.
static std::string make_token()
{
    std::random_device rd;
    std::string t;
    static const char HEX[] = "0123456789abcdef";
    for (int i = 0; i < 16; i++)
        t += HEX[rd() & 15];
    return t;
}

bool open_link_server(LinkServer *s, const SyncDevice *d, const std::string &where, std::string *error)
{
    std::string host = "127.0.0.1";
    int port = 0;
    if (where.find(':') == std::string::npos) {
        if (!split_host_port(host + ":" + where, &host, &port, true, error))
            return false;
    } else if (!split_host_port(where, &host, &port, true, error)) {
        return false;
    }
    LinkAddress a;
    if (!link_resolve(host, port, &a, error))
        return false;
    link_start_sockets();
    s->listener = link_listen(a, &s->port, error);
    if (s->listener < 0) {
        *error = "cannot listen on " + where + ": " + *error;
        return false;
    }
    s->device = d;
    s->token = link_is_loopback(a) ? "" : make_token();
    std::string why;
    if (!open_ws_link(s, &why))
        say(s, "no followers by WebSocket: " + why);
    return true;
}

// Drops a follower: a bye with the reason if it can go out now, the line, the close.
static void drop(LinkServer *s, LinkClient *c, const std::string &why, bool tell)
{
    std::vector<uint8_t> bye;
    if (tell)
        encode_link_bye(&bye, why);
    if (c->ws)
        close_ws_client(c, bye);
    else if (tell)
        link_send(c->socket, bye.data(), bye.size());
    say(s, name_of(*c) + " dropped: " + why);
    link_close(c->socket);
    c->socket = -1;
    c->gone = true;
}

// Queues bytes for a follower; over the bound it is dropped.
static void queue(LinkServer *s, LinkClient *c, const std::vector<uint8_t> &bytes)
{
    if (c->gone)
        return;
    const size_t waiting = c->out.size() - c->out_sent;
    if (waiting + bytes.size() > LINK_SERVER_MAX_QUEUE) {
        drop(s, c, "it does not read (" + std::to_string(waiting) + " bytes waiting)", false);
        return;
    }
    c->out.insert(c->out.end(), bytes.begin(), bytes.end());
}

// A track over the link's limit is not sent: the follower is told, and the
// track named once in a line while it stays over.
static void encode_track_for(LinkServer *s, const std::string &name, std::vector<uint8_t> *b)
{
    const int i = find_track(s->device, name.c_str());
    if (i < 0) {
        encode_link_track(b, name, nullptr, 0); // unknown here: an empty track
        return;
    }
    const SyncTrack *t = s->device->tracks[i];
    const size_t n = static_cast<size_t>(t->key_count);
    if (n <= LINK_MAX_KEYS) {
        encode_link_track(b, name, t->keys, n);
        return;
    }
    encode_link_too_large(b, name, static_cast<uint32_t>(n));
    if (std::find(s->too_large.begin(), s->too_large.end(), name) == s->too_large.end()) {
        s->too_large.push_back(name);
        say(s, "track \"" + link_printable(name) + "\" has " + std::to_string(n) +
                   " keys, more than the link carries (100000): followers keep their own keys of it");
    }
}

// `edit`: a change of the track, not the answer to a request.
static void queue_track(LinkServer *s, LinkClient *c, const std::string &name, bool edit)
{
    std::vector<uint8_t> b;
    encode_track_for(s, name, &b);
    queue(s, c, b);
    if (c->gone)
        return;
    const size_t slot = ++c->tracks_sent % LINK_SERVER_SENT_TIMES;
    c->sent_us[slot] = link_server_clock_us(*s);
    c->sent_edit[slot] = edit;
}

static void take_greeting(LinkServer *s, LinkClient *c, const LinkGreeting &g)
{
    std::vector<uint8_t> b;
    encode_link_greeting(&b, LINK_VERSION, "");
    if (c->ws) // goes before anything queued: nothing is before the greeting
        c->out.insert(c->out.begin() + static_cast<std::ptrdiff_t>(c->out_sent), b.begin(), b.end());
    else
        link_send(c->socket, b.data(), b.size()); // a refused follower learns our version
    if (g.version != LINK_VERSION) {
        drop(s, c, "it speaks version " + std::to_string(g.version) + " of the link, this studio version " +
                       std::to_string(LINK_VERSION), true);
        return;
    }
    if (!s->token.empty() && g.token != s->token) {
        drop(s, c, g.token.empty() ? "no token" : "wrong token", true);
        return;
    }
    c->greeted = true;
    say(s, name_of(*c) + (c->ws ? " follows by WebSocket" : " follows"));
    if (s->has_transport) {
        b.clear();
        encode_link_transport(&b, s->transport);
        queue(s, c, b);
    }
}

static void take_request(LinkServer *s, LinkClient *c, const std::string &name)
{
    bool known = false;
    for (const std::string &n : c->asked)
        known = known || n == name;
    if (!known) {
        if (c->asked.size() >= LINK_SERVER_MAX_ASKED) {
            drop(s, c, "bad message: more than 1024 tracks asked for", true);
            return;
        }
        c->asked.push_back(name);
    }
    for (const std::string &n : c->unanswered)
        if (n == name)
            return; // its answer, still to go out, will carry the keys as they are then
    c->unanswered.push_back(name);
}

// Answers requests while less than one largest message waits: a follower
// asking for many large tracks gets them as it reads, and the bound on its
// queue stays for what it does not read.
static void answer_requests(LinkServer *s, LinkClient *c)
{
    while (!c->gone && !c->unanswered.empty() && c->out.size() - c->out_sent < LINK_MAX_MESSAGE) {
        queue_track(s, c, c->unanswered.front(), false);
        c->unanswered.pop_front();
    }
}

// Everything whole that a follower sent.
static void take_input(LinkServer *s, LinkClient *c)
{
    size_t at = 0;
    while (!c->gone) {
        size_t used = 0;
        std::string error;
        LinkParse r;
        if (!c->greeted) {
            LinkGreeting g;
            r = parse_link_greeting(c->in.data() + at, c->in_len - at, &g, &used, &error);
            if (r == LINK_PARSE_OK)
                take_greeting(s, c, g);
        } else {
            LinkFrame f;
            r = parse_link_frame(c->in.data() + at, c->in_len - at, LINK_AT_STUDIO, &f, &used, &error);
            std::string text;
            if (r == LINK_PARSE_OK && f.type == LINK_GET_TRACK) {
                if (decode_link_track_request(f, &text, &error))
                    take_request(s, c, text);
                else
                    r = LINK_PARSE_BAD;
            } else if (r == LINK_PARSE_OK && f.type == LINK_REPORT) {
                LinkReport report;
                if (!decode_link_report(f, &report, &error) || !take_link_report(s, c, report, &error))
                    r = LINK_PARSE_BAD;
            } else if (r == LINK_PARSE_OK) { // a bye
                if (decode_link_bye(f, &text, &error))
                    drop(s, c, "it said bye" + (text.empty() ? std::string() : ": " + text), false);
                else
                    r = LINK_PARSE_BAD;
            }
        }
        if (r == LINK_PARSE_BAD)
            drop(s, c, std::string(c->greeted ? "bad message: " : "bad greeting: ") + error, true);
        if (r != LINK_PARSE_OK)
            break;
        at += used;
    }
    if (c->gone)
        return;
    std::memmove(c->in.data(), c->in.data() + at, c->in_len - at);
    c->in_len -= at;
}

static void accept_followers(LinkServer *s, uint64_t now_ms)
{
    for (int i = 0; i < 4; i++) { // a few a frame
        const int sock = link_accept(s->listener);
        if (sock < 0)
            return;
        LinkClient c;
        c.socket = sock;
        c.number = s->next_number++;
        c.accepted_ms = now_ms;
        if (s->clients.size() >= LINK_SERVER_MAX_FOLLOWERS) {
            drop(s, &c, "too many followers", true);
            continue;
        }
        c.in.assign(LINK_HEADER_SIZE + LINK_MAX_NAME + LINK_GREETING_SIZE + LINK_MAX_TOKEN, 0);
        s->clients.push_back(std::move(c));
    }
}

static void read_follower(LinkServer *s, LinkClient *c)
{
    if (!c->greeted && c->in_len == 0 && c->socket >= 0 && s->ws_vhost) {
        const int http = peek_http_request(c->socket); // read nothing before knowing
        if (http > 0)
            hand_to_ws(s, c);
        if (http >= 0)
            return;
    }
    size_t read = 0;
    while (!c->gone && c->socket >= 0 && read < LINK_SERVER_READ_PER_POLL) {
        const long n = link_recv(c->socket, c->in.data() + c->in_len, c->in.size() - c->in_len);
        if (n < 0) {
            take_input(s, c);
            if (!c->gone)
                drop(s, c, "it closed the link", false);
            return;
        }
        if (n == 0)
            return;
        c->in_len += static_cast<size_t>(n);
        read += static_cast<size_t>(n);
        take_input(s, c);
    }
}

static void write_follower(LinkServer *s, LinkClient *c)
{
    if (c->gone || c->out_sent == c->out.size())
        return;
    if (c->ws) {
        want_ws_write(c);
        return;
    }
    const long n = link_send(c->socket, c->out.data() + c->out_sent, c->out.size() - c->out_sent);
    if (n < 0) {
        drop(s, c, "the link broke", false);
        return;
    }
    c->out_sent += static_cast<size_t>(n);
    if (c->out_sent == c->out.size()) {
        c->out.clear();
        c->out_sent = 0;
    } else if (c->out_sent > LINK_MAX_MESSAGE) {
        c->out.erase(c->out.begin(), c->out.begin() + static_cast<std::ptrdiff_t>(c->out_sent));
        c->out_sent = 0;
    }
}

// Tracks whose keys were replaced since the last poll go to those who asked.
static void send_changes(LinkServer *s)
{
    const SyncDevice *d = s->device;
    s->sent.resize(static_cast<size_t>(d->track_count));
    for (int i = 0; i < d->track_count; i++) {
        const SyncTrack *t = d->tracks[i];
        SentTrack &was = s->sent[static_cast<size_t>(i)];
        const size_t bytes = static_cast<size_t>(t->key_count) * sizeof(SyncKey);
        // A track whose keys were not replaced since it was last compared
        // costs nothing here, however many keys it has.
        if (s->track_changes) {
            const uint64_t changes = s->track_changes(t);
            if (changes == was.changes)
                continue;
            was.changes = changes;
        }
        // The keys against the copy of those last sent: a timeline read
        // again replaces every track's array, but only a track whose keys
        // differ goes out (a large timeline would flood the followers).
        if (was.count == t->key_count && (bytes == 0 || std::memcmp(was.copy.data(), t->keys, bytes) == 0)) {
            was.keys = t->keys;
            continue;
        }
        was.keys = t->keys;
        was.count = t->key_count;
        was.copy.assign(t->keys, t->keys + t->key_count);
        if (t->key_count <= static_cast<int32_t>(LINK_MAX_KEYS))
            std::erase(s->too_large, std::string(t->name)); // named again should it grow over
        for (LinkClient &c : s->clients) {
            bool unanswered = false; // then its answer carries the change
            for (const std::string &n : c.unanswered)
                unanswered = unanswered || n == t->name;
            for (const std::string &n : c.asked)
                if (c.greeted && !unanswered && n == t->name)
                    queue_track(s, &c, n, true);
        }
    }
}

void set_link_server_transport(LinkServer *s, const LinkTransport &t)
{
    const LinkTransport &o = s->transport;
    const bool same = s->has_transport && o.seconds == t.seconds && o.playing == t.playing &&
                      o.half_speed == t.half_speed && o.looping == t.looping && o.loop_start == t.loop_start &&
                      o.loop_end == t.loop_end;
    s->transport = t;
    s->transport_us = link_server_clock_us(*s);
    s->has_transport = true;
    s->transport_due = s->transport_due || !same || t.playing;
}

uint64_t link_server_clock_us(const LinkServer &s)
{
    if (s.clock_us)
        return s.clock_us();
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

void poll_link_server(LinkServer *s, uint64_t now_ms)
{
    if (s->listener < 0)
        return;
    s->now_ms = now_ms;
    // A connection that holds a place without greeting is let go.
    for (LinkClient &c : s->clients)
        if (!c.greeted && !c.gone && now_ms >= c.accepted_ms + LINK_SERVER_GREETING_MS)
            drop(s, &c, "no greeting within 5 s", true);
    accept_followers(s, now_ms);
    // Changes first: a request read below answers with the keys as they
    // are now, which the snapshot then already holds.
    // The transport likewise: a follower greeted below gets it then.
    if (!s->clients.empty())
        send_changes(s);
    if (s->transport_due) {
        s->transport_due = false;
        std::vector<uint8_t> b;
        encode_link_transport(&b, s->transport);
        for (LinkClient &c : s->clients)
            if (c.greeted)
                queue(s, &c, b);
    }
    // A report read now was not there at the last poll's reading.
    s->last_read_us = s->read_us;
    s->read_us = link_server_clock_us(*s);
    service_ws_link(s); // WebSocket followers' reads
    for (LinkClient &c : s->clients) {
        read_follower(s, &c);
        answer_requests(s, &c);
    }
    for (LinkClient &c : s->clients)
        write_follower(s, &c);
    service_ws_link(s); // and their writes, in this frame
    std::erase_if(s->clients, [](const LinkClient &c) { return c.gone; });
}

size_t link_server_followers(const LinkServer &s)
{
    size_t n = 0;
    for (const LinkClient &c : s.clients)
        n += c.greeted && !c.gone;
    return n;
}

void close_link_server(LinkServer *s)
{
    for (LinkClient &c : s->clients)
        link_close(c.socket);
    s->clients.clear(); // first: closing the WebSocket side then says nothing
    close_ws_link(s);
    link_close(s->listener);
    s->listener = -1;
}

void link_server_take_bytes(LinkServer *s, LinkClient *c, const uint8_t *bytes, size_t n)
{
    // The buffer holds a largest greeting or request, so each round parses
    // at least what it filled up: the loop ends.
    while (n > 0 && !c->gone) {
        const size_t part = std::min(n, c->in.size() - c->in_len);
        if (part == 0)
            break;
        std::memcpy(c->in.data() + c->in_len, bytes, part);
        c->in_len += part;
        bytes += part;
        n -= part;
        take_input(s, c);
    }
}

void link_server_drop(LinkServer *s, LinkClient *c, const std::string &why, bool tell)
{
    drop(s, c, why, tell);
}

LinkClient *link_server_client(LinkServer *s, int number)
{
    for (LinkClient &c : s->clients)
        if (c.number == number && !c.gone)
            return &c;
    return nullptr;
}
