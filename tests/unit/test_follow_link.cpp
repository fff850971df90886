// The follower against a scripted studio on the loopback address: the
// greeting and the device's requests, tracks and their changes, the
// transport, malformed messages, a link cut in the middle of a message, and
// reconnection on the follower's own clock. Also the follower's time
// (follow_clock) and the demo's command line.
//
// Nothing here sleeps: the follower is polled until what the test waits for
// has happened, each wait bounded by a poll() on the socket.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "app/follow.h"
#include "link/follow_clock.h"
#include "link/follower.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes operator+(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::string> said;
void keep_line(const std::string &line)
{
    said.push_back(line);
}

// A listening socket on 127.0.0.1 at a free port: the scripted studio.
struct ScriptedStudio {
    int listener = -1;
    int port = 0;
    int peer = -1;

    ScriptedStudio()
    {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
        EXPECT_EQ(listen(listener, 4), 0);
        socklen_t len = sizeof a;
        getsockname(listener, reinterpret_cast<sockaddr *>(&a), &len);
        port = ntohs(a.sin_port);
        // A test that goes wrong must not hang: blocking reads give up.
        timeval tv{10, 0};
        setsockopt(listener, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    ~ScriptedStudio()
    {
        if (peer >= 0)
            close(peer);
        close(listener);
    }
    std::string where() const { return "127.0.0.1:" + std::to_string(port); }

    bool accept_follower()
    {
        if (peer >= 0)
            close(peer);
        peer = accept(listener, nullptr, nullptr);
        timeval tv{10, 0};
        setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        return peer >= 0;
    }
    // Exactly n bytes from the follower (empty when they do not come).
    Bytes read_bytes(size_t n)
    {
        Bytes b(n);
        size_t got = 0;
        while (got < n) {
            const ssize_t r = recv(peer, b.data() + got, n - got, 0);
            if (r <= 0)
                return {};
            got += static_cast<size_t>(r);
        }
        return b;
    }
    void send_bytes(const Bytes &b) { ASSERT_EQ(send(peer, b.data(), b.size(), MSG_NOSIGNAL), ssize_t(b.size())); }
    void greet(uint16_t version = LINK_VERSION)
    {
        Bytes b;
        encode_link_greeting(&b, version, "");
        send_bytes(b);
    }
    void hang_up()
    {
        close(peer);
        peer = -1;
    }
};

// Polls the follower until `done` holds, waiting on its socket in between;
// false when it does not happen within a bounded number of waits.
template <class Done> bool pump(LinkFollower *f, uint64_t now, Done done)
{
    for (int i = 0; i < 200; i++) {
        poll_link_follower(f, now);
        if (done())
            return true;
        if (f->socket >= 0) {
            pollfd p{f->socket, POLLIN, 0};
            poll(&p, 1, 50);
        }
    }
    return false;
}

Bytes request(const char *name)
{
    Bytes b;
    encode_link_track_request(&b, name);
    return b;
}

Bytes track(const char *name, std::vector<SyncKey> keys)
{
    Bytes b;
    encode_link_track(&b, name, keys.data(), keys.size());
    return b;
}

Bytes report(double seconds, bool playing, uint32_t changes, uint32_t frames, uint32_t age_us = 0)
{
    Bytes b;
    encode_link_report(&b, {seconds, playing, changes, frames, age_us});
    return b;
}

Bytes too_large(const char *name, uint32_t count)
{
    Bytes b;
    encode_link_too_large(&b, name, count);
    return b;
}

// A device with two tracks, from files that do not exist, following `studio`.
class follow_link : public ::testing::Test {
protected:
    void SetUp() override
    {
        said.clear();
        d = create_sync_device("/nonexistent/sync");
        f.say = keep_line;
    }
    // Start-up as the demo does it: the link, then the tracks, then take the link back.
    void start(const std::string &token = "")
    {
        std::string error;
        ASSERT_TRUE(prepare_link_follower(&f, studio.where(), token, &error)) << error;
        open_link_follower(&f, d, 1000, 2000);
        scene = open_track(d, "scene");
        camx = open_track(d, "cam.x");
        link_follower_tracks_opened(&f, 1000);
    }
    // The follower's greeting and its two requests, as the studio reads them.
    void expect_hello(const std::string &token = "")
    {
        Bytes want;
        encode_link_greeting(&want, LINK_VERSION, token);
        const Bytes r1 = request("scene"), r2 = request("cam.x");
        want.insert(want.end(), r1.begin(), r1.end());
        want.insert(want.end(), r2.begin(), r2.end());
        EXPECT_EQ(studio.read_bytes(want.size()), want);
    }
    void go_live(uint64_t now = 1000)
    {
        ASSERT_TRUE(studio.accept_follower());
        expect_hello();
        studio.greet();
        ASSERT_TRUE(pump(&f, now, [&] { return link_follower_live(f); }));
    }
    void TearDown() override
    {
        close_link_follower(&f);
        destroy_sync_device(d);
    }
    ScriptedStudio studio;
    SyncDevice *d = nullptr;
    LinkFollower f;
    SyncTrack *scene = nullptr, *camx = nullptr;
};

TEST_F(follow_link, TracksChangesAndTransport)
{
    start("s3cret");
    ASSERT_TRUE(studio.accept_follower());
    expect_hello("s3cret");
    EXPECT_EQ(d->link_socket, -1); // the follower owns the socket now
    studio.greet();
    Bytes b = track("scene", {{0, 0.0f, INTERP_LINEAR}, {40, 255.0f, INTERP_HOLD}});
    LinkTransport t;
    t.seconds = 12.5;
    t.half_speed = true;
    encode_link_transport(&b, t);
    studio.send_bytes(b);
    ASSERT_TRUE(pump(&f, 1000, [&] { return f.transports == 1; }));
    EXPECT_TRUE(link_follower_live(f));
    ASSERT_EQ(scene->key_count, 2);
    EXPECT_EQ(track_value_at(scene, 10.5), 66.9375);
    EXPECT_EQ(camx->key_count, 0);
    EXPECT_EQ(f.transport.seconds, 12.5);
    EXPECT_TRUE(f.transport.half_speed && !f.transport.playing);
    EXPECT_EQ(f.transport_ms, 1000u);

    // A change replaces the whole track; an emptied track reads 0.
    studio.send_bytes(track("cam.x", {{5, 2.0f, INTERP_HOLD}}));
    ASSERT_TRUE(pump(&f, 1000, [&] { return f.track_updates == 2; }));
    EXPECT_EQ(track_value_at(camx, 100.0), 2.0);
    studio.send_bytes(track("scene", {}));
    ASSERT_TRUE(pump(&f, 1000, [&] { return f.track_updates == 3; }));
    EXPECT_EQ(scene->key_count, 0);
    EXPECT_EQ(said, (std::vector<std::string>{"follow " + studio.where() + ": following the studio"}));
}

// Each bad message closes the link with one line naming it; the tracks keep
// what they had and the follower comes back after its retry time.
TEST_F(follow_link, BadMessagesCloseTheLinkAndKeepTheTracks)
{
    start();
    Bytes bad_flags;
    encode_link_transport(&bad_flags, LinkTransport{});
    bad_flags[13] = 0x80;
    struct Case {
        Bytes bytes;
        std::string line;
    } cases[] = {
        {track("nope", {}), "bad message from the studio: track \"nope\" was not asked for"},
        {Bytes{9, 0, 0, 0, 0}, "bad message from the studio: unknown message type 9"},
        {request("scene"), "bad message from the studio: message of type 2 sent the wrong way"},
        {track("scene", {{1, 1.0f, 0}, {1, 2.0f, 0}}),
         "bad message from the studio: track \"scene\": key 1 has a row not after the one before"},
        {Bytes{4, 0, 0, 0, 16}, "bad message from the studio: message of type 4 with a length of 16 bytes (17 to 17)"},
        {bad_flags, "bad message from the studio: transport with unknown flags"},
        {too_large("scene", 100000),
         "bad message from the studio: track \"scene\" too large with 100000 keys (more than 100000 only)"},
        {report(1.0, false, 0, 0), "bad message from the studio: message of type 5 sent the wrong way"},
        {Bytes{1, 0, 0, 0, 3, 'b', 'y', 'e'}, "the studio closed the link: bye"},
    };
    uint64_t now = 1000;
    for (const Case &c : cases) {
        go_live(now);
        studio.send_bytes(track("scene", {{0, 7.0f, 0}}));
        ASSERT_TRUE(pump(&f, now, [&] { return scene->key_count == 1; }));
        said.clear();
        studio.send_bytes(c.bytes);
        ASSERT_TRUE(pump(&f, now, [&] { return f.state == FOLLOWER_DOWN; })) << c.line;
        EXPECT_EQ(said, (std::vector<std::string>{"follow " + studio.where() + ": " + c.line +
                                                  "; playing on alone, trying again every 1.5 s"}));
        EXPECT_EQ(track_value_at(scene, 3.0), 7.0); // kept
        // Not before the retry time; then a new connection asks for every track.
        poll_link_follower(&f, now + LINK_RETRY_MS - 1);
        EXPECT_EQ(f.state, FOLLOWER_DOWN);
        now += LINK_RETRY_MS;
        ASSERT_TRUE(pump(&f, now, [&] { return f.state == FOLLOWER_GREETING; }));
    }
}

TEST_F(follow_link, LinkCutInTheMiddleOfAMessage)
{
    start();
    go_live();
    const Bytes whole = track("scene", {{0, 1.0f, 0}, {10, 2.0f, 1}});
    studio.send_bytes(Bytes(whole.begin(), whole.begin() + 12));
    studio.hang_up();
    ASSERT_TRUE(pump(&f, 1000, [&] { return f.state == FOLLOWER_DOWN; }));
    EXPECT_EQ(scene->key_count, 0); // half a message changes nothing
    EXPECT_EQ(said.back(), "follow " + studio.where() +
                               ": the studio closed the link in the middle of a message; playing on alone, "
                               "trying again every 1.5 s");
}

TEST_F(follow_link, GreetingFaults)
{
    start();
    ASSERT_TRUE(studio.accept_follower());
    expect_hello();
    studio.greet(3);
    ASSERT_TRUE(pump(&f, 1000, [&] { return f.state == FOLLOWER_DOWN; }));
    EXPECT_EQ(said.back(), "follow " + studio.where() +
                               ": the studio speaks version 3 of the link, this demo version 2; playing on "
                               "alone, trying again every 1.5 s");
    ASSERT_TRUE(pump(&f, 2500, [&] { return f.state == FOLLOWER_GREETING; }));
    ASSERT_TRUE(studio.accept_follower());
    expect_hello();
    studio.send_bytes(Bytes{'H', 'T', 'T', 'P'});
    ASSERT_TRUE(pump(&f, 2500, [&] { return f.state == FOLLOWER_DOWN; }));
    EXPECT_EQ(said.back(), "follow " + studio.where() +
                               ": bad greeting from the studio: greeting without the link's magic; playing on "
                               "alone, trying again every 1.5 s");
}

// No studio at start-up: tracks come from files, and the frames find it
// later. The same fault is said once, not at every try.
TEST(follow_start, NoStudioYet)
{
    said.clear();
    int port;
    {
        ScriptedStudio gone; // a port that was free a moment ago
        port = gone.port;
    }
    SyncDevice *d = create_sync_device("/nonexistent/sync");
    LinkFollower f;
    f.say = keep_line;
    std::string error;
    ASSERT_TRUE(prepare_link_follower(&f, "127.0.0.1:" + std::to_string(port), "", &error));
    open_link_follower(&f, d, 0, 2000);
    EXPECT_EQ(d->link_socket, -1);
    open_track(d, "scene");
    link_follower_tracks_opened(&f, 0);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].rfind("follow 127.0.0.1:" + std::to_string(port) + ": cannot reach the studio (", 0), 0u);
    for (uint64_t now = 1500; now <= 6000; now += 1500)
        ASSERT_TRUE(pump(&f, now, [&] { return f.state == FOLLOWER_DOWN && f.next_try_ms > now; }));
    EXPECT_EQ(said.size(), 1u);
    close_link_follower(&f);
    destroy_sync_device(d);

