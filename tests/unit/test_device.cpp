// The sync device: file names, the registry, loading (good and damaged .track
// files in a temporary directory) and the editor link over a socket pair.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sync/device.h"

namespace {

using Bytes = std::vector<unsigned char>;

// File calls seen through the device's pointers.
int open_calls, read_calls;
std::string last_path;

FILE *counting_open(const char *path, const char *mode)
{
    ++open_calls;
    last_path = path;
    EXPECT_STREQ(mode, "rb");
    return open_track_file(path, mode); // the device's own open
}

size_t counting_read(void *dst, size_t size, size_t count, FILE *f)
{
    ++read_calls;
    return std::fread(dst, size, count, f);
}

// A fresh directory under /tmp (its name only has letters, digits and "/")
// and a device whose base name is "<dir>/sync".
class SyncFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/synctestXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        d = create_sync_device((dir + "/sync").c_str());
        ASSERT_NE(d, nullptr);
        d->open_file = counting_open;
        d->read_file = counting_read;
        open_calls = read_calls = 0;
    }
    void TearDown() override
    {
        destroy_sync_device(d);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
        EXPECT_FALSE(ec);
    }
    void write_file(const std::string &rel, const Bytes &bytes)
    {
        FILE *f = std::fopen((dir + "/" + rel).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        if (!bytes.empty()) {
            EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        }
        std::fclose(f);
    }
    std::string dir;
    SyncDevice *d = nullptr;
};

// Little-endian helpers for building files by hand.
void put32(Bytes &b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void put_key(Bytes &b, int32_t row, uint32_t value_bits, unsigned char kind)
{
    put32(b, static_cast<uint32_t>(row));
    put32(b, value_bits);
    b.push_back(kind);
}
// binary32 patterns of the values used below
const uint32_t F0 = 0x00000000, F1 = 0x3F800000, F2 = 0x40000000, F3 = 0x40400000,
               F4 = 0x40800000, F255 = 0x437F0000;

// The 22-byte sample: linear from 0.0 at row 0 to 255.0 at row 40.
const Bytes RAMP = {0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                    0x00, 0x01, 0x28, 0x00, 0x00, 0x00, 0x00, 0x00, 0x7F, 0x43, 0x00};

// ---- Names ------------------------------------------------------------------

TEST(TrackNames, EscapeRules)
{
    EXPECT_STREQ(escape_name("cam.rot"), "cam.rot");
    EXPECT_STREQ(escape_name("a b"), "a-20b");
    EXPECT_STREQ(escape_name("x-y"), "x-2Dy");
    EXPECT_STREQ(escape_name("\xE4"), "-E4");
    EXPECT_STREQ(escape_name("fx/a_B9"), "fx/a_B9");
    EXPECT_STREQ(escape_name("\x01\n:"), "-01-0A-3A");
    EXPECT_STREQ(escape_name(""), "");
}

TEST(TrackNames, FilePaths)
{
    EXPECT_STREQ(track_file_path("sync", "a b"), "sync_a-20b.track");
    EXPECT_STREQ(track_file_path("sync", "x-y"), "sync_x-2Dy.track");
    EXPECT_STREQ(track_file_path("sync", "\xE4"), "sync_-E4.track");
    EXPECT_STREQ(track_file_path("sync", "fx/a"), "sync_fx/a.track");
    EXPECT_STREQ(track_file_path("sync", ""), "sync_.track");
    EXPECT_STREQ(track_file_path("sync", "cam.scaleh"), "sync_cam.scaleh.track");
}

TEST(TrackNames, LongNamesAreCut)
{
    const std::string letters(300, 'q');
    EXPECT_EQ(std::string(escape_name(letters.c_str())), std::string(259, 'q'));
    const std::string path = track_file_path("sync", letters.c_str());
    EXPECT_EQ(path, "sync_" + std::string(254, 'q')); // 259 in all, no ".track"

    // An escape that no longer fits ends the name, even if plain bytes follow.
    EXPECT_EQ(std::string(escape_name((std::string(256, 'q') + " ").c_str())),
              std::string(256, 'q') + "-20");
    EXPECT_EQ(std::string(escape_name((std::string(257, 'q') + " zz").c_str())),
              std::string(257, 'q'));
    // The base name alone is cut to 259 characters.
    EXPECT_EQ(std::string(track_file_path(std::string(400, 'b').c_str(), "x")),
              std::string(259, 'b'));
    // ".track" is cut part of the way.
    EXPECT_EQ(std::string(track_file_path("sync", std::string(250, 'q').c_str())),
              "sync_" + std::string(250, 'q') + ".tra");
}

TEST(TrackNames, DeviceStoresBaseEscaped)
{
    SyncDevice *d = create_sync_device("my sync");
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->base_name, "my-20sync");
    destroy_sync_device(d);
}

