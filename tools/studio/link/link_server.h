// link_server.h - the studio's side of the editor link: it serves its
// tracks and its transport to following demos (docs/link-protocol.md).
//
// open_link_server listens (non-blocking) on an address; poll_link_server,
// once a frame, accepts followers, answers their greetings and track
// requests, sends every track that changed since the last poll to the
// followers that asked for it, and the transport when it changed (every
// frame while playing). The work of a poll is bounded, and nothing waits:
// a follower that stops reading has its bytes queued up to
// LINK_SERVER_MAX_QUEUE, over which it is dropped with a line. Answers to
// requests are queued only while less than one largest message waits, so
// a follower asking for more large tracks than that bound holds gets them
// as it reads, and is not taken for one that does not read. A follower
// whose greeting or message is wrong is told why (bye) and closed, with one
// line naming the fault; the others go on.
//
// Listening on an address other than loopback needs a token: the server
// makes a random one, and a follower that does not send it is refused.
//
// The same port serves followers in web pages: a connection whose first
// bytes are "GET " is an HTTP request, handed to the WebSocket side
// (ws_link.h), after which the link's bytes travel in binary WebSocket
// messages and everything else (greeting, token, requests, limits, lines)
// is as for any follower.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "link/link_protocol.h"
#include "link/link_socket.h"
#include "sync/device.h"

constexpr size_t LINK_SERVER_MAX_QUEUE = 4 * LINK_MAX_MESSAGE; // bytes waiting for one follower
constexpr size_t LINK_SERVER_MAX_FOLLOWERS = 16;
constexpr size_t LINK_SERVER_READ_PER_POLL = 64 * 1024;        // bytes read from one follower a poll
constexpr size_t LINK_SERVER_MAX_ASKED = 1024;                 // track names one follower may ask for
constexpr uint64_t LINK_SERVER_GREETING_MS = 5000;             // a connection that does not greet is dropped

struct lws;
struct lws_context;
struct lws_vhost;

struct LinkClient {
    int socket = -1;                // -1 once handed to the WebSocket side
    struct lws *ws = nullptr;       // its WebSocket connection, if it came by one
    int number = 0;                 // "follower N" in the lines
    uint64_t accepted_ms = 0;       // when it connected
    bool greeted = false;
    std::vector<uint8_t> in;
    size_t in_len = 0;
    std::vector<uint8_t> out;       // to send, from out_sent on
    size_t out_sent = 0;
    std::vector<std::string> asked; // track names, in the order asked
    std::deque<std::string> unanswered; // asked, answer not queued yet (each name once)
    bool gone = false;              // closed; removed at the end of the poll
};

// What was last sent of one track of the device, to see it change.
struct SentTrack {
    const SyncKey *keys = nullptr;
    int32_t count = 0;
    std::vector<SyncKey> copy;
};

struct LinkServer {
    int listener = -1;
    int port = 0;
    std::string token;              // empty: none asked for (loopback)
    const SyncDevice *device = nullptr;
    std::vector<LinkClient> clients;
    int next_number = 1;
    std::vector<SentTrack> sent;    // by the device's track index
    bool has_transport = false;
    LinkTransport transport;        // the last one set
    bool transport_due = false;
    void (*say)(const std::string &line) = nullptr; // null: standard error
    struct lws_context *ws_context = nullptr;       // the WebSocket side; null: HTTP is refused
    struct lws_vhost *ws_vhost = nullptr;
};

// Listens on "[ADDR:]PORT" (ADDR by default the loopback address 127.0.0.1)
// for followers of the device's tracks. A token is made when ADDR is not a
// loopback address. False with a reason (a bad address, a port in use):
// the studio goes on without serving.
bool open_link_server(LinkServer *s, const SyncDevice *d, const std::string &where, std::string *error);

// The studio's transport for this frame: sent when it differs from the last
// one, and every frame while playing.
void set_link_server_transport(LinkServer *s, const LinkTransport &t);

// Once a frame: bounded work, never waits. `now_ms` is a clock in
// milliseconds (the studio: SDL's ticks), for connections that never greet.
void poll_link_server(LinkServer *s, uint64_t now_ms);

// Followers that have greeted.
size_t link_server_followers(const LinkServer &s);

void close_link_server(LinkServer *s);

// ---- For the WebSocket side (ws_link.cpp) ----------------------------------

// Takes bytes a follower sent, as if read from its socket.
void link_server_take_bytes(LinkServer *s, LinkClient *c, const uint8_t *bytes, size_t n);

// Drops a follower with its line; `tell`: a bye with the reason goes first.
void link_server_drop(LinkServer *s, LinkClient *c, const std::string &why, bool tell);

// The follower of that number, or null when it is gone.
LinkClient *link_server_client(LinkServer *s, int number);
