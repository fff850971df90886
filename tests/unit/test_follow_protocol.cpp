// The editor link's codec: the exact bytes of each greeting and message (as
// docs/link-protocol.md tables them), a stream fed a byte at a time, and
// every kind of malformed input refused with its reason.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

#include "link/link_protocol.h"
#include "sync/device.h"

namespace {

using Bytes = std::vector<uint8_t>;

// One frame parsed from a whole buffer; its result, and the reason if BAD.
LinkParse parse_one(const Bytes &b, LinkSide side, LinkFrame *f, std::string *error)
{
    size_t used = 0;
    const LinkParse r = parse_link_frame(b.data(), b.size(), side, f, &used, error);
    if (r == LINK_PARSE_OK) {
        EXPECT_EQ(used, b.size());
    }
    return r;
}

TEST(follow_protocol, GreetingBytes)
{
    Bytes b;
    encode_link_greeting(&b, 1, "ab");
    EXPECT_EQ(b, (Bytes{0x44, 0x4C, 0x4E, 0x4B, 0x00, 0x01, 0x02, 'a', 'b'}));
    for (size_t n = 0; n < b.size(); n++) {
        LinkGreeting g;
        size_t used = 0;
        std::string error;
        EXPECT_EQ(parse_link_greeting(b.data(), n, &g, &used, &error), LINK_PARSE_MORE) << n;
    }
    LinkGreeting g;
    size_t used = 0;
    std::string error;
    b.push_back(0x02); // the next message's first byte stays
    ASSERT_EQ(parse_link_greeting(b.data(), b.size(), &g, &used, &error), LINK_PARSE_OK);
    EXPECT_EQ(used, 9u);
    EXPECT_EQ(g.version, 1);
    EXPECT_EQ(g.token, "ab");

    // Another version decodes: the caller tells the peer and closes.
    Bytes v2{0x44, 0x4C, 0x4E, 0x4B, 0x01, 0x02, 0x00};
    ASSERT_EQ(parse_link_greeting(v2.data(), v2.size(), &g, &used, &error), LINK_PARSE_OK);
    EXPECT_EQ(g.version, 0x0102);
    EXPECT_EQ(g.token, "");
}

TEST(follow_protocol, BadGreetings)
{
    struct Case {
        Bytes bytes;
        const char *error;
    } cases[] = {
        {{'G'}, "greeting without the link's magic"}, // refused at its first byte
        {{0x44, 0x4C, 0x4E, 0x4C}, "greeting without the link's magic"},
        {{0x44, 0x4C, 0x4E, 0x4B, 0, 1, 65}, "greeting with a token of 65 bytes (at most 64)"},
        {{0x44, 0x4C, 0x4E, 0x4B, 0, 1, 2, 'a', ' '}, "greeting with a token byte that is not printable ASCII"},
        {{0x44, 0x4C, 0x4E, 0x4B, 0, 1, 1, 0x7F}, "greeting with a token byte that is not printable ASCII"},
    };
    for (const Case &c : cases) {
        LinkGreeting g;
        size_t used = 0;
        std::string error;
        EXPECT_EQ(parse_link_greeting(c.bytes.data(), c.bytes.size(), &g, &used, &error), LINK_PARSE_BAD);
        EXPECT_EQ(error, c.error);
    }
    EXPECT_EQ(link_token_fault(std::string(64, 'x')), nullptr);
    EXPECT_NE(link_token_fault(std::string(65, 'x')), nullptr);
}

// The request is byte for byte what the sync device itself sends on its link.
TEST(follow_protocol, TrackRequestIsTheDevicesRequest)
{
    Bytes b;
    encode_link_track_request(&b, "cam.rot");
    EXPECT_EQ(b, (Bytes{0x02, 0x00, 0x00, 0x00, 0x07, 'c', 'a', 'm', '.', 'r', 'o', 't'}));

    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    SyncDevice *d = create_sync_device("sync");
    ASSERT_NE(d, nullptr);
    d->link_socket = sv[0];
    open_track(d, "cam.rot");
    Bytes sent(64);
    const ssize_t n = read(sv[1], sent.data(), sent.size());
    ASSERT_GT(n, 0);
    sent.resize(static_cast<size_t>(n));
    EXPECT_EQ(sent, b);
    destroy_sync_device(d); // closes sv[0]
    close(sv[1]);

    LinkFrame f;
    std::string error, name;
    ASSERT_EQ(parse_one(b, LINK_AT_STUDIO, &f, &error), LINK_PARSE_OK);
    EXPECT_EQ(f.type, LINK_GET_TRACK);
    ASSERT_TRUE(decode_link_track_request(f, &name, &error));
    EXPECT_EQ(name, "cam.rot");
}

TEST(follow_protocol, TrackBytes)
{
    const SyncKey keys[] = {{0, 0.0f, INTERP_LINEAR}, {40, 255.0f, INTERP_HOLD}};
    Bytes b;
    encode_link_track(&b, "scene", keys, 2);
    EXPECT_EQ(b, (Bytes{0x03, 0x00, 0x00, 0x00, 0x1C, 0x05, 's', 'c', 'e', 'n', 'e', 0x00, 0x00, 0x00, 0x02,
                        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01,   // row 0, 0.0, linear
                        0x00, 0x00, 0x00, 0x28, 0x43, 0x7F, 0x00, 0x00, 0x00})); // row 40, 255.0, hold
    LinkFrame f;
    std::string error, name;
    std::vector<SyncKey> got;
    ASSERT_EQ(parse_one(b, LINK_AT_FOLLOWER, &f, &error), LINK_PARSE_OK);
    ASSERT_TRUE(decode_link_track(f, &name, &got, &error)) << error;
    EXPECT_EQ(name, "scene");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].row, 40);
    EXPECT_EQ(got[1].value, 255.0f);
    EXPECT_EQ(got[0].kind, INTERP_LINEAR);

    // A negative row and an empty track.
    const SyncKey neg[] = {{-2, -1.5f, INTERP_QUADRATIC}};
    b.clear();
    encode_link_track(&b, "a", neg, 1);
    EXPECT_EQ(Bytes(b.begin() + 11, b.end()), (Bytes{0xFF, 0xFF, 0xFF, 0xFE, 0xBF, 0xC0, 0x00, 0x00, 0x03}));
    b.clear();
    encode_link_track(&b, "a", nullptr, 0);
    ASSERT_EQ(parse_one(b, LINK_AT_FOLLOWER, &f, &error), LINK_PARSE_OK);
    ASSERT_TRUE(decode_link_track(f, &name, &got, &error));
    EXPECT_TRUE(got.empty());
}