// ---- Registry ---------------------------------------------------------------

TEST(SyncRegistry, FreshDeviceAndDestroyWithNoTracks)
{
    SyncDevice *d = create_sync_device("sync");
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->base_name, "sync");
    EXPECT_EQ(d->tracks, nullptr);
    EXPECT_EQ(d->track_count, 0);
    EXPECT_EQ(d->link_socket, -1);
    EXPECT_EQ(find_track(d, "scene"), -1);
    EXPECT_EQ(find_track(d, ""), -1);
    destroy_sync_device(d); // the leak checker sees base name and record freed
}

TEST_F(SyncFiles, TwelveMissingFilesGiveEmptyTracks)
{
    const char *names[] = {"scene", "clear.r", "clear.g", "clear.b", "clear.a", "cam.rot",
                           "cam.dist", "cam.x", "cam.y", "cam.h", "cam.hori", "cam.scaleh"};
    SyncTrack *opened[12];
    for (int i = 0; i < 12; ++i) {
        opened[i] = open_track(d, names[i]);
        ASSERT_NE(opened[i], nullptr);
        EXPECT_EQ(last_path, dir + "/sync_" + names[i] + ".track");
    }
    EXPECT_EQ(open_calls, 12);
    EXPECT_EQ(read_calls, 0);
    ASSERT_EQ(d->track_count, 12);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(d->tracks[i], opened[i]);
        EXPECT_STREQ(d->tracks[i]->name, names[i]);
        EXPECT_EQ(find_track(d, names[i]), i);
        EXPECT_EQ(opened[i]->key_count, 0);
        EXPECT_EQ(opened[i]->keys, nullptr);
        EXPECT_EQ(track_value_at(opened[i], 0.0), 0.0);
        EXPECT_EQ(track_value_at(opened[i], 1234.5), 0.0);
        EXPECT_EQ(track_value_at(opened[i], -2.0), 0.0);
    }
    EXPECT_EQ(find_track(d, "cam"), -1);
    EXPECT_EQ(find_track(d, "Scene"), -1);
}

TEST_F(SyncFiles, SecondOpenReturnsSameTrackWithoutReading)
{
    write_file("sync_cam.rot.track", RAMP);
    SyncTrack *a = open_track(d, "cam.rot");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->key_count, 2);
    const int reads = read_calls;
    EXPECT_GT(reads, 0);
    EXPECT_EQ(open_calls, 1);

    EXPECT_EQ(open_track(d, "cam.rot"), a);
    EXPECT_EQ(read_calls, reads);
    EXPECT_EQ(open_calls, 1);
    EXPECT_EQ(d->track_count, 1);

    // Another case is another track, with a file of its own (missing here).
    SyncTrack *b = open_track(d, "Cam.rot");
    ASSERT_NE(b, nullptr);
    EXPECT_NE(b, a);
    EXPECT_EQ(open_calls, 2);
    EXPECT_EQ(last_path, dir + "/sync_Cam.rot.track");
    EXPECT_EQ(b->key_count, 0);
    EXPECT_EQ(d->track_count, 2);
    EXPECT_EQ(find_track(d, "Cam.rot"), 1);
}

