// The studio's link server on the loopback address: real followers taking
// tracks, changes and the transport from it; the token; scripted followers
// that send wrong bytes or stop reading; a port in use.
//
// Nothing sleeps: both sides are polled until what the test waits for has
// happened, each wait bounded by a poll() on the sockets.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "link/follower.h"
#include "state/state.h"
#include "studio/editor/play_keys.h"
#include "studio/link/link_server.h"
#include "studio/link/serve.h"
#include "studio/studio_args.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes operator+(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes report(double seconds, uint32_t changes, uint32_t frames = 0, bool playing = true)
{
    Bytes b;
    encode_link_report(&b, {seconds, playing, changes, frames});
    return b;
}

std::vector<std::string> lines;
void keep(const std::string &line)
{
    lines.push_back(line);
}

bool said(const std::string &line)
{
    for (const std::string &l : lines)
        if (l == line)
            return true;
    return false;
}

// Polls the server and the followers until `done`, waiting on their sockets.
template <class Done> bool pump(LinkServer *s, std::vector<LinkFollower *> fs, Done done, uint64_t now = 1000)
{
    for (int i = 0; i < 400; i++) {
        poll_link_server(s, now);
        for (LinkFollower *f : fs)
            poll_link_follower(f, 1000);
        if (done())
            return true;
        std::vector<pollfd> p{{s->listener, POLLIN, 0}};
        for (const LinkClient &c : s->clients)
            p.push_back({c.socket, POLLIN, 0});
        for (LinkFollower *f : fs)
            if (f->socket >= 0)
                p.push_back({f->socket, POLLIN, 0});
        poll(p.data(), p.size(), 20);
    }
    return false;
}