TEST(follow_protocol, TransportAndByeBytes)
{
    LinkTransport t;
    t.seconds = 10.0;
    t.playing = true;
    t.looping = true;
    t.loop_start = 160;
    t.loop_end = 320;
    Bytes b;
    encode_link_transport(&b, t);
    EXPECT_EQ(b, (Bytes{0x04, 0x00, 0x00, 0x00, 0x11, 0x40, 0x24, 0, 0, 0, 0, 0, 0, 0x05,
                        0x00, 0x00, 0x00, 0xA0, 0x00, 0x00, 0x01, 0x40}));
    LinkFrame f;
    std::string error;
    LinkTransport got;
    ASSERT_EQ(parse_one(b, LINK_AT_FOLLOWER, &f, &error), LINK_PARSE_OK);
    ASSERT_TRUE(decode_link_transport(f, &got, &error)) << error;
    EXPECT_EQ(got.seconds, 10.0);
    EXPECT_TRUE(got.playing && got.looping && !got.half_speed);
    EXPECT_EQ(got.loop_start, 160);
    EXPECT_EQ(got.loop_end, 320);

    // Without a loop the rows go out as 0; half speed is bit 1.
    t = LinkTransport{};
    t.half_speed = true;
    t.loop_start = 7;
    b.clear();
    encode_link_transport(&b, t);
    EXPECT_EQ(Bytes(b.begin() + 13, b.end()), (Bytes{0x02, 0, 0, 0, 0, 0, 0, 0, 0}));

    b.clear();
    encode_link_bye(&b, "bad\ttoken");
    EXPECT_EQ(b, (Bytes{0x01, 0, 0, 0, 9, 'b', 'a', 'd', '?', 't', 'o', 'k', 'e', 'n'}));
    std::string reason;
    ASSERT_EQ(parse_one(b, LINK_AT_STUDIO, &f, &error), LINK_PARSE_OK);
    ASSERT_TRUE(decode_link_bye(f, &reason, &error));
    EXPECT_EQ(reason, "bad?token");
    b.clear();
    encode_link_bye(&b, std::string(300, 'x'));
    EXPECT_EQ(b.size(), 5u + 200u);
}