TEST_F(SyncFiles, EscapedNamesAndSubdirectories)
{
    ASSERT_EQ(mkdir((dir + "/sync_fx").c_str(), 0700), 0);
    write_file("sync_fx/a.track", RAMP);
    write_file("sync_a-20b.track", RAMP);
    write_file("sync_.track", RAMP);
    write_file("sync_-E4.track", RAMP);
    EXPECT_EQ(open_track(d, "fx/a")->key_count, 2);
    EXPECT_EQ(open_track(d, "a b")->key_count, 2);
    EXPECT_EQ(open_track(d, "")->key_count, 2);
    EXPECT_EQ(open_track(d, "\xE4")->key_count, 2);
    EXPECT_STREQ(d->tracks[1]->name, "a b"); // the track keeps its unescaped name
}

// ---- Loading ----------------------------------------------------------------

TEST_F(SyncFiles, OnlyRegularFilesAreReadAndNothingIsWaitedOn)
{
    // A FIFO with no writer would hold an ordinary open for ever; it, a
    // directory and a link to one are empty tracks, like a missing file.
    ASSERT_EQ(mkfifo((dir + "/sync_fifo.track").c_str(), 0600), 0);
    std::filesystem::create_directory(dir + "/sync_folder.track");
    std::filesystem::create_symlink(dir + "/sync_fifo.track", dir + "/sync_link.track");
    write_file("sync_ramp.track", RAMP);
    for (const char *name : {"fifo", "folder", "link"}) {
        SyncTrack *t = open_track(d, name);
        ASSERT_NE(t, nullptr) << name;
        EXPECT_EQ(t->key_count, 0) << name;
    }
    EXPECT_EQ(open_calls, 3);
    EXPECT_EQ(read_calls, 0);
    EXPECT_EQ(open_track(d, "ramp")->key_count, 2);
    // The device's own pointer, and a mode that would write is refused.
    SyncDevice *plain = create_sync_device((dir + "/sync").c_str());
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(open_track(plain, "fifo")->key_count, 0);
    destroy_sync_device(plain);
    EXPECT_EQ(open_track_file((dir + "/sync_ramp.track").c_str(), "wb"), nullptr);
}

TEST_F(SyncFiles, SampleFileReadsWorkedValues)
{
    write_file("sync_ramp.track", RAMP);
    SyncTrack *t = open_track(d, "ramp");
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->key_count, 2);
    EXPECT_EQ(t->keys[0].row, 0);
    EXPECT_EQ(t->keys[0].value, 0.0f);
    EXPECT_EQ(t->keys[0].kind, INTERP_LINEAR);
    EXPECT_EQ(t->keys[1].row, 40);
    EXPECT_EQ(t->keys[1].value, 255.0f);
    EXPECT_EQ(t->keys[1].kind, INTERP_HOLD);
    EXPECT_EQ(track_value_at(t, 10.5), 66.9375);
    EXPECT_EQ(track_value_at(t, 40.0), 255.0);
    EXPECT_EQ(track_value_at(t, 100.0), 255.0);
    EXPECT_EQ(track_value_at(t, -3.0), 0.0);
}

TEST_F(SyncFiles, FieldsDecodeLittleEndianWithSignedKind)
{
    Bytes b;
    put32(b, 2);
    put_key(b, 0x01020304, 0xC0490FDB, 0xFF); // 16909060, -pi, kind -1
    put_key(b, 0x7FFFFFFF, F1, 0x80);         // kind -128
    write_file("sync_raw.track", b);
    SyncTrack *t = open_track(d, "raw");
    ASSERT_EQ(t->key_count, 2);
    EXPECT_EQ(t->keys[0].row, 16909060);
    EXPECT_EQ(t->keys[0].value, -3.14159274101257324f);
    EXPECT_EQ(t->keys[0].kind, -1);
    EXPECT_EQ(t->keys[1].row, 2147483647);
    EXPECT_EQ(t->keys[1].kind, -128);
    EXPECT_EQ(track_value_at(t, 2e7), 0.0); // the kind -1 segment
}

