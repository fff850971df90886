// device.cpp - the sync device: the registry of named tracks, their .track
// files and the request sent over an editor link.
//
// Track files are untrusted input. Loading decodes them with track_file.h's
// codec and repairs what would break the reader's invariants:
//   - a file that ends before its count (or before its first 4 bytes) keeps
//     the complete keys it holds, and no more;
//   - a negative count means no keys;
//   - the key array grows with the keys actually read, so a huge count in a
//     tiny file never allocates more than twice what the file fills (and the
//     array is trimmed to the exact size at the end);
//   - a key whose row is not greater than the previous kept key's row is
//     dropped, so rows strictly increase: a segment never has a zero or
//     negative span, and the keys meant to be in order are kept.
// Nothing is printed; a missing or unreadable file, or one that is not a
// regular file (opened without blocking, see open_track_file), gives an empty
// track.
//
// The editor link sends with flags 0 as its protocol defines. Nothing in the
// demo opens the link; a program that does must ignore SIGPIPE, or a closed
// peer ends the process instead of making the send fail.
#include "sync/device.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h> // send, closesocket, htonl
#else
#include <arpa/inet.h>  // htonl
#include <sys/socket.h> // send
#endif
#include <sys/stat.h>
#include <unistd.h> // close

#include <cassert>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/regular_file.h"

constexpr size_t KEYS_PER_READ = 256;                      // keys decoded per read_file call
constexpr unsigned char LINK_GET_TRACK = 2;                // command byte of a track request

// The editor link's socket calls, on POSIX sockets or Winsock.
static bool send_whole(int s, const void *bytes, size_t n)
{
#ifdef _WIN32
    return send(static_cast<SOCKET>(s), static_cast<const char *>(bytes), static_cast<int>(n), 0) ==
           static_cast<int>(n);
#else
    return send(s, bytes, n, 0) == static_cast<ssize_t>(n);
#endif
}

static void close_link(int s)
{
#ifdef _WIN32
    closesocket(static_cast<SOCKET>(s));
#else
    close(s);
#endif
}

static char *copy_string(const char *s)
{
    const size_t size = std::strlen(s) + 1;
    char *copy = static_cast<char *>(std::malloc(size));
    if (copy)
        std::memcpy(copy, s, size);
    return copy;
}

FILE *open_track_file(const char *path, const char *mode)
{
    if (std::strcmp(mode, "rb") != 0 && std::strcmp(mode, "r") != 0)
        return nullptr;
    struct stat st;
    const int fd = open_regular_file(path, &st);
    if (fd < 0)
        return nullptr;
    FILE *f = fdopen(fd, "rb");
    if (!f)
        close(fd);
    return f;
}

SyncDevice *create_sync_device(const char *base_name)
{
    SyncDevice *d = static_cast<SyncDevice *>(std::malloc(sizeof *d));
    if (!d)
        return nullptr;
    d->base_name = copy_string(escape_name(base_name));
    if (!d->base_name) {
        std::free(d);
        return nullptr;
    }
    d->tracks = nullptr;
    d->track_count = 0;
    d->link_socket = -1;
    d->open_file = open_track_file;
    d->read_file = std::fread;
    d->close_file = std::fclose;
    return d;
}

bool set_track_keys(SyncTrack *t, const SyncKey *keys, int32_t count)
{
    SyncKey *copy = nullptr;
    if (count > 0) {
        if (static_cast<uint64_t>(count) > SIZE_MAX / sizeof(SyncKey))
            return false;
        copy = static_cast<SyncKey *>(std::malloc(static_cast<size_t>(count) * sizeof(SyncKey)));
        if (!copy)
            return false;
        std::memcpy(copy, keys, static_cast<size_t>(count) * sizeof(SyncKey));
    }
    std::free(t->keys);
    t->keys = copy;
    t->key_count = count > 0 ? count : 0;
    return true;
}

int find_track(const SyncDevice *d, const char *name)
{
    for (int i = 0; i < d->track_count; ++i)
        if (std::strcmp(d->tracks[i]->name, name) == 0)
            return i;
    return -1;
}

// Grows `keys` to hold at least `needed` keys (doubling, capped at `limit`).
// False when memory runs out; the old array is left as it was.
static bool grow_keys(SyncKey **keys, int32_t *capacity, int32_t needed, int32_t limit)
{
    if (needed <= *capacity)
        return true;
    int64_t want = static_cast<int64_t>(*capacity) * 2;
    if (want < needed)
        want = needed;
    if (want > limit)
        want = limit;
    if (static_cast<uint64_t>(want) > SIZE_MAX / sizeof(SyncKey))
        return false;
    void *p = std::realloc(*keys, static_cast<size_t>(want) * sizeof(SyncKey));
    if (!p)
        return false;
    *keys = static_cast<SyncKey *>(p);
    *capacity = static_cast<int32_t>(want);
    return true;
}

