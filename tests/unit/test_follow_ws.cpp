// The studio's link server taking followers by WebSocket on its own port:
// a scripted follower does the HTTP upgrade and frames its bytes by hand
// (RFC 6455), so what the studio sends is checked byte for byte, and each
// kind of junk is refused with a line.
//
// Nothing sleeps: the server is polled and the follower's socket read until
// what the test waits for has come, each wait a bounded poll().
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "studio/link/link_server.h"

namespace {

using Bytes = std::vector<uint8_t>;

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

// The handshake of RFC 6455 section 1.3, whose answer the RFC works out.
const char UPGRADE[] = "GET /link HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                       "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
const char ACCEPT[] = "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=";

// A client's frame: FIN, the opcode, masked with a fixed key.
Bytes client_frame(uint8_t opcode, const Bytes &payload)
{
    Bytes f{static_cast<uint8_t>(0x80 | opcode)};
    if (payload.size() < 126) {
        f.push_back(static_cast<uint8_t>(0x80 | payload.size()));
    } else {
        f.push_back(0x80 | 126);
        f.push_back(static_cast<uint8_t>(payload.size() >> 8));
        f.push_back(static_cast<uint8_t>(payload.size()));
    }
    const uint8_t mask[4] = {0x12, 0x34, 0x56, 0x78};
    f.insert(f.end(), mask, mask + 4);
    for (size_t i = 0; i < payload.size(); i++)
        f.push_back(payload[i] ^ mask[i & 3]);
    return f;
}

class follow_ws : public ::testing::Test {
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
    }
    void TearDown() override
    {
        for (int s : sockets)
            close(s);
        close_link_server(&server);
        destroy_sync_device(studio);
    }
    int connect_raw()
    {
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(server.port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
        sockets.push_back(s);
        return s;
    }
    void send_all(int s, const Bytes &b) { ASSERT_EQ(send(s, b.data(), b.size(), 0), ssize_t(b.size())); }
    // Polls the server and reads what comes on `s` into *got until `done`
    // (or the peer closes: *closed).
    template <class Done> bool pump(int s, Bytes *got, Done done, bool *closed = nullptr)
    {
        for (int i = 0; i < 400; i++) {
            poll_link_server(&server, 1000);
            uint8_t buf[4096];
            ssize_t n;
            while ((n = recv(s, buf, sizeof buf, MSG_DONTWAIT)) > 0)
                got->insert(got->end(), buf, buf + n);
            if (n == 0 && closed)
                *closed = true;
            if (done())
                return true;
            pollfd p{s, POLLIN, 0};
            poll(&p, 1, 20);
        }
        return false;
    }
    // An upgraded connection; the answer checked.
    int upgraded()
    {
        const int s = connect_raw();
        send_all(s, Bytes(UPGRADE, UPGRADE + sizeof UPGRADE - 1));
        Bytes got;
        const auto head_end = [&] { return std::string(got.begin(), got.end()).find("\r\n\r\n") != std::string::npos; };
        EXPECT_TRUE(pump(s, &got, head_end));
        const std::string head(got.begin(), got.end());
        EXPECT_EQ(head.rfind("HTTP/1.1 101 ", 0), 0u) << head;
        EXPECT_NE(head.find(ACCEPT), std::string::npos) << head;
        EXPECT_EQ(head.find("\r\n\r\n") + 4, head.size()) << "nothing before the greeting";
        return s;
    }

    SyncDevice *studio = nullptr;
    SyncTrack *scene = nullptr;
    LinkServer server;
    std::vector<int> sockets;
};

// The server's frames in `got`: binary ones' payloads joined, and whether a
// close frame ended them. False on anything else (masks, fragments, text).
bool unframe(const Bytes &got, Bytes *stream, bool *close_seen)
{
    *close_seen = false;
    size_t at = 0;
    while (at + 2 <= got.size()) {
        const uint8_t op = got[at] & 0x0f;
        size_t len = got[at + 1] & 0x7f, head = 2;
        if ((got[at] & 0xf0) != 0x80 || (got[at + 1] & 0x80) != 0)
            return false;
        if (len == 126) {
            if (at + 4 > got.size())
                break;
            len = (size_t(got[at + 2]) << 8) | got[at + 3];
            head = 4;
        }
        if (at + head + len > got.size())
            break;
        if (op == 2)
            stream->insert(stream->end(), got.begin() + long(at + head), got.begin() + long(at + head + len));
        else if (op == 8)
            *close_seen = true;
        else
            return false;
        at += head + len;
    }
    return at == got.size();
}

TEST_F(follow_ws, FollowerTakesTrackTransportAndEdits)
{
    LinkTransport t;
    t.seconds = 60.0;
    set_link_server_transport(&server, t);
    const int s = upgraded();
    // The link is a byte stream: a request cut across two messages is one.
    Bytes asks;
    encode_link_greeting(&asks, LINK_VERSION, "");
    encode_link_track_request(&asks, "scene");
    send_all(s, client_frame(2, Bytes(asks.begin(), asks.begin() + 9)));
    send_all(s, client_frame(2, Bytes(asks.begin() + 9, asks.end())));

    Bytes want;
    encode_link_greeting(&want, LINK_VERSION, "");
    encode_link_transport(&want, t);
    const SyncKey keys[] = {{0, 1.0f, INTERP_LINEAR}, {20, 3.0f, INTERP_HOLD}};
    encode_link_track(&want, "scene", keys, 2);
    Bytes got, stream;
    bool closed = false;
    ASSERT_TRUE(pump(s, &got, [&] {
        stream.clear();
        return unframe(got, &stream, &closed) && stream.size() >= want.size();
    })) << stream.size();
    EXPECT_EQ(stream, want);
    EXPECT_TRUE(said("serve: follower 1 follows by WebSocket"));
    EXPECT_EQ(link_server_followers(server), 1u);

    // An edit: one binary message holding the track message, nothing else.
    const SyncKey edited[] = {{1200, 5.0f, INTERP_HOLD}};
    set_track_keys(scene, edited, 1);
    Bytes track;
    encode_link_track(&track, "scene", edited, 1);
    Bytes frame{0x82, static_cast<uint8_t>(track.size())};
    frame.insert(frame.end(), track.begin(), track.end());
    got.clear();
    ASSERT_TRUE(pump(s, &got, [&] { return got.size() >= frame.size(); }));
    EXPECT_EQ(got, frame);
    EXPECT_EQ(frame.size(), 26u); // 2 of WebSocket, 5 of header, 1 + 5 of name, 4 + 9 of keys

    close(s);
    sockets.clear();
    Bytes none;
    ASSERT_TRUE(pump(connect_raw(), &none, [&] { return said("serve: follower 1 dropped: it closed the link"); }));
}

// Junk on the WebSocket side: each is refused with a line; an upgraded one
// is told why in a bye, then closed.
TEST_F(follow_ws, JunkIsRefusedWithALine)
{
    Bytes bad_magic{'D', 'L', 'N', 'X', 0, 1, 0};
    Bytes greeting;
    encode_link_greeting(&greeting, LINK_VERSION, "");
    struct Case {
        uint8_t opcode;
        Bytes payload;
        std::string line;
    } cases[] = {
        {2, bad_magic, "bad greeting: greeting without the link's magic"},
        {1, greeting, "bad message: a text WebSocket message"},
    };
    int n = 0;
    for (const Case &c : cases) {
        const int s = upgraded();
        send_all(s, client_frame(c.opcode, c.payload));
        const std::string line = "serve: follower " + std::to_string(++n) + " dropped: " + c.line;
        Bytes got, stream;
        bool closed = false, close_seen = false;
        ASSERT_TRUE(pump(s, &got, [&] { return said(line) && closed; }, &closed)) << line;
        ASSERT_TRUE(unframe(got, &stream, &close_seen)) << c.line;
        Bytes bye;
        encode_link_bye(&bye, c.line);
        EXPECT_EQ(stream, bye);
        EXPECT_TRUE(close_seen);
    }

    // Plain HTTP without an upgrade: an HTTP answer, a line, the close.
    const int s = connect_raw();
    const std::string get = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    send_all(s, Bytes(get.begin(), get.end()));
    Bytes got;
    bool closed = false;
    ASSERT_TRUE(pump(s, &got, [&] { return closed; }, &closed));
    EXPECT_EQ(std::string(got.begin(), got.end()).rfind("HTTP/1.1 400 ", 0), 0u);
    EXPECT_TRUE(said("serve: follower 3 dropped: bad greeting: an HTTP request that asks for no WebSocket"));

    // Off loopback a token is asked for, by WebSocket too.
    server.token = "0123456789abcdef";
    const int t = upgraded();
    send_all(t, client_frame(2, greeting));
    got.clear();
    closed = false;
    ASSERT_TRUE(pump(t, &got, [&] { return closed; }, &closed));
    EXPECT_TRUE(said("serve: follower 4 dropped: no token"));
    EXPECT_TRUE(server.clients.empty());
}

} // namespace