TEST_F(SyncFiles, ShortFilesKeepCompleteKeys)
{
    write_file("sync_empty.track", {});
    write_file("sync_count.track", {0x02, 0x00});
    write_file("sync_zero.track", {0x00, 0x00, 0x00, 0x00, 0x01});
    Bytes b;
    put32(b, 3);
    put_key(b, 0, F0, 1);
    put_key(b, 4, F4, 0);
    b.insert(b.end(), {0x08, 0x00, 0x00, 0x00, 0x00}); // 5 of the third key's 9 bytes
    write_file("sync_keys.track", b);

    EXPECT_EQ(open_track(d, "empty")->key_count, 0);
    EXPECT_EQ(open_track(d, "count")->key_count, 0);
    EXPECT_EQ(open_track(d, "zero")->key_count, 0);
    SyncTrack *t = open_track(d, "keys");
    ASSERT_EQ(t->key_count, 2);
    EXPECT_EQ(t->keys[1].row, 4);
    EXPECT_EQ(track_value_at(t, 1.0), 1.0);
    EXPECT_EQ(track_value_at(t, 9.0), 4.0);
    EXPECT_EQ(open_calls, 4);
}

TEST_F(SyncFiles, BytesAfterTheCountAreNotRead)
{
    Bytes b;
    put32(b, 1);
    put_key(b, 3, F2, 1);
    put_key(b, 9, F4, 0);
    write_file("sync_extra.track", b);
    SyncTrack *t = open_track(d, "extra");
    ASSERT_EQ(t->key_count, 1);
    EXPECT_EQ(track_value_at(t, 100.0), 2.0);
}

TEST_F(SyncFiles, NegativeAndHugeCounts)
{
    Bytes neg;
    put32(neg, 0xFFFFFFFF); // -1
    put_key(neg, 0, F1, 0);
    write_file("sync_neg.track", neg);
    Bytes min;
    put32(min, 0x80000000); // INT32_MIN
    write_file("sync_min.track", min);
    Bytes huge;
    put32(huge, 0x7FFFFFFF); // 2^31 - 1 keys announced, one present
    put_key(huge, 5, F3, 0);
    write_file("sync_huge.track", huge);

    SyncTrack *n = open_track(d, "neg");
    EXPECT_EQ(n->key_count, 0);
    EXPECT_EQ(n->keys, nullptr);
    EXPECT_EQ(track_value_at(n, 0.0), 0.0);
    EXPECT_EQ(open_track(d, "min")->key_count, 0);
    // The announced 24 GiB are never requested (the sanitizer's allocator
    // would refuse them); the one key present is kept.
    SyncTrack *h = open_track(d, "huge");
    ASSERT_EQ(h->key_count, 1);
    EXPECT_EQ(h->keys[0].row, 5);
    EXPECT_EQ(track_value_at(h, 0.0), 3.0);
}

TEST_F(SyncFiles, ManyKeysAcrossReadChunks)
{
    Bytes b;
    const int count = 1000;
    put32(b, count);
    for (int i = 0; i < count; ++i)
        put_key(b, 2 * i, i % 2 ? F1 : F0, 1);
    write_file("sync_many.track", b);
    SyncTrack *t = open_track(d, "many");
    ASSERT_EQ(t->key_count, count);
    EXPECT_EQ(t->keys[999].row, 1998);
    EXPECT_EQ(t->keys[999].value, 1.0f);
    EXPECT_EQ(track_value_at(t, 1500.5), 0.25); // key 750 (0.0) to 751 (1.0)
    EXPECT_EQ(track_value_at(t, 1997.0), 0.5);  // key 998 (0.0) to 999 (1.0)
}

TEST_F(SyncFiles, RowsOutOfOrderAreDropped)
{
    Bytes b;
    put32(b, 5);
    put_key(b, 0, F0, 1);
    put_key(b, 10, F2, 1);
    put_key(b, 5, F255, 1); // behind row 10: dropped
    put_key(b, 10, F255, 1); // duplicate of row 10: dropped
    put_key(b, 20, F4, 0);
    write_file("sync_order.track", b);
    SyncTrack *t = open_track(d, "order");
    ASSERT_EQ(t->key_count, 3);
    EXPECT_EQ(t->keys[0].row, 0);
    EXPECT_EQ(t->keys[1].row, 10);
    EXPECT_EQ(t->keys[1].value, 2.0f);
    EXPECT_EQ(t->keys[2].row, 20);
    EXPECT_EQ(track_value_at(t, 5.0), 1.0);  // 0 + 0.5 * 2
    EXPECT_EQ(track_value_at(t, 10.0), 2.0);
    EXPECT_EQ(track_value_at(t, 15.0), 3.0); // 2 + 0.5 * 2
    EXPECT_EQ(track_value_at(t, 20.0), 4.0);
}

