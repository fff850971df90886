// track_file.h - the .track file: its byte layout both ways, and the name a
// track's file has. The device, the timeline compiler and dumper, and the
// studio all go through these functions, so the layout and the file names
// are written down in one place.
//
// .track file: little-endian, no header besides the count.
//   offset 0        int32   N, number of keys
//   4 + 9*i         int32   row of key i
//   8 + 9*i         float32 value of key i
//   12 + 9*i        int8    kind of key i (0..3), widened with its sign
// Bytes after the N-th key are not read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sync/track.h"

enum {
    TRACK_FILE_HEADER_SIZE = 4, // the int32 key count
    TRACK_KEY_FILE_SIZE = 9,    // bytes per key
};

enum { SYNC_NAME_BUFFER_SIZE = 260 }; // static name buffers: 259 chars + NUL

// The key count at the start of a file (may be negative in a damaged one).
int32_t decode_track_count(const unsigned char *bytes);

// One key from its TRACK_KEY_FILE_SIZE bytes, as stored: nothing is checked.
SyncKey decode_track_key(const unsigned char *bytes);

// The whole file of `count` keys.
std::vector<uint8_t> encode_track(const SyncKey *keys, size_t count);
inline std::vector<uint8_t> encode_track(const std::vector<SyncKey> &keys)
{
    return encode_track(keys.data(), keys.size());
}

// Reads a whole file strictly, for tools that must not repair what they
// read. Refuses (false, reason in *error) a file shorter than 4 bytes, a
// negative count, a file shorter than its count announces, a kind outside
// 0..3, a value that is not finite and rows that do not increase strictly.
// Bytes after the last key are ignored, as the device ignores them.
bool decode_track(const uint8_t *bytes, size_t size, std::vector<SyncKey> *keys, std::string *error);

// ".", "/", "_", ASCII letters and digits pass; every other byte becomes "-"
// and two upper-case hex digits ("a b" -> "a-20b"). At most 259 characters:
// output stops before the first byte whose whole form no longer fits.
// Returns a static buffer, overwritten by the next call.
const char *escape_name(const char *name);

// "<base>_<escaped track name>.track", cut at 259 characters; the base is
// taken as it is (the device stores it escaped already). Returns a static
// buffer, overwritten by the next call.
const char *track_file_path(const char *base_name, const char *track_name);
