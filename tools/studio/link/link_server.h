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

#include <array>
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

// What one follower's reports tell: how far behind the studio it plays and
// how long a change took to show (docs/link-protocol.md, "Reports").
struct LinkLag {
    bool reported = false;
    LinkReport last;            // the last report
    uint64_t last_ms = 0;       // when it was read (the poll's clock)
    uint64_t rate_ms = 0;       // a report at least 500 ms older, for the frame time:
    uint32_t rate_frames = 0;   //   when it was read and its frame count
    double frame_ms = 0.0;      // the follower's frame time, 0 until known
    bool playing = false;       // both played at the last report
    double behind_s = 0.0;      // then: the studio's music at the read minus the follower's at the sending
    double waited_s = 0.0;      // the most the report can have waited to be read (0: unknown)
    uint32_t shown = 0;         // track messages the follower has shown
    bool edit_known = false;    // of the last change (not answer) shown:
    uint64_t edit_ms = 0;       //   from going out to the report's read, rounded
    uint32_t edit_frames = 0;   // the same in the follower's frames (0: frame time unknown)
};
constexpr size_t LINK_SERVER_SENT_TIMES = 64; // track messages whose times are kept

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
    uint32_t tracks_sent = 0;       // track and too-large messages queued to it
    std::array<uint64_t, LINK_SERVER_SENT_TIMES> sent_us{}; // when (clock_us), by tracks_sent % 64
    std::array<bool, LINK_SERVER_SENT_TIMES> sent_edit{};   // whether a change, not an answer
    LinkLag lag;
    bool gone = false;              // closed; removed at the end of the poll
};

// What was last sent of one track of the device, to see it change.
struct SentTrack {
    const SyncKey *keys = nullptr;
    int32_t count = 0;
    std::vector<SyncKey> copy;
    uint64_t changes = UINT64_MAX;  // the track's change count when last compared
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
    uint64_t transport_us = 0;      // when it was set (clock_us): its time is the music's then
    bool transport_due = false;
    void (*say)(const std::string &line) = nullptr; // null: standard error
    bool report_lines = false;      // a line for every report read
    // A count that grows whenever the track's keys are replaced: a track
    // whose count has not moved is not compared. Null: every track's keys
    // are compared with the copy every poll.
    uint64_t (*track_changes)(const SyncTrack *t) = nullptr;
    std::vector<std::string> too_large; // tracks over LINK_MAX_KEYS already named in a line
    uint64_t now_ms = 0;            // the poll's clock
    // Microseconds, for the reports' figures; null: the steady clock.
    uint64_t (*clock_us)() = nullptr;
    uint64_t read_us = 0;           // when this poll's reading began
    uint64_t last_read_us = 0;      // when the previous poll's did (0: none yet)
    struct lws_context *ws_context = nullptr;       // the WebSocket side; null: HTTP is refused
    struct lws_vhost *ws_vhost = nullptr;
};

// Listens on "[ADDR:]PORT" (ADDR by default the loopback address 127.0.0.1)
// for followers of the device's tracks. A token is made when ADDR is not a
// loopback address. False with a reason (a bad address, a port in use):
// the studio goes on without serving.
bool open_link_server(LinkServer *s, const SyncDevice *d, const std::string &where, std::string *error);

// The studio's transport for this frame, set right when its time is taken
// (the reports measure from then): sent when it differs from the last one,
// and every frame while playing.
void set_link_server_transport(LinkServer *s, const LinkTransport &t);

// Once a frame: bounded work, never waits. `now_ms` is a clock in
// milliseconds (the studio: SDL's ticks), for connections that never greet.
void poll_link_server(LinkServer *s, uint64_t now_ms);

// Followers that have greeted.
size_t link_server_followers(const LinkServer &s);

// The followers' reports in one line for the HUD ("behind 0.4 ms, last
// edit shown after 2 frames (31 ms)"), empty before any report.
std::string link_server_lag_line(const LinkServer &s);

void close_link_server(LinkServer *s);

// ---- For the WebSocket side (ws_link.cpp) ----------------------------------

// Takes bytes a follower sent, as if read from its socket.
void link_server_take_bytes(LinkServer *s, LinkClient *c, const uint8_t *bytes, size_t n);

// Drops a follower with its line; `tell`: a bye with the reason goes first.
void link_server_drop(LinkServer *s, LinkClient *c, const std::string &why, bool tell);

// A line, "serve: " and the text, to `say` or standard error.
void link_server_say(LinkServer *s, const std::string &text);

// A follower's report (link_reports.cpp): its lag kept, a line when asked
// for; false with *error when it cannot be true (a change not sent, frames
// counted back).
bool take_link_report(LinkServer *s, LinkClient *c, const LinkReport &r, std::string *error);

// The server's clock_us now.
uint64_t link_server_clock_us(const LinkServer &s);

// The follower of that number, or null when it is gone.
LinkClient *link_server_client(LinkServer *s, int number);
