// track_file.cpp - the .track byte layout both ways, and track file names.
//
// Fields are put together byte by byte, so the files are the same whatever
// the host's byte order.
#include "sync/track_file.h"

#include <cmath>
#include <cstring>

constexpr int NAME_MAX_CHARS = SYNC_NAME_BUFFER_SIZE - 1; // 259 characters + NUL

static uint32_t get_le32(const unsigned char *b)
{
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

static void put_le32(std::vector<uint8_t> &b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v >> 16));
    b.push_back(static_cast<uint8_t>(v >> 24));
}

int32_t decode_track_count(const unsigned char *bytes)
{
    return static_cast<int32_t>(get_le32(bytes)); // two's complement, defined since C++20
}

SyncKey decode_track_key(const unsigned char *bytes)
{
    SyncKey k;
    k.row = static_cast<int32_t>(get_le32(bytes));
    const uint32_t bits = get_le32(bytes + 4);
    std::memcpy(&k.value, &bits, sizeof k.value);
    k.kind = static_cast<int8_t>(bytes[8]); // widened with its sign: 0xFF is -1
    return k;
}

std::vector<uint8_t> encode_track(const SyncKey *keys, size_t count)
{
    std::vector<uint8_t> b;
    b.reserve(TRACK_FILE_HEADER_SIZE + count * TRACK_KEY_FILE_SIZE);
    put_le32(b, static_cast<uint32_t>(count));
    for (size_t i = 0; i < count; i++) {
        uint32_t bits;
        std::memcpy(&bits, &keys[i].value, sizeof bits);
        put_le32(b, static_cast<uint32_t>(keys[i].row));
        put_le32(b, bits);
        b.push_back(static_cast<uint8_t>(keys[i].kind)); // int8 in two's complement
    }
    return b;
}

bool decode_track(const uint8_t *bytes, size_t size, std::vector<SyncKey> *keys, std::string *error)
{
    keys->clear();
    if (size < TRACK_FILE_HEADER_SIZE) {
        *error = "too short for a key count (" + std::to_string(size) + " bytes)";
        return false;
    }
    const int32_t count = decode_track_count(bytes);
    if (count < 0) {
        *error = "negative key count " + std::to_string(count);
        return false;
    }
    const size_t room = (size - TRACK_FILE_HEADER_SIZE) / TRACK_KEY_FILE_SIZE;
    if (static_cast<size_t>(count) > room) {
        *error = "truncated: " + std::to_string(count) + " keys announced, " + std::to_string(room) +
                 " present";
        return false;
    }

    keys->reserve(count);
    for (int32_t i = 0; i < count; i++) {
        const SyncKey k =
            decode_track_key(bytes + TRACK_FILE_HEADER_SIZE + static_cast<size_t>(i) * TRACK_KEY_FILE_SIZE);
        const std::string where = "key " + std::to_string(i) + " (row " + std::to_string(k.row) + "): ";
        if (!keys->empty() && k.row <= keys->back().row) {
            *error = where + "rows not increasing (" + std::to_string(k.row) + " after " +
                     std::to_string(keys->back().row) + ")";
            return false;
        }
        if (!std::isfinite(k.value)) {
            *error = where + "value not finite";
            return false;
        }
        if (k.kind < INTERP_HOLD || k.kind > INTERP_QUADRATIC) {
            *error = where + "unknown interpolation kind " + std::to_string(k.kind);
            return false;
        }
        keys->push_back(k);
    }
    return true;
}

const char *escape_name(const char *name)
{
    static char buffer[SYNC_NAME_BUFFER_SIZE];
    static const char hex[] = "0123456789ABCDEF";
    int j = 0;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(name); *p; ++p) {
        const unsigned char c = *p;
        const bool plain = c == '.' || c == '/' || c == '_' || (c >= 'A' && c <= 'Z') ||
                           (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (plain) {
            if (j >= NAME_MAX_CHARS)
                break;
            buffer[j++] = static_cast<char>(c);
        } else {
            if (j >= NAME_MAX_CHARS - 2)
                break;
            buffer[j++] = '-';
            buffer[j++] = hex[c >> 4];
            buffer[j++] = hex[c & 15];
        }
    }
    buffer[j] = '\0';
    return buffer;
}

// Appends as much of s as fits in 259 characters.
static void append_cut(char *buffer, int *len, const char *s)
{
    while (*len < NAME_MAX_CHARS && *s)
        buffer[(*len)++] = *s++;
    buffer[*len] = '\0';
}

const char *track_file_path(const char *base_name, const char *track_name)
{
    static char buffer[SYNC_NAME_BUFFER_SIZE];
    int len = 0;
    buffer[0] = '\0';
    append_cut(buffer, &len, base_name);
    append_cut(buffer, &len, "_");
    append_cut(buffer, &len, escape_name(track_name));
    append_cut(buffer, &len, ".track");
    return buffer;
}