    EXPECT_FALSE(prepare_link_follower(&f, "127.0.0.1", "", &error));
    EXPECT_EQ(error, "\"127.0.0.1\" is not HOST:PORT");
    EXPECT_FALSE(prepare_link_follower(&f, "127.0.0.1:70000", "", &error));
    EXPECT_FALSE(prepare_link_follower(&f, "127.0.0.1:0", "", &error));
    EXPECT_FALSE(prepare_link_follower(&f, "127.0.0.1:12x", "", &error));
    EXPECT_FALSE(prepare_link_follower(&f, "127.0.0.1:7727", "a b", &error));
    EXPECT_EQ(error, "token byte that is not printable ASCII");
    EXPECT_TRUE(prepare_link_follower(&f, "[::1]:7727", "", &error)) << error;
}

// The reports: at once for the first frame drawn live and for the first
// frame that shows a message taken, otherwise once a second; counted from
// the greeting. A track too large to come keeps the demo's own keys.
TEST_F(follow_link, ReportsWhatItDrew)
{
    start();
    link_follower_drew(&f, 1.0, true, 1000, 0); // not live yet: nothing, not counted
    go_live();
    link_follower_drew(&f, 2.5, true, 1000, 27500);
    EXPECT_EQ(studio.read_bytes(26), report(2.5, true, 0, 1, 27500));
    link_follower_drew(&f, 2.6, true, 1999, 0);
    studio.send_bytes(track("scene", {{0, 4.0f, 0}}));
    ASSERT_TRUE(pump(&f, 2000, [&] { return f.track_updates == 1; }));
    link_follower_drew(&f, 2.7, false, 2000, 31000);
    EXPECT_EQ(studio.read_bytes(26), report(2.7, false, 1, 3, 31000));
    link_follower_drew(&f, 2.8, false, 2999, 0);
    studio.send_bytes(too_large("scene", 100001));
    ASSERT_TRUE(pump(&f, 3000, [&] { return f.taken == 2; }));
    EXPECT_EQ(said.back(), "follow " + studio.where() + ": the studio's track \"scene\" has 100001 keys, more than "
                                                        "the link carries (100000); keeping this demo's own keys of it");
    EXPECT_EQ(track_value_at(scene, 0.0), 4.0);
    link_follower_drew(&f, 2.9, true, 3000, 1);
    link_follower_drew(&f, 3.0, true, 4000, 2);
    EXPECT_EQ(studio.read_bytes(52), Bytes(report(2.9, true, 2, 5, 1)) + report(3.0, true, 2, 6, 2));
}