// Fills an empty track from an open .track file (see the top of this file for
// what is repaired). On memory exhaustion the track stays empty.
static void load_keys(SyncDevice *d, FILE *f, SyncTrack *t)
{
    unsigned char bytes[KEYS_PER_READ * TRACK_KEY_FILE_SIZE];
    if (d->read_file(bytes, TRACK_FILE_HEADER_SIZE, 1, f) != 1)
        return; // shorter than its count: no keys
    const int32_t count = decode_track_count(bytes);

    SyncKey *keys = nullptr;
    int32_t capacity = 0;
    int32_t kept = 0;
    int32_t left = count > 0 ? count : 0; // keys still announced
    while (left > 0) {
        const size_t want = static_cast<size_t>(left) < KEYS_PER_READ ? static_cast<size_t>(left) : KEYS_PER_READ;
        size_t got = d->read_file(bytes, TRACK_KEY_FILE_SIZE, want, f); // whole keys only
        if (got > want)
            got = want; // a read function that claims too much
        if (!grow_keys(&keys, &capacity, kept + static_cast<int32_t>(got), count)) {
            std::free(keys);
            return;
        }
        for (size_t i = 0; i < got; ++i) {
            const SyncKey k = decode_track_key(bytes + i * TRACK_KEY_FILE_SIZE);
            if (kept > 0 && k.row <= keys[kept - 1].row)
                continue; // out of order or duplicate row: dropped
            keys[kept++] = k;
        }
        left -= static_cast<int32_t>(got);
        if (got < want)
            break; // end of file
    }

    if (kept == 0) {
        std::free(keys);
        return;
    }
    if (kept < capacity) {
        void *p = std::realloc(keys, static_cast<size_t>(kept) * sizeof(SyncKey));
        if (p)
            keys = static_cast<SyncKey *>(p);
    }
    t->keys = keys;
    t->key_count = kept;
}

SyncTrack *open_track(SyncDevice *d, const char *name)
{
    const int found = find_track(d, name);
    if (found >= 0)
        return d->tracks[found];
    assert(find_track(d, name) < 0);

    SyncTrack *t = static_cast<SyncTrack *>(std::malloc(sizeof *t));
    if (!t)
        return nullptr;
    t->name = copy_string(name);
    t->keys = nullptr;
    t->key_count = 0;
    if (!t->name) {
        std::free(t);
        return nullptr;
    }

    // One more registry entry; an overflowing size counts as no memory.
    void *grown = nullptr;
    if (d->track_count < INT_MAX &&
        static_cast<size_t>(d->track_count) + 1 <= SIZE_MAX / sizeof(SyncTrack *))
        grown = std::realloc(d->tracks, (static_cast<size_t>(d->track_count) + 1) * sizeof(SyncTrack *));
    if (!grown) {
        std::free(t->name);
        std::free(t);
        return nullptr;
    }
    d->tracks = static_cast<SyncTrack **>(grown);
    d->tracks[d->track_count++] = t;

    if (d->link_socket != -1) {
        ask_link_for_track(d, t); // the editor sends the keys; a failure closes the link
        return t;
    }

    FILE *f = d->open_file(track_file_path(d->base_name, t->name), "rb");
    if (!f)
        return t; // no file: registered and empty
    load_keys(d, f, t);
    d->close_file(f);
    return t;
}

void destroy_sync_device(SyncDevice *d)
{
    if (!d)
        return;
    if (d->link_socket != -1)
        close_link(d->link_socket);
    for (int i = 0; i < d->track_count; ++i) {
        std::free(d->tracks[i]->name);
        std::free(d->tracks[i]->keys);
        std::free(d->tracks[i]);
    }
    std::free(d->tracks);
    std::free(d->base_name);
    std::free(d);
}

// Three sends: command byte 2, the name's length as big-endian uint32, the
// name without its NUL. Any short send closes the link.
int ask_link_for_track(SyncDevice *d, const SyncTrack *t)
{
    const size_t len = std::strlen(t->name);
    assert(len <= INT_MAX);
    const unsigned char command = LINK_GET_TRACK;
    const uint32_t net_len = htonl(static_cast<uint32_t>(len));
    if (!send_whole(d->link_socket, &command, 1) || !send_whole(d->link_socket, &net_len, 4) ||
        !send_whole(d->link_socket, t->name, len)) {
        close_link(d->link_socket);
        d->link_socket = -1;
        return -1;
    }
    return 0;
}