// Messages back to back, arriving a byte at a time: each is whole exactly
// when its last byte is in, and not before.
// The follower's report and the studio's too-large notice, byte by byte,
// each read only the way it is sent, and their faults.
TEST(follow_protocol, ReportAndTooLargeBytes)
{
    Bytes b;
    encode_link_report(&b, {10.0, true, 0x01020304, 700, 0xFFFFFFFF}); // the age cut to 10 s
    EXPECT_EQ(b, (Bytes{0x05, 0, 0, 0, 0x15, 0x40, 0x24, 0, 0, 0, 0, 0, 0, 0x01, 1, 2, 3, 4, 0, 0, 0x02, 0xBC,
                        0x00, 0x98, 0x96, 0x80}));
    LinkFrame f;
    std::string error, name;
    LinkReport r;
    EXPECT_EQ(parse_one(b, LINK_AT_FOLLOWER, &f, &error), LINK_PARSE_BAD);
    ASSERT_EQ(parse_one(b, LINK_AT_STUDIO, &f, &error), LINK_PARSE_OK);
    ASSERT_TRUE(decode_link_report(f, &r, &error)) << error;
    EXPECT_TRUE(r.seconds == 10.0 && r.playing && r.changes == 0x01020304 && r.frames == 700 &&
                r.age_us == 10000000);
    b[25] = 0x81;
    ASSERT_EQ(parse_one(b, LINK_AT_STUDIO, &f, &error), LINK_PARSE_OK);
    EXPECT_FALSE(decode_link_report(f, &r, &error));
    EXPECT_EQ(error, "report with an age over 10 s");
    b[25] = 0x80;
    b[13] = 0x02;
    ASSERT_EQ(parse_one(b, LINK_AT_STUDIO, &f, &error), LINK_PARSE_OK);
    EXPECT_FALSE(decode_link_report(f, &r, &error));
    EXPECT_EQ(error, "report with unknown flags");
    b[5] = 0xFF; // a NaN
    ASSERT_EQ(parse_one(b, LINK_AT_STUDIO, &f, &error), LINK_PARSE_OK);
    EXPECT_FALSE(decode_link_report(f, &r, &error));
    EXPECT_EQ(error, "report with a time that is not between 0 and 10000000 seconds");

    b.clear();
    encode_link_too_large(&b, "cam.x", 100001);
    EXPECT_EQ(b, (Bytes{0x06, 0, 0, 0, 10, 5, 'c', 'a', 'm', '.', 'x', 0x00, 0x01, 0x86, 0xA1}));
    uint32_t count = 0;
    EXPECT_EQ(parse_one(b, LINK_AT_STUDIO, &f, &error), LINK_PARSE_BAD);
    ASSERT_EQ(parse_one(b, LINK_AT_FOLLOWER, &f, &error), LINK_PARSE_OK);
    ASSERT_TRUE(decode_link_too_large(f, &name, &count, &error)) << error;
    EXPECT_EQ(name, "cam.x");
    EXPECT_EQ(count, 100001u);
    b[14] = 0xA0; // 100000 keys: a track message carries those
    ASSERT_EQ(parse_one(b, LINK_AT_FOLLOWER, &f, &error), LINK_PARSE_OK);
    EXPECT_FALSE(decode_link_too_large(f, &name, &count, &error));
    EXPECT_EQ(error, "track \"cam.x\" too large with 100000 keys (more than 100000 only)");
    b[5] = 4; // a name shorter than the payload
    ASSERT_EQ(parse_one(b, LINK_AT_FOLLOWER, &f, &error), LINK_PARSE_OK);
    EXPECT_FALSE(decode_link_too_large(f, &name, &count, &error));
    EXPECT_EQ(error, "track-too-large message whose length does not match its name");
}