// A track bigger than one frame's reading comes in over several frames.
TEST_F(follow_link, ReadingIsBoundedPerFrame)
{
    start();
    go_live();
    std::vector<SyncKey> keys(LINK_MAX_KEYS);
    for (size_t i = 0; i < keys.size(); i++)
        keys[i] = {static_cast<int32_t>(i), 1.0f, 0};
    const Bytes big = track("scene", keys);
    size_t polls = 0;
    size_t at = 0;
    // The studio writes as the follower reads; no poll reads more than its share.
    while (f.track_updates == 0 && polls < 10000) {
        if (at < big.size()) {
            const ssize_t n = send(studio.peer, big.data() + at, big.size() - at, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0)
                at += static_cast<size_t>(n);
        }
        pollfd p{f.socket, POLLIN, 0};
        poll(&p, 1, 50);
        poll_link_follower(&f, 1000);
        EXPECT_LE(f.last_read, LINK_READ_PER_POLL);
        polls++;
    }
    EXPECT_EQ(scene->key_count, int32_t(LINK_MAX_KEYS));
    EXPECT_GE(polls, big.size() / LINK_READ_PER_POLL);
}

TEST(follow_time, PausedPlayingAndLoop)
{
    LinkTransport t;
    t.seconds = 10.0;
    // Paused: exactly the studio's time, the music paused and moved there.
    FollowClockStep s = follow_clock(t, 5.0, 3.0, FOLLOW_TOLERANCE_S);
    EXPECT_EQ(s.seconds, 10.0);
    EXPECT_TRUE(s.seek && !s.play);
    s = follow_clock(t, 5.0, 10.0004, FOLLOW_TOLERANCE_S);
    EXPECT_EQ(s.seconds, 10.0);
    EXPECT_FALSE(s.seek);

    // Playing: the music goes on by itself while within a frame of the
    // studio's time (10 s + 0.5 s since the transport came)...
    t.playing = true;
    s = follow_clock(t, 0.5, 10.51, FOLLOW_TOLERANCE_S);
    EXPECT_EQ(s.seconds, 10.51);
    EXPECT_TRUE(s.play && !s.seek);
    EXPECT_EQ(s.speed, 1.0);
    // ...and is moved when further.
    s = follow_clock(t, 0.5, 10.52, FOLLOW_TOLERANCE_S);
    EXPECT_EQ(s.seconds, 10.5);
    EXPECT_TRUE(s.seek);
    // Half speed: 0.5 s of real time is 0.25 s of music.
    t.half_speed = true;
    s = follow_clock(t, 0.5, 0.0, FOLLOW_TOLERANCE_S);
    EXPECT_EQ(s.seconds, 10.25);
    EXPECT_EQ(s.speed, 0.5);
    // A loop over rows 160..220 (8 s..11 s): 10 s + 2 s wraps to 9 s.
    t.half_speed = false;
    t.looping = true;
    t.loop_start = 160;
    t.loop_end = 220;
    s = follow_clock(t, 2.0, 11.9, FOLLOW_TOLERANCE_S);
    EXPECT_EQ(s.seconds, 9.0);
    EXPECT_TRUE(s.seek);
}

