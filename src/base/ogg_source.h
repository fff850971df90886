// ogg_source.h - the bytes of an Ogg Vorbis stream, from a file or from
// memory, as vorbisfile reads them (ov_open_callbacks), and a check that a
// stream was written to its end.
//
// Header only, so that the player and the tools that decode their own output
// share it without linking anything beyond libvorbisfile and libogg.
#pragma once

#ifndef OV_EXCLUDE_STATIC_CALLBACKS
#define OV_EXCLUDE_STATIC_CALLBACKS // keep vorbisfile's unused static tables out
#endif
#include <ogg/ogg.h>
#include <vorbis/vorbisfile.h>

#include "base/regular_file.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

// A readable window of bytes: an open file (closed by ogg_source_close) or
// a memory block that outlives the source.
struct OggSource {
    std::FILE *file;
    const unsigned char *memory;
    uint64_t length;
    uint64_t pos;
};

inline size_t ogg_source_read(void *ptr, size_t size, size_t count, void *data)
{
    OggSource *src = static_cast<OggSource *>(data);
    if (size == 0 || src->pos >= src->length)
        return 0;
    const uint64_t left = src->length - src->pos;
    uint64_t want = static_cast<uint64_t>(count) * size; // vorbisfile asks 1 x n
    if (want > left)
        want = left - left % size;
    if (want == 0)
        return 0;
    size_t got;
    if (src->memory) {
        std::memcpy(ptr, src->memory + src->pos, want);
        got = static_cast<size_t>(want);
    } else {
        got = std::fread(ptr, 1, want, src->file);
    }
    src->pos += got;
    return got / size;
}

inline int ogg_source_seek(void *data, ogg_int64_t offset, int whence)
{
    OggSource *src = static_cast<OggSource *>(data);
    int64_t base;
    if (whence == SEEK_SET)
        base = 0;
    else if (whence == SEEK_CUR)
        base = static_cast<int64_t>(src->pos);
    else if (whence == SEEK_END)
        base = static_cast<int64_t>(src->length);
    else
        return -1;
    if (offset < -base || offset > static_cast<int64_t>(src->length) - base)
        return -1;
    const uint64_t pos = static_cast<uint64_t>(base + offset);
    if (src->file && fseeko(src->file, static_cast<off_t>(pos), SEEK_SET) != 0)
        return -1;
    src->pos = pos;
    return 0;
}

inline long ogg_source_tell(void *data)
{
    return static_cast<long>(static_cast<OggSource *>(data)->pos);
}

// The callbacks for ov_open_callbacks, with the source as its datasource.
// Closing is left to ogg_source_close.
inline ov_callbacks ogg_source_callbacks()
{
    return ov_callbacks{ogg_source_read, ogg_source_seek, nullptr, ogg_source_tell};
}

inline OggSource ogg_source_memory(const void *data, size_t size)
{
    return OggSource{nullptr, static_cast<const unsigned char *>(data), size, 0};
}

// Why ogg_source_open_file failed (base/regular_file.h).
using OggOpenFailure = RegularFileFailure;

// Opens a regular file for reading, without blocking (base/regular_file.h).
inline bool ogg_source_open_file(OggSource &src, const char *path, OggOpenFailure *why = nullptr)
{
    src = OggSource{nullptr, nullptr, 0, 0};
    struct stat st;
    OggOpenFailure failure;
    const int fd = open_regular_file(path, &st, &failure);
    if (fd >= 0) {
        if ((src.file = fdopen(fd, "rb"))) {
            src.length = static_cast<uint64_t>(st.st_size);
        } else {
            failure = OggOpenFailure::Unreadable;
            ::close(fd);
        }
    }
    if (why)
        *why = failure;
    return failure == OggOpenFailure::None;
}

inline void ogg_source_close(OggSource &src)
{
    if (src.file)
        std::fclose(src.file);
    src = OggSource{nullptr, nullptr, 0, 0};
}

// Whether the last whole Ogg page among the source's final bytes carries the
// end-of-stream mark, as the last page of a completely written stream does.
// A stream cut short (a broken download) lacks it. Reads at most the final
// 128 KiB (two of the largest pages); the read position is left at the start.
inline bool ogg_source_ends_with_eos(OggSource &src)
{
    const uint64_t TAIL = 2 * 65307 + 4096;
    const uint64_t from = src.length > TAIL ? src.length - TAIL : 0;
    if (ogg_source_seek(&src, static_cast<ogg_int64_t>(from), SEEK_SET) != 0)
        return false;
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    bool eos = false;
    bool any = false;
    for (;;) {
        char *buffer = ogg_sync_buffer(&sync, 4096);
        const size_t got = buffer ? ogg_source_read(buffer, 1, 4096, &src) : 0;
        if (got == 0)
            break;
        ogg_sync_wrote(&sync, static_cast<long>(got));
        ogg_page page;
        // pageseek skips bytes that do not start a page and only returns
        // pages whose checksum holds.
        long n;
        while ((n = ogg_sync_pageseek(&sync, &page)) != 0)
            if (n > 0) {
                any = true;
                eos = ogg_page_eos(&page) != 0;
            }
    }
    ogg_sync_clear(&sync);
    ogg_source_seek(&src, 0, SEEK_SET);
    return any && eos;
}