TEST_F(SyncFiles, AllRowsEqualKeepOneKey)
{
    Bytes b;
    put32(b, 3);
    put_key(b, 7, F3, 1);
    put_key(b, 7, F1, 1);
    put_key(b, 7, F2, 1);
    write_file("sync_same.track", b);
    SyncTrack *t = open_track(d, "same");
    ASSERT_EQ(t->key_count, 1);
    EXPECT_EQ(track_value_at(t, 7.0), 3.0);
    EXPECT_EQ(track_value_at(t, 7.5), 3.0);
    EXPECT_EQ(track_value_at(t, 0.0), 3.0);
}

// ---- Editor link ------------------------------------------------------------

Bytes receive_all(int fd)
{
    Bytes got;
    unsigned char buf[512];
    ssize_t n;
    while ((n = recv(fd, buf, sizeof buf, MSG_DONTWAIT)) > 0)
        got.insert(got.end(), buf, buf + n);
    return got;
}

TEST_F(SyncFiles, OpenWithLinkSendsRequestAndReadsNoFile)
{
    write_file("sync_cam.x.track", RAMP);
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    d->link_socket = sv[0];
    SyncTrack *t = open_track(d, "cam.x");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(open_calls, 0);
    EXPECT_EQ(t->key_count, 0);
    EXPECT_EQ(d->track_count, 1);
    EXPECT_EQ(d->link_socket, sv[0]);
    const Bytes want = {0x02, 0x00, 0x00, 0x00, 0x05, 'c', 'a', 'm', '.', 'x'};
    EXPECT_EQ(receive_all(sv[1]), want);

    // A 300-byte name: the length goes out big-endian, 0x0000012C.
    const std::string longname(300, 'n');
    SyncTrack *l = open_track(d, longname.c_str());
    ASSERT_NE(l, nullptr);
    Bytes expect = {0x02, 0x00, 0x00, 0x01, 0x2C};
    expect.insert(expect.end(), longname.begin(), longname.end());
    EXPECT_EQ(receive_all(sv[1]), expect);

    destroy_sync_device(d); // closes the link: the peer sees the end
    d = nullptr;
    unsigned char c;
    EXPECT_EQ(recv(sv[1], &c, 1, 0), 0);
    close(sv[1]);
}

TEST_F(SyncFiles, FailedSendClosesLink)
{
    write_file("sync_later.track", RAMP);
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    close(sv[1]); // the editor went away: send fails with EPIPE
    d->link_socket = sv[0];
    // The link sends with flags 0, so the test keeps SIGPIPE from ending it.
    void (*old)(int) = std::signal(SIGPIPE, SIG_IGN);
    SyncTrack *t = open_track(d, "gone");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(d->link_socket, -1);
    EXPECT_EQ(fcntl(sv[0], F_GETFD), -1); // the device closed its end
    EXPECT_EQ(t->key_count, 0);
    EXPECT_EQ(open_calls, 0);

    // Direct call on a dead link, then files are read again.
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    close(sv[1]);
    d->link_socket = sv[0];
    EXPECT_EQ(ask_link_for_track(d, t), -1);
    EXPECT_EQ(d->link_socket, -1);
    std::signal(SIGPIPE, old);

    EXPECT_EQ(open_track(d, "later")->key_count, 2);
    EXPECT_EQ(open_calls, 1);
}

TEST(SyncLink, RequestForEmptyName)
{
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    SyncDevice *d = create_sync_device("sync");
    ASSERT_NE(d, nullptr);
    d->link_socket = sv[0];
    SyncTrack t = {const_cast<char *>(""), nullptr, 0};
    EXPECT_EQ(ask_link_for_track(d, &t), 0);
    EXPECT_EQ(d->link_socket, sv[0]);
    const Bytes want = {0x02, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(receive_all(sv[1]), want);
    destroy_sync_device(d);
    close(sv[1]);
}

} // namespace