// The studio plays and sends a transport a frame (60 Hz); each is read at
// the follower's next frame (every 21 ms here), so it waits 0 to 20 ms.
// Reckoned from the freshest, the follower's time stays within 1 ms of the
// studio's; from the last one read, it would lag by the wait.
TEST(follow_time, ReckonedFromTheFreshestTransport)
{
    LinkTransport from, previous, t;
    uint64_t from_ms = 0;
    t.playing = true;
    double worst = 0.0;
    bool first = true;
    for (int frame = 0; frame < 300; frame++) {
        const uint64_t sent_ms = 1000 + static_cast<uint64_t>(frame * 50 / 3); // 16.67 ms apart
        const uint64_t read_ms = (sent_ms / 21 + 1) * 21;
        t.seconds = 5.0 + (sent_ms - 1000) / 1000.0;
        if (first || reckon_from_new_transport(from, from_ms, previous, t, read_ms)) {
            from = t;
            from_ms = read_ms;
        }
        first = false;
        previous = t;
        const double studio = 5.0 + (read_ms - 1000) / 1000.0;
        const FollowClockStep s = follow_clock(from, (read_ms - from_ms) / 1000.0, 0.0, FOLLOW_TOLERANCE_S);
        if (frame > 10)
            worst = std::max(worst, studio - s.seconds);
    }
    EXPECT_LT(worst, 0.002);
    EXPECT_GE(worst, 0.0);

    // A transport that waited longer than the one reckoned from does not
    // replace it...
    from = previous = t;
    t.seconds += 0.010;
    EXPECT_FALSE(reckon_from_new_transport(from, 5000, previous, t, 5030));
    EXPECT_TRUE(reckon_from_new_transport(from, 5000, previous, t, 5010));
    // ...unless the studio jumped (back, or more than a quarter second on),
    // or its state changed, or the one reckoned from is old enough that the
    // millisecond a second allowed for drift covers the wait (30 ms late:
    // 40 s on it is taken, 20 s on not yet).
    LinkTransport back = t;
    back.seconds = previous.seconds - 0.001;
    EXPECT_TRUE(reckon_from_new_transport(from, 5000, previous, back, 5030));
    LinkTransport ahead = t;
    ahead.seconds = previous.seconds + 0.3;
    EXPECT_TRUE(reckon_from_new_transport(from, 5000, previous, ahead, 5030));
    LinkTransport slow = t;
    slow.half_speed = true;
    EXPECT_TRUE(reckon_from_new_transport(from, 5000, previous, slow, 5030));
    LinkTransport old = from;
    old.seconds = from.seconds + 40.0 - 0.030; // read 40 s on, 30 ms late
    previous.seconds = old.seconds - 0.016;
    EXPECT_TRUE(reckon_from_new_transport(from, 5000, previous, old, 45000));
    old.seconds = from.seconds + 20.0 - 0.030; // 20 s on: 20 ms of drift allowed
    previous.seconds = old.seconds - 0.016;
    EXPECT_FALSE(reckon_from_new_transport(from, 5000, previous, old, 25000));
}

