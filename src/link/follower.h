// follower.h - the demo's side of the editor link: it follows a studio.
//
// Start-up opens the link before the tracks (open_link_follower), sets it as
// the sync device's link so that every track opened is asked for with the
// device's own request, then takes the link back once the tracks are open
// (link_follower_tracks_opened). From then on poll_link_follower, called once
// between two frames, does a bounded amount of work and never waits: it
// sends what is queued, reads at most LINK_READ_PER_POLL bytes and applies
// every whole message (a track's new keys, the studio's transport).
//
// When the link breaks, or a message is wrong, one line on standard error
// (or the `say` sink) says why; the tracks keep their keys, the demo plays on
// by itself, and a new connection is tried every LINK_RETRY_MS, which asks
// again for every track. A line is not repeated while the same fault recurs.
//
// Times are milliseconds of a clock the caller passes in (the demo: SDL's
// ticks), so tests drive it by hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "link/link_protocol.h"
#include "link/link_socket.h"
#include "sync/device.h"

constexpr uint64_t LINK_RETRY_MS = 1500;       // between two connection tries
constexpr size_t LINK_READ_PER_POLL = 256 * 1024; // bytes read between two frames, at most
constexpr uint64_t LINK_REPORT_MS = 1000;      // between two reports when nothing new is shown

enum LinkFollowerState {
    FOLLOWER_DOWN,       // no connection; the next try at next_try_ms
    FOLLOWER_CONNECTING, // a connect is under way
    FOLLOWER_GREETING,   // connected, waiting for the studio's greeting
    FOLLOWER_LIVE,       // greeted: tracks and transport come in
};

struct LinkFollower {
    std::string where;          // "HOST:PORT" as given, for the lines
    std::string token;
    LinkAddress address;
    SyncDevice *device = nullptr;
    int socket = -1;
    LinkFollowerState state = FOLLOWER_DOWN;
    uint64_t next_try_ms = 0;
    uint64_t connect_started_ms = 0;

    std::vector<uint8_t> in;    // received, not yet parsed: in_len bytes
    size_t in_len = 0;
    std::vector<uint8_t> out;   // to send, from out_sent on
    size_t out_sent = 0;
    size_t last_read = 0;       // bytes read by the last poll

    bool has_transport = false; // a transport came since start-up
    LinkTransport transport;
    uint64_t transport_ms = 0;  // when it came
    LinkTransport clock_from;   // the transport the studio's time is reckoned from
    uint64_t clock_from_ms = 0; // when it came (reckon_from_new_transport)
    uint32_t transports = 0;    // how many came
    uint32_t track_updates = 0; // track messages applied

    // Counted from the greeting, for the reports (link_follower_drew).
    uint32_t taken = 0;         // track and too-large messages taken
    uint32_t reported = 0;      // `taken` as the last report gave it
    uint32_t frames = 0;        // frames drawn
    uint64_t report_ms = 0;     // when the last report went out

    std::string last_line;      // the last line said, not repeated
    void (*say)(const std::string &line) = nullptr; // null: standard error
};

// Checks "HOST:PORT" and the token and looks the host up (before start-up,
// so that a wrong command line opens nothing). False with a reason.
bool prepare_link_follower(LinkFollower *f, const std::string &where, const std::string &token, std::string *error);

// Start-up, before the tracks: tries to connect, waiting at most `wait_ms`.
// Connected: the greeting is sent and the device's link_socket is set, so
// each track opened next is asked for. Not connected: one line, the tracks
// come from their files, and the frames try again.
void open_link_follower(LinkFollower *f, SyncDevice *d, uint64_t now_ms, int wait_ms);

// Start-up where nothing may wait (the web page), after the tracks are
// opened from their files: the first poll connects and, once connected,
// asks for every track, as a reconnection does.
void begin_link_follower(LinkFollower *f, SyncDevice *d, uint64_t now_ms);

// After the tracks are opened: the follower owns the socket from here on
// (the device's link_socket goes back to -1). A request the device could
// not send shows as a broken link.
void link_follower_tracks_opened(LinkFollower *f, uint64_t now_ms);

// Between two frames: bounded work, never waits.
void poll_link_follower(LinkFollower *f, uint64_t now_ms);

// After each frame drawn (presented): the frame's music time, whether the
// music plays, and `age_us`, the microseconds from when that time was
// taken to now (the report goes out now). While live, a report goes to the
// studio when the frame is the first to show a track message taken, and
// otherwise once every LINK_REPORT_MS.
void link_follower_drew(LinkFollower *f, double seconds, bool playing, uint64_t now_ms, uint32_t age_us);

// Whether the studio is being followed now (greeted and not broken).
inline bool link_follower_live(const LinkFollower &f)
{
    return f.state == FOLLOWER_LIVE;
}

void close_link_follower(LinkFollower *f);