TEST(follow_protocol, StreamOneByteAtATime)
{
    Bytes stream;
    const SyncKey keys[] = {{3, 1.0f, 0}};
    encode_link_track(&stream, "cam.x", keys, 1);
    const size_t first = stream.size();
    encode_link_transport(&stream, LinkTransport{});
    std::vector<size_t> ends;
    size_t start = 0;
    for (size_t n = 1; n <= stream.size(); n++) {
        LinkFrame f;
        size_t used = 0;
        std::string error;
        const LinkParse r = parse_link_frame(stream.data() + start, n - start, LINK_AT_FOLLOWER, &f, &used, &error);
        ASSERT_NE(r, LINK_PARSE_BAD) << error;
        if (r == LINK_PARSE_OK) {
            start += used;
            ends.push_back(n);
        }
    }
    EXPECT_EQ(ends, (std::vector<size_t>{first, stream.size()}));
}

// Headers that are wrong are refused with only the header in: nothing waits
// for a payload that a bad length announces.
TEST(follow_protocol, BadHeaders)
{
    struct Case {
        Bytes bytes;
        LinkSide side;
        const char *error;
    } cases[] = {
        {{9}, LINK_AT_FOLLOWER, "unknown message type 9"},
        {{0}, LINK_AT_STUDIO, "unknown message type 0"},
        {{2}, LINK_AT_FOLLOWER, "message of type 2 sent the wrong way"},
        {{3}, LINK_AT_STUDIO, "message of type 3 sent the wrong way"},
        {{4}, LINK_AT_STUDIO, "message of type 4 sent the wrong way"},
        {{4, 0, 0, 0, 18}, LINK_AT_FOLLOWER, "message of type 4 with a length of 18 bytes (17 to 17)"},
        {{2, 0, 0, 0, 0}, LINK_AT_STUDIO, "message of type 2 with a length of 0 bytes (1 to 255)"},
        {{2, 0, 0, 1, 0}, LINK_AT_STUDIO, "message of type 2 with a length of 256 bytes (1 to 255)"},
        {{1, 0, 0, 0, 201}, LINK_AT_STUDIO, "message of type 1 with a length of 201 bytes (0 to 200)"},
        {{3, 0xFF, 0xFF, 0xFF, 0xFF}, LINK_AT_FOLLOWER,
         "message of type 3 with a length of 4294967295 bytes (6 to 900260)"},
        {{3, 0, 0x0D, 0xBC, 0xA5}, LINK_AT_FOLLOWER, "message of type 3 with a length of 900261 bytes (6 to 900260)"},
    };
    for (const Case &c : cases) {
        LinkFrame f;
        std::string error;
        EXPECT_EQ(parse_one(c.bytes, c.side, &f, &error), LINK_PARSE_BAD) << c.error;
        EXPECT_EQ(error, c.error);
    }
    // The longest track fits: its header waits for the payload.
    const Bytes longest{3, 0, 0x0D, 0xBC, 0xA4};
    LinkFrame f;
    std::string error;
    EXPECT_EQ(parse_one(longest, LINK_AT_FOLLOWER, &f, &error), LINK_PARSE_MORE);
}