class follow_serve : public ::testing::Test {
protected:
    void SetUp() override
    {
        lines.clear();
        studio = create_sync_device("/nonexistent/sync");
        scene = open_track(studio, "scene");
        const SyncKey keys[] = {{0, 1.0f, INTERP_LINEAR}, {20, 3.0f, INTERP_HOLD}};
        set_track_keys(scene, keys, 2);
        server.say = keep;
        std::string error;
        ASSERT_TRUE(open_link_server(&server, studio, "127.0.0.1:0", &error)) << error;
        ASSERT_GT(server.port, 0);
        EXPECT_EQ(server.token, ""); // loopback: no token
    }
    void TearDown() override
    {
        for (auto &[f, d] : followers) {
            close_link_follower(f.get());
            destroy_sync_device(d);
        }
        close_link_server(&server);
        destroy_sync_device(studio);
    }
    // A demo's follower, started as the demo starts it, with tracks "scene" and "cam.x".
    LinkFollower *follow(const std::string &token = "", std::vector<std::string> tracks = {"scene", "cam.x"})
    {
        auto f = std::make_unique<LinkFollower>();
        f->say = keep;
        SyncDevice *d = create_sync_device("/nonexistent/sync");
        std::string error;
        EXPECT_TRUE(prepare_link_follower(f.get(), where(), token, &error)) << error;
        open_link_follower(f.get(), d, 1000, 2000);
        for (const std::string &t : tracks)
            open_track(d, t.c_str());
        link_follower_tracks_opened(f.get(), 1000);
        followers.emplace_back(std::move(f), d);
        return followers.back().first.get();
    }
    // A raw connection that greets (or not) as the test says.
    int raw(int rcvbuf = 0)
    {
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        if (rcvbuf)
            setsockopt(s, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(server.port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
        timeval tv{10, 0};
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        return s;
    }
    std::string where() const { return "127.0.0.1:" + std::to_string(server.port); }
    SyncTrack *track_of(LinkFollower *f, const char *name) { return f->device->tracks[find_track(f->device, name)]; }
    // A raw follower that has greeted, asked for `names` and read the
    // studio's greeting (and transport) and the answers.
    int asking(std::vector<std::string> names, size_t before_answers = LINK_GREETING_SIZE)
    {
        const int s = raw();
        Bytes b;
        encode_link_greeting(&b, LINK_VERSION, "");
        for (const std::string &n : names)
            encode_link_track_request(&b, n);
        EXPECT_EQ(send(s, b.data(), b.size(), 0), ssize_t(b.size()));
        size_t want = before_answers;
        for (const std::string &n : names) {
            const int i = find_track(studio, n.c_str());
            want += 10 + n.size() + 9 * static_cast<size_t>(i < 0 ? 0 : studio->tracks[i]->key_count);
        }
        EXPECT_TRUE(pump(&server, {}, [&] { return link_server_followers(server) == 1; }, now));
        EXPECT_EQ(read_all(s, want).size(), want);
        return s;
    }
    // Exactly n bytes (fewer when they do not come), polling the server meanwhile.
    Bytes read_all(int s, size_t n)
    {
        Bytes b(n);
        size_t got = 0;
        for (int i = 0; i < 400 && got < n; i++) {
            poll_link_server(&server, now);
            const ssize_t r = recv(s, b.data() + got, n - got, MSG_DONTWAIT);
            if (r > 0)
                got += static_cast<size_t>(r);
            pollfd p{s, POLLIN, 0};
            poll(&p, 1, 20);
        }
        b.resize(got);
        return b;
    }
    void send_report(int s, const LinkReport &r)
    {
        Bytes b;
        encode_link_report(&b, r);
        ASSERT_EQ(send(s, b.data(), b.size(), 0), ssize_t(b.size()));
    }
    uint64_t now = 1000; // the server's clock in the tests that read it

    SyncDevice *studio = nullptr;
    SyncTrack *scene = nullptr;
    LinkServer server;
    std::vector<std::pair<std::unique_ptr<LinkFollower>, SyncDevice *>> followers;
};

TEST_F(follow_serve, FollowersTakeTracksChangesAndTransport)
{
    LinkTransport t;
    t.seconds = 4.25;
    set_link_server_transport(&server, t);
    LinkFollower *a = follow();
    LinkFollower *b = follow();
    ASSERT_TRUE(pump(&server, {a, b}, [&] {
        return a->track_updates == 2 && b->track_updates == 2 && a->transports == 1 && b->transports == 1;
    }));
    EXPECT_EQ(link_server_followers(server), 2u);
    for (LinkFollower *f : {a, b}) {
        EXPECT_EQ(track_value_at(track_of(f, "scene"), 10.0), 2.0);
        EXPECT_EQ(track_of(f, "cam.x")->key_count, 0); // unknown to the studio: empty
        EXPECT_EQ(f->transport.seconds, 4.25);
    }

    // The same keys set again (a timeline read again) send nothing; an edit
    // reaches both; a transport unchanged is not sent again...
    const SyncKey same[] = {{0, 1.0f, INTERP_LINEAR}, {20, 3.0f, INTERP_HOLD}};
    set_track_keys(scene, same, 2);
    poll_link_server(&server, 1000);
    const SyncKey edited[] = {{0, 5.0f, INTERP_HOLD}};
    set_track_keys(scene, edited, 1);
    set_link_server_transport(&server, t);
    ASSERT_TRUE(pump(&server, {a, b}, [&] {
        return track_value_at(track_of(a, "scene"), 10.0) == 5.0 && track_value_at(track_of(b, "scene"), 10.0) == 5.0;
    }));
    EXPECT_EQ(a->track_updates, 3u);
    EXPECT_EQ(b->track_updates, 3u);
    EXPECT_EQ(a->transports, 1u);
    // ...while playing it goes out every frame.
    t.playing = true;
    set_link_server_transport(&server, t);
    poll_link_server(&server, 1000);
    set_link_server_transport(&server, t);
    ASSERT_TRUE(pump(&server, {a, b}, [&] { return a->transports == 3 && b->transports == 3; }));
    EXPECT_TRUE(a->transport.playing);
    EXPECT_TRUE(said("serve: follower 1 follows") && said("serve: follower 2 follows"));

    // A follower that leaves is dropped with a line; the other stays.
    close_link_follower(a);
    ASSERT_TRUE(pump(&server, {b}, [&] { return link_server_followers(server) == 1; }));
    EXPECT_TRUE(said("serve: follower 1 dropped: it closed the link"));
}

TEST_F(follow_serve, TokenRefusesFollowersWithoutIt)
{
    server.token = "0123456789abcdef"; // as made for an address other than loopback
    LinkFollower *none = follow();
    LinkFollower *wrong = follow("nope");
    ASSERT_TRUE(pump(&server, {none, wrong}, [&] { return lines.size() >= 4; }));
    EXPECT_TRUE(said("serve: follower 1 dropped: no token"));
    EXPECT_TRUE(said("serve: follower 2 dropped: wrong token"));
    EXPECT_TRUE(said("follow " + where() + ": the studio closed the link: no token; playing on alone, trying again "
                                           "every 1.5 s"));
    EXPECT_EQ(none->track_updates, 0u);
    LinkFollower *right = follow("0123456789abcdef");
    ASSERT_TRUE(pump(&server, {right}, [&] { return right->track_updates == 2; }));
    EXPECT_EQ(link_server_followers(server), 1u);
}

// Each wrong thing a follower sends drops it with a line naming the fault,
// and tells it why in a bye.
TEST_F(follow_serve, BadFollowersAreDropped)
{
    Bytes greeting;
    encode_link_greeting(&greeting, LINK_VERSION, "");
    Bytes v9;
    encode_link_greeting(&v9, 9, "");
    Bytes track_from_follower = greeting;
    encode_link_track(&track_from_follower, "scene", nullptr, 0);
    Bytes zero_name = greeting;
    const Bytes bad_name{2, 0, 0, 0, 2, 'a', 0};
    zero_name.insert(zero_name.end(), bad_name.begin(), bad_name.end());
    struct Case {
        Bytes bytes;
        std::string line;
    } cases[] = {
        {Bytes{'P', 'U', 'T', ' '}, "bad greeting: greeting without the link's magic"},
        {v9, "it speaks version 9 of the link, this studio version 2"},
        {track_from_follower, "bad message: message of type 3 sent the wrong way"},
        {zero_name, "bad message: track name with a 0 byte"},
        {greeting + report(NAN, 0), "bad message: report with a time that is not between 0 and 10000000 seconds"},
        {greeting + report(1.0, 1), "bad message: report of 1 track messages shown, 0 sent"},
    };
    int n = 0;
    for (const Case &c : cases) {
        const int s = raw();
        ASSERT_EQ(send(s, c.bytes.data(), c.bytes.size(), 0), ssize_t(c.bytes.size()));
        const std::string line = "serve: follower " + std::to_string(++n) + " dropped: " + c.line;
        ASSERT_TRUE(pump(&server, {}, [&] { return said(line); })) << line;
        // What came back ends with a bye naming the fault, then the close.
        Bytes back;
        uint8_t buf[512];
        ssize_t r;
        while ((r = recv(s, buf, sizeof buf, 0)) > 0)
            back.insert(back.end(), buf, buf + r);
        Bytes bye;
        encode_link_bye(&bye, c.line);
        ASSERT_GE(back.size(), bye.size());
        EXPECT_EQ(Bytes(back.end() - static_cast<long>(bye.size()), back.end()), bye) << c.line;
        close(s);
    }
    EXPECT_TRUE(server.clients.empty());

    // A connection that never greets holds its place only until the deadline.
    const int quiet = raw();
    ASSERT_TRUE(pump(&server, {}, [&] { return server.clients.size() == 1; }));
    poll_link_server(&server, 1000 + LINK_SERVER_GREETING_MS - 1);
    EXPECT_EQ(server.clients.size(), 1u);
    poll_link_server(&server, 1000 + LINK_SERVER_GREETING_MS);
    EXPECT_TRUE(server.clients.empty());
    EXPECT_TRUE(said("serve: follower 7 dropped: no greeting within 5 s"));
    close(quiet);
}

// A follower that never reads is dropped once its queue is full: asking
// again for a track whose answer waits adds nothing, each edit of the track
// queues it whole. The studio never waits on it.
TEST_F(follow_serve, FollowerThatDoesNotReadIsDropped)
{
    std::vector<SyncKey> keys(LINK_MAX_KEYS);
    for (size_t i = 0; i < keys.size(); i++)
        keys[i] = {static_cast<int32_t>(i), 1.0f, 0};
    set_track_keys(scene, keys.data(), static_cast<int32_t>(keys.size()));
    const int s = raw(4096);
    Bytes asks;
    encode_link_greeting(&asks, LINK_VERSION, "");
    for (int i = 0; i < 64; i++)
        encode_link_track_request(&asks, "scene");
    ASSERT_EQ(send(s, asks.data(), asks.size(), 0), ssize_t(asks.size()));
    ASSERT_TRUE(pump(&server, {}, [&] { return link_server_followers(server) == 1; }));
    const std::string dropped = "serve: follower 1 dropped: it does not read (";
    auto gone = [&] {
        for (const std::string &l : lines)
            if (l.rfind(dropped, 0) == 0)
                return true;
        return false;
    };
    for (int i = 0; i < 4; i++)
        poll_link_server(&server, 1000);
    EXPECT_FALSE(gone());
    for (int edit = 0; edit < 8 && !gone(); edit++) {
        keys[0].value = static_cast<float>(edit);
        set_track_keys(scene, keys.data(), static_cast<int32_t>(keys.size()));
        poll_link_server(&server, 1000);
    }
    EXPECT_TRUE(gone());
    EXPECT_EQ(link_server_followers(server), 0u);
    close(s);
}

// Answers larger in all than the queue's bound go out as the follower reads
// them, and a change made meanwhile reaches it; another follower meanwhile
// gets its own.
TEST_F(follow_serve, ManyLargeTracksGoOutAsTheFollowerReads)
{
    std::vector<SyncKey> keys(LINK_MAX_KEYS);
    for (size_t i = 0; i < keys.size(); i++)
        keys[i] = {static_cast<int32_t>(i), 1.0f, 0};
    const std::vector<std::string> names = {"t0", "t1", "t2", "t3", "t4"};
    for (const std::string &n : names) {
        keys[0].value = static_cast<float>(n[1] - '0');
        set_track_keys(open_track(studio, n.c_str()), keys.data(), static_cast<int32_t>(keys.size()));
    }
    static_assert(5 * (LINK_MAX_KEYS * 9) > LINK_SERVER_MAX_QUEUE);
    LinkFollower *big = follow("", names);
    LinkFollower *small = follow();
    ASSERT_TRUE(pump(&server, {big, small}, [&] { return small->track_updates == 2 && big->track_updates >= 1; }));
    keys[0].value = 9.0f;
    set_track_keys(studio->tracks[find_track(studio, "t4")], keys.data(), static_cast<int32_t>(keys.size()));
    ASSERT_TRUE(pump(&server, {big, small}, [&] {
        return big->track_updates >= 5 && track_value_at(track_of(big, "t4"), 0.0) == 9.0;
    }));
    for (size_t i = 0; i < 4; i++)
        EXPECT_EQ(track_value_at(track_of(big, names[i].c_str()), 0.0), double(i)) << names[i];
    EXPECT_EQ(track_of(big, "t4")->key_count, int32_t(LINK_MAX_KEYS));
    EXPECT_EQ(link_server_followers(server), 2u);
}

// The reports, on the server's clocks (microseconds, driven by hand): how
// far behind the studio's music at the read the follower's music was when
// it sent the report, and how long a track message took from going out to
// the report of its first frame, in ms and in the follower's frames (its
// frame time from its frame counts).
uint64_t FakeUs = 0;

TEST_F(follow_serve, ReportsGiveTheLag)
{
    server.report_lines = true;
    server.clock_us = [] { return FakeUs; };
    FakeUs = 1000000;
    const int s = asking({"scene"}); // its answer is track message 1, out at 1 s
    LinkTransport t;
    t.playing = true;
    t.seconds = 5.0;
    set_link_server_transport(&server, t);
    // Read 31 ms after the studio's time was taken: 5.031 s; the follower
    // drew 4.99 s and sent 12 ms after: 5.002 s.
    FakeUs = 1031000;
    now = 1031;
    send_report(s, {4.99, true, 1, 10, 12000});
    ASSERT_TRUE(pump(&server, {}, [&] { return server.clients[0].lag.reported; }, now));
    // The server read last at 1 s: the report waited at most 31 ms.
    EXPECT_TRUE(said("serve: follower 1 showed answer 1 after 31 ms, 0 frames of 0.00 ms; the report waited up to "
                     "31.000 ms"));
    EXPECT_TRUE(said("serve: follower 1 behind 29.000 ms, the report waited up to 31.000 ms"));
    EXPECT_EQ(link_server_lag_line(server), "behind 29.0 ms"); // an answer is no edit
    // Half a second later, 30 frames on, at half speed: 20 ms of real time
    // since the transport is 10 ms of music, the 8 ms age 4 ms.
    now = 1531;
    t.seconds = 5.5;
    t.half_speed = true;
    FakeUs = 1531000;
    set_link_server_transport(&server, t);
    FakeUs = 1535000;
    poll_link_server(&server, now);
    FakeUs = 1551000;
    send_report(s, {5.49, true, 1, 40, 8000});
    ASSERT_TRUE(pump(&server, {}, [&] { return server.clients[0].lag.last.frames == 40; }, now));
    EXPECT_TRUE(said("serve: follower 1 behind 16.000 ms, the report waited up to 16.000 ms"));
    // An edit out at 2 s, its first frame's report read 40.4 ms later: three
    // frames of the 16.97 ms the frame counts now give.
    now = 2000;
    FakeUs = 2000000;
    const SyncKey edited[] = {{0, 5.0f, INTERP_HOLD}};
    set_track_keys(scene, edited, 1);
    poll_link_server(&server, now);
    now = 2040;
    t.seconds = 6.0;
    t.half_speed = false;
    FakeUs = 2030000;
    set_link_server_transport(&server, t);
    FakeUs = 2040400;
    send_report(s, {5.9875, true, 2, 70, 20400});
    ASSERT_TRUE(pump(&server, {}, [&] { return server.clients[0].lag.shown == 2; }, now));
    EXPECT_TRUE(said("serve: follower 1 showed change 2 after 40 ms, 3 frames of 16.97 ms; the report waited up to "
                     "40.400 ms"));
    EXPECT_EQ(link_server_lag_line(server), "behind 2.5 ms, last edit shown after 3 frames (40 ms)");
    // Paused, "behind" is not told; a report that counts back drops the follower.
    t.playing = false;
    set_link_server_transport(&server, t);
    send_report(s, {6.0, true, 2, 71});
    ASSERT_TRUE(pump(&server, {}, [&] { return server.clients[0].lag.last.frames == 71; }, now));
    EXPECT_EQ(link_server_lag_line(server), "last edit shown after 3 frames (40 ms)");
    send_report(s, {6.0, false, 2, 69});
    ASSERT_TRUE(pump(&server, {}, [&] { return said("serve: follower 1 dropped: bad message: report that counts back"); }, now));
    close(s);
}

// With the playing tracks' change counts, only a track whose count moved is
// compared: an edit of one track (a declared one too) sends exactly that track, the same keys
// again send nothing, and keys set behind the counts' back are not looked at.
TEST_F(follow_serve, OnlyReplacedTracksAreCompared)
{
    for (int i = 0; i < TRACK_COUNT; i++)
        Tracks[i] = open_track(studio, TrackNames[i]);
    server.track_changes = played_changes;
    Sync = studio; // where play_version finds the declared tracks
    open_track(studio, "fog");
    const int s = asking({"scene", "cam.x", "fog"});
    KeyVersion v{};
    const KeyList camx = {{3, 2.0f, INTERP_SMOOTH}}, scene_keys = {{0, 1.0f, INTERP_LINEAR}, {20, 3.0f, INTERP_HOLD}};
    const KeyList fog = {{7, 0.5f, INTERP_HOLD}};
    const std::string fog_name = "fog";
    v.tracks[find_timeline_track("cam.x")] = &camx;
    v.tracks[find_timeline_track("scene")] = &scene_keys; // as it plays: not replaced
    v.declared.emplace_back(&fog_name, &fog);             // a track a scene declares
    ASSERT_TRUE(play_version(v));
    Bytes want;
    encode_link_track(&want, "cam.x", camx.data(), camx.size());
    encode_link_track(&want, "fog", fog.data(), fog.size());
    EXPECT_EQ(read_all(s, want.size()), want);
    ASSERT_TRUE(play_version(v));
    poll_link_server(&server, now);
    const SyncKey behind[] = {{0, 9.0f, INTERP_HOLD}};
    set_track_keys(scene, behind, 1);
    poll_link_server(&server, now);
    // What comes next is the transport alone.
    LinkTransport t;
    t.seconds = 1.0;
    set_link_server_transport(&server, t);
    want.clear();
    encode_link_transport(&want, t);
    EXPECT_EQ(read_all(s, want.size()), want);
    for (SyncTrack *&track : Tracks)
        track = nullptr;
    Sync = nullptr;
    close(s);
}

// A track of LINK_MAX_KEYS keys goes whole; one key more is not sent: the
// follower is told and keeps its own keys, the studio names it in one line
// and on the HUD.
TEST_F(follow_serve, TrackOverTheLimitIsNamedNotCut)
{
    std::vector<SyncKey> keys(LINK_MAX_KEYS + 1);
    for (size_t i = 0; i < keys.size(); i++)
        keys[i] = {static_cast<int32_t>(i), float(i), 0};
    set_track_keys(scene, keys.data(), static_cast<int32_t>(LINK_MAX_KEYS));
    LinkFollower *f = follow();
    ASSERT_TRUE(pump(&server, {f}, [&] { return f->track_updates == 2; }));
    EXPECT_EQ(track_of(f, "scene")->key_count, int32_t(LINK_MAX_KEYS));
    set_track_keys(scene, keys.data(), static_cast<int32_t>(LINK_MAX_KEYS + 1));
    ASSERT_TRUE(pump(&server, {f}, [&] { return f->taken == 3; }));
    EXPECT_EQ(track_of(f, "scene")->key_count, int32_t(LINK_MAX_KEYS));
    EXPECT_TRUE(link_follower_live(*f));
    EXPECT_TRUE(said("serve: track \"scene\" has 100001 keys, more than the link carries (100000): followers keep "
                     "their own keys of it"));
    EXPECT_TRUE(said("follow " + where() + ": the studio's track \"scene\" has 100001 keys, more than the link "
                     "carries (100000); keeping this demo's own keys of it"));
    StudioServe sv;
    sv.server.device = studio;
    sv.server.listener = 0;
    sv.where = "127.0.0.1:7727";
    EXPECT_EQ(serve_notice(sv), std::make_pair(std::string("serving 127.0.0.1:7727, 0 followers; track \"scene\" has "
                                                           "too many keys to follow (100001, at most 100000)"),
                                               true));
}

// Past LINK_SERVER_MAX_FOLLOWERS connections the next is told why and
// closed; a place that frees up takes the next one again.
TEST_F(follow_serve, SeventeenthFollowerIsRefused)
{
    std::vector<int> held;
    for (size_t i = 0; i < LINK_SERVER_MAX_FOLLOWERS; i++)
        held.push_back(raw());
    ASSERT_TRUE(pump(&server, {}, [&] { return server.clients.size() == LINK_SERVER_MAX_FOLLOWERS; }));
    const int extra = raw();
    ASSERT_TRUE(pump(&server, {}, [&] { return said("serve: follower 17 dropped: too many followers"); }));
    Bytes back, bye;
    uint8_t buf[256];
    ssize_t r;
    while ((r = recv(extra, buf, sizeof buf, 0)) > 0)
        back.insert(back.end(), buf, buf + r);
    encode_link_bye(&bye, "too many followers");
    EXPECT_EQ(back, bye);
    close(extra);
    close(held[0]);
    ASSERT_TRUE(pump(&server, {}, [&] { return server.clients.size() == LINK_SERVER_MAX_FOLLOWERS - 1; }));
    held[0] = raw();
    ASSERT_TRUE(pump(&server, {}, [&] { return server.clients.size() == LINK_SERVER_MAX_FOLLOWERS; }));
    EXPECT_FALSE(said("serve: follower 18 dropped: too many followers"));
    for (int s : held)
        close(s);
}

TEST_F(follow_serve, PortInUseAndBadAddresses)
{
    LinkServer second;
    std::string error;
    EXPECT_FALSE(open_link_server(&second, studio, std::to_string(server.port), &error));
    EXPECT_EQ(error, "cannot listen on " + std::to_string(server.port) + ": Address already in use");
    EXPECT_FALSE(open_link_server(&second, studio, "127.0.0.1:65536", &error));
    EXPECT_FALSE(open_link_server(&second, studio, "", &error));
    EXPECT_EQ(second.listener, -1);
}

// --serve and --no-serve on the studio's command line.
TEST(follow_serve_args, StudioCommandLine)
{
    StudioArgs a;
    std::string text;
    const char *plain[] = {"studio"};
    ASSERT_EQ(parse_studio_args(1, plain, &a, &text), STUDIO_ARGS_OK);
    EXPECT_TRUE(a.serving);
    EXPECT_EQ(a.serve, "");
    const char *port[] = {"studio", "--serve", "9000"};
    ASSERT_EQ(parse_studio_args(3, port, &a, &text), STUDIO_ARGS_OK);
    EXPECT_EQ(a.serve, "9000");
    const char *off[] = {"studio", "--no-serve"};
    ASSERT_EQ(parse_studio_args(2, off, &a, &text), STUDIO_ARGS_OK);
    EXPECT_FALSE(a.serving);
    const std::vector<std::vector<const char *>> bad = {
        {"studio", "--serve", "1", "--no-serve"}, {"studio", "--serve", ""}, {"studio", "--serve"}};
    for (const auto &args : bad) {
        ASSERT_EQ(parse_studio_args(static_cast<int>(args.size()), args.data(), &a, &text), STUDIO_ARGS_BAD);
        const size_t nl = text.find('\n');
        EXPECT_NE(text.substr(0, nl).find("serve"), std::string::npos) << text;
        EXPECT_EQ(text.substr(nl + 1), std::string(STUDIO_USAGE) + "\n") << text;
    }
}

} // namespace