TEST(follow_args, CommandLine)
{
    auto parse = [](std::vector<const char *> argv, DemoArgs *a, std::string *error) {
        argv.insert(argv.begin(), "demo");
        return parse_demo_args(static_cast<int>(argv.size()), argv.data(), a, error);
    };
    DemoArgs a;
    std::string error;
    EXPECT_TRUE(parse({"anything", "-x"}, &a, &error)); // ignored, as ever
    EXPECT_TRUE(a.follow.empty());
    ASSERT_TRUE(parse({"--token", "t0k", "--follow", "localhost:7727"}, &a, &error));
    EXPECT_EQ(a.follow, "localhost:7727");
    EXPECT_EQ(a.token, "t0k");
    const std::pair<std::vector<const char *>, const char *> bad[] = {
        {{"--follow"}, "--follow needs a value"},
        {{"--follow", "h:1", "x"}, "unknown option x"},
        {{"--token", "t"}, "--token without --follow"},
        {{"--follow", "h:1", "--follow", "h:2"}, "--follow given twice"},
        {{"--follow", ""}, "--follow needs HOST:PORT"},
    };
    for (const auto &[argv, want] : bad) {
        DemoArgs b;
        EXPECT_FALSE(parse(argv, &b, &error)) << want;
        EXPECT_EQ(error, want);
    }
}

} // namespace