// A track message with `keys` (9 bytes each) after name "t", as the wire has it.
Bytes track_message(const Bytes &payload)
{
    Bytes b{3, 0, 0, 0, static_cast<uint8_t>(payload.size())};
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

TEST(follow_protocol, BadPayloads)
{
    const uint8_t nan_bits[] = {0x7F, 0xC0, 0, 0}, inf_bits[] = {0x7F, 0x80, 0, 0};
    auto key = [](uint8_t row, const uint8_t *value, uint8_t kind) {
        return Bytes{0, 0, 0, row, value[0], value[1], value[2], value[3], kind};
    };
    const uint8_t one[] = {0x3F, 0x80, 0, 0};
    auto track = [&](std::initializer_list<Bytes> keys, uint8_t count) {
        Bytes p{1, 't', 0, 0, 0, count};
        for (const Bytes &k : keys)
            p.insert(p.end(), k.begin(), k.end());
        return track_message(p);
    };
    struct Case {
        Bytes bytes;
        const char *error;
    } cases[] = {
        {track_message({0, 0, 0, 0, 0, 0}), "track name of 0 bytes (1 to 255)"},
        {track_message({2, 'a', 0, 0, 0, 0, 0}), "track name with a 0 byte"},
        {track_message({200, 'a', 0, 0, 0, 0}), "track message shorter than its name and count"},
        {track_message({1, 't', 0, 0x01, 0x86, 0xA1}), "track \"t\" with 100001 keys (at most 100000)"},
        {track({key(1, one, 0)}, 2), "track \"t\" whose length does not match its 2 keys"},
        {track({key(1, one, 0)}, 0), "track \"t\" whose length does not match its 0 keys"},
        {track({key(5, one, 0), key(5, one, 0)}, 2), "track \"t\": key 1 has a row not after the one before"},
        {track({key(5, one, 0), key(4, one, 0)}, 2), "track \"t\": key 1 has a row not after the one before"},
        {track({key(1, nan_bits, 0)}, 1), "track \"t\": key 0 has a value that is not finite"},
        {track({key(1, one, 0), key(2, inf_bits, 0)}, 2), "track \"t\": key 1 has a value that is not finite"},
        {track({key(1, one, 4)}, 1), "track \"t\": key 0 has an unknown kind"},
        {track({key(1, one, 0xFF)}, 1), "track \"t\": key 0 has an unknown kind"},
    };
    for (const Case &c : cases) {
        LinkFrame f;
        std::string error, name;
        std::vector<SyncKey> keys;
        ASSERT_EQ(parse_one(c.bytes, LINK_AT_FOLLOWER, &f, &error), LINK_PARSE_OK) << c.error;
        EXPECT_FALSE(decode_link_track(f, &name, &keys, &error)) << c.error;
        EXPECT_EQ(error, c.error);
    }

    auto transport = [](double seconds, uint8_t flags, int32_t start, int32_t end) {
        LinkTransport t;
        Bytes b;
        encode_link_transport(&b, t);
        uint64_t bits;
        std::memcpy(&bits, &seconds, 8);
        for (int i = 0; i < 8; i++)
            b[5 + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
        b[13] = flags;
        for (int i = 0; i < 4; i++) {
            b[14 + i] = static_cast<uint8_t>(uint32_t(start) >> (24 - 8 * i));
            b[18 + i] = static_cast<uint8_t>(uint32_t(end) >> (24 - 8 * i));
        }
        return b;
    };
    const char *time_fault = "transport with a time that is not between 0 and 10000000 seconds";
    const char *loop_fault = "transport with a loop that does not run forwards from row 0 or later";
    struct TCase {
        Bytes bytes;
        const char *error;
    } tcases[] = {
        {transport(std::numeric_limits<double>::quiet_NaN(), 0, 0, 0), time_fault},
        {transport(-0.5, 0, 0, 0), time_fault},
        {transport(1e7 + 1, 0, 0, 0), time_fault},
        {transport(std::numeric_limits<double>::infinity(), 1, 0, 0), time_fault},
        {transport(1.0, 8, 0, 0), "transport with unknown flags"},
        {transport(1.0, 4, 20, 20), loop_fault},
        {transport(1.0, 4, -20, 20), loop_fault},
        {transport(1.0, 0, 0, 20), "transport with loop rows but no loop"},
    };
    for (const TCase &c : tcases) {
        LinkFrame f;
        std::string error;
        LinkTransport t;
        ASSERT_EQ(parse_one(c.bytes, LINK_AT_FOLLOWER, &f, &error), LINK_PARSE_OK) << c.error;
        EXPECT_FALSE(decode_link_transport(f, &t, &error)) << c.error;
        EXPECT_EQ(error, c.error);
    }
    LinkFrame f;
    std::string error, reason;
    const Bytes bye{1, 0, 0, 0, 2, 'o', 0x0A}; // the frame points into it
    ASSERT_EQ(parse_one(bye, LINK_AT_FOLLOWER, &f, &error), LINK_PARSE_OK);
    EXPECT_FALSE(decode_link_bye(f, &reason, &error));
    EXPECT_EQ(error, "bye with a reason byte that is not printable ASCII");
    EXPECT_EQ(link_printable(std::string("a\"\xE4", 3)), "a\\x22\\xE4");
}

} // namespace
