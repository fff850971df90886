// link_protocol.cpp - encoding and checking the editor link's bytes; the
// layout is in docs/link-protocol.md. Numbers are big-endian; floats travel
// as their bit patterns.
#include "link/link_protocol.h"

#include <cmath>
#include <cstring>

static const uint8_t LINK_MAGIC[4] = {'D', 'L', 'N', 'K'};

enum : uint8_t {
    FLAG_PLAYING = 1,
    FLAG_HALF_SPEED = 2,
    FLAG_LOOPING = 4,
};

// ---- Big-endian numbers -------------------------------------------------------

static void put_u16(std::vector<uint8_t> *out, uint16_t v)
{
    out->push_back(static_cast<uint8_t>(v >> 8));
    out->push_back(static_cast<uint8_t>(v));
}

static void put_u32(std::vector<uint8_t> *out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out->push_back(static_cast<uint8_t>(v >> shift));
}

static void put_u64(std::vector<uint8_t> *out, uint64_t v)
{
    for (int shift = 56; shift >= 0; shift -= 8)
        out->push_back(static_cast<uint8_t>(v >> shift));
}

static uint16_t get_u16(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

static uint32_t get_u32(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

static uint64_t get_u64(const uint8_t *p)
{
    return uint64_t(get_u32(p)) << 32 | get_u32(p + 4);
}

static void put_header(std::vector<uint8_t> *out, LinkType type, size_t size)
{
    out->push_back(type);
    put_u32(out, static_cast<uint32_t>(size));
}

// ---- Encoding -----------------------------------------------------------------

void encode_link_greeting(std::vector<uint8_t> *out, uint16_t version, const std::string &token)
{
    out->insert(out->end(), LINK_MAGIC, LINK_MAGIC + 4);
    put_u16(out, version);
    out->push_back(static_cast<uint8_t>(token.size()));
    out->insert(out->end(), token.begin(), token.end());
}

void encode_link_bye(std::vector<uint8_t> *out, const std::string &reason)
{
    const size_t n = reason.size() < LINK_MAX_REASON ? reason.size() : LINK_MAX_REASON;
    put_header(out, LINK_BYE, n);
    for (size_t i = 0; i < n; i++) {
        const uint8_t c = static_cast<uint8_t>(reason[i]);
        out->push_back(c >= 0x20 && c <= 0x7E ? c : '?');
    }
}

void encode_link_track_request(std::vector<uint8_t> *out, const std::string &name)
{
    put_header(out, LINK_GET_TRACK, name.size());
    out->insert(out->end(), name.begin(), name.end());
}

void encode_link_track(std::vector<uint8_t> *out, const std::string &name, const SyncKey *keys, size_t count)
{
    put_header(out, LINK_TRACK, 1 + name.size() + 4 + LINK_KEY_SIZE * count);
    out->push_back(static_cast<uint8_t>(name.size()));
    out->insert(out->end(), name.begin(), name.end());
    put_u32(out, static_cast<uint32_t>(count));
    for (size_t i = 0; i < count; i++) {
        uint32_t bits;
        std::memcpy(&bits, &keys[i].value, 4);
        put_u32(out, static_cast<uint32_t>(keys[i].row));
        put_u32(out, bits);
        out->push_back(static_cast<uint8_t>(keys[i].kind));
    }
}

void encode_link_transport(std::vector<uint8_t> *out, const LinkTransport &t)
{
    put_header(out, LINK_TRANSPORT, LINK_TRANSPORT_SIZE);
    uint64_t bits;
    std::memcpy(&bits, &t.seconds, 8);
    put_u64(out, bits);
    out->push_back(static_cast<uint8_t>((t.playing ? FLAG_PLAYING : 0) | (t.half_speed ? FLAG_HALF_SPEED : 0) |
                                        (t.looping ? FLAG_LOOPING : 0)));
    put_u32(out, static_cast<uint32_t>(t.looping ? t.loop_start : 0));
    put_u32(out, static_cast<uint32_t>(t.looping ? t.loop_end : 0));
}

void encode_link_report(std::vector<uint8_t> *out, const LinkReport &r)
{
    put_header(out, LINK_REPORT, LINK_REPORT_SIZE);
    uint64_t bits;
    std::memcpy(&bits, &r.seconds, 8);
    put_u64(out, bits);
    out->push_back(r.playing ? FLAG_PLAYING : 0);
    put_u32(out, r.changes);
    put_u32(out, r.frames);
    put_u32(out, r.age_us < LINK_MAX_REPORT_AGE_US ? r.age_us : LINK_MAX_REPORT_AGE_US);
}

void encode_link_too_large(std::vector<uint8_t> *out, const std::string &name, uint32_t count)
{
    put_header(out, LINK_TOO_LARGE, 1 + name.size() + 4);
    out->push_back(static_cast<uint8_t>(name.size()));
    out->insert(out->end(), name.begin(), name.end());
    put_u32(out, count);
}

// ---- Decoding -----------------------------------------------------------------

const char *link_token_fault(const std::string &token)
{
    if (token.size() > LINK_MAX_TOKEN)
        return "token longer than 64 bytes";
    for (char c : token)
        if (c < 0x21 || c > 0x7E)
            return "token byte that is not printable ASCII";
    return nullptr;
}

LinkParse parse_link_greeting(const uint8_t *bytes, size_t size, LinkGreeting *g, size_t *used,
                              std::string *error)
{
    // The magic is checked as soon as its bytes are in: a peer that speaks
    // something else is refused without waiting.
    for (size_t i = 0; i < 4 && i < size; i++)
        if (bytes[i] != LINK_MAGIC[i]) {
            *error = "greeting without the link's magic";
            return LINK_PARSE_BAD;
        }
    if (size < LINK_GREETING_SIZE)
        return LINK_PARSE_MORE;
    const size_t n = bytes[6];
    if (n > LINK_MAX_TOKEN) {
        *error = "greeting with a token of " + std::to_string(n) + " bytes (at most 64)";
        return LINK_PARSE_BAD;
    }
    if (size < LINK_GREETING_SIZE + n)
        return LINK_PARSE_MORE;
    std::string token(reinterpret_cast<const char *>(bytes + LINK_GREETING_SIZE), n);
    if (const char *fault = link_token_fault(token)) {
        *error = std::string("greeting with a ") + fault;
        return LINK_PARSE_BAD;
    }
    g->version = get_u16(bytes + 4);
    g->token = std::move(token);
    *used = LINK_GREETING_SIZE + n;
    return LINK_PARSE_OK;
}

// The payload lengths a type may have; false for a type unknown or not
// sent to `side`.
static bool length_range(uint8_t type, LinkSide side, size_t *lo, size_t *hi)
{
    switch (type) {
    case LINK_BYE: *lo = 0; *hi = LINK_MAX_REASON; return true;
    case LINK_GET_TRACK: *lo = 1; *hi = LINK_MAX_NAME; return side == LINK_AT_STUDIO;
    case LINK_TRACK: *lo = 1 + 1 + 4; *hi = LINK_MAX_MESSAGE - LINK_HEADER_SIZE; return side == LINK_AT_FOLLOWER;
    case LINK_TRANSPORT: *lo = *hi = LINK_TRANSPORT_SIZE; return side == LINK_AT_FOLLOWER;
    case LINK_REPORT: *lo = *hi = LINK_REPORT_SIZE; return side == LINK_AT_STUDIO;
    case LINK_TOO_LARGE: *lo = 1 + 1 + 4; *hi = 1 + LINK_MAX_NAME + 4; return side == LINK_AT_FOLLOWER;
    default: return false;
    }
}

LinkParse parse_link_frame(const uint8_t *bytes, size_t size, LinkSide side, LinkFrame *frame,
                           size_t *used, std::string *error)
{
    if (size < 1)
        return LINK_PARSE_MORE;
    size_t lo = 0, hi = 0;
    const bool known = length_range(bytes[0], side, &lo, &hi);
    if (!known) {
        const bool ours = bytes[0] >= LINK_BYE && bytes[0] <= LINK_TOO_LARGE;
        *error = (ours ? "message of type " : "unknown message type ") + std::to_string(bytes[0]) +
                 (ours ? " sent the wrong way" : "");
        return LINK_PARSE_BAD;
    }
    if (size < LINK_HEADER_SIZE)
        return LINK_PARSE_MORE;
    const uint32_t n = get_u32(bytes + 1);
    if (n < lo || n > hi) {
        *error = "message of type " + std::to_string(bytes[0]) + " with a length of " + std::to_string(n) +
                 " bytes (" + std::to_string(lo) + " to " + std::to_string(hi) + ")";
        return LINK_PARSE_BAD;
    }
    if (size - LINK_HEADER_SIZE < n)
        return LINK_PARSE_MORE;
    frame->type = static_cast<LinkType>(bytes[0]);
    frame->payload = bytes + LINK_HEADER_SIZE;
    frame->size = n;
    *used = LINK_HEADER_SIZE + n;
    return LINK_PARSE_OK;
}

bool decode_link_bye(const LinkFrame &f, std::string *reason, std::string *error)
{
    for (size_t i = 0; i < f.size; i++)
        if (f.payload[i] < 0x20 || f.payload[i] > 0x7E) {
            *error = "bye with a reason byte that is not printable ASCII";
            return false;
        }
    reason->assign(reinterpret_cast<const char *>(f.payload), f.size);
    return true;
}

// A name of 1..LINK_MAX_NAME bytes without a 0 byte.
static bool check_name(const uint8_t *p, size_t n, std::string *name, std::string *error)
{
    if (n < 1 || n > LINK_MAX_NAME) {
        *error = "track name of " + std::to_string(n) + " bytes (1 to 255)";
        return false;
    }
    if (std::memchr(p, 0, n)) {
        *error = "track name with a 0 byte";
        return false;
    }
    name->assign(reinterpret_cast<const char *>(p), n);
    return true;
}

bool decode_link_track_request(const LinkFrame &f, std::string *name, std::string *error)
{
    return check_name(f.payload, f.size, name, error);
}

bool decode_link_track(const LinkFrame &f, std::string *name, std::vector<SyncKey> *keys, std::string *error)
{
    const size_t n = f.payload[0];
    if (f.size < 1 + n + 4) {
        *error = "track message shorter than its name and count";
        return false;
    }
    if (!check_name(f.payload + 1, n, name, error))
        return false;
    const uint8_t *p = f.payload + 1 + n;
    const uint32_t count = get_u32(p);
    p += 4;
    if (count > LINK_MAX_KEYS) {
        *error = "track \"" + link_printable(*name) + "\" with " + std::to_string(count) + " keys (at most 100000)";
        return false;
    }
    if (f.size != 1 + n + 4 + LINK_KEY_SIZE * size_t(count)) {
        *error = "track \"" + link_printable(*name) + "\" whose length does not match its " +
                 std::to_string(count) + " keys";
        return false;
    }
    keys->resize(count);
    for (uint32_t i = 0; i < count; i++, p += LINK_KEY_SIZE) {
        SyncKey &k = (*keys)[i];
        k.row = static_cast<int32_t>(get_u32(p));
        const uint32_t bits = get_u32(p + 4);
        std::memcpy(&k.value, &bits, 4);
        k.kind = p[8];
        const char *fault = nullptr;
        if (i > 0 && k.row <= (*keys)[i - 1].row)
            fault = "a row not after the one before";
        else if (!std::isfinite(k.value))
            fault = "a value that is not finite";
        else if (k.kind > INTERP_QUADRATIC)
            fault = "an unknown kind";
        if (fault) {
            *error = "track \"" + link_printable(*name) + "\": key " + std::to_string(i) + " has " + fault;
            keys->clear();
            return false;
        }
    }
    return true;
}

bool decode_link_transport(const LinkFrame &f, LinkTransport *t, std::string *error)
{
    const uint64_t bits = get_u64(f.payload);
    double seconds;
    std::memcpy(&seconds, &bits, 8);
    const uint8_t flags = f.payload[8];
    const int32_t start = static_cast<int32_t>(get_u32(f.payload + 9));
    const int32_t end = static_cast<int32_t>(get_u32(f.payload + 13));
    // Written so that NaN fails the test.
    if (!(seconds >= 0.0 && seconds <= LINK_MAX_SECONDS)) {
        *error = "transport with a time that is not between 0 and 10000000 seconds";
        return false;
    }
    if (flags & ~(FLAG_PLAYING | FLAG_HALF_SPEED | FLAG_LOOPING)) {
        *error = "transport with unknown flags";
        return false;
    }
    const bool looping = flags & FLAG_LOOPING;
    if (looping ? !(start >= 0 && start < end) : (start != 0 || end != 0)) {
        *error = looping ? "transport with a loop that does not run forwards from row 0 or later"
                         : "transport with loop rows but no loop";
        return false;
    }
    t->seconds = seconds;
    t->playing = flags & FLAG_PLAYING;
    t->half_speed = flags & FLAG_HALF_SPEED;
    t->looping = looping;
    t->loop_start = start;
    t->loop_end = end;
    return true;
}

bool decode_link_report(const LinkFrame &f, LinkReport *r, std::string *error)
{
    const uint64_t bits = get_u64(f.payload);
    double seconds;
    std::memcpy(&seconds, &bits, 8);
    if (!(seconds >= 0.0 && seconds <= LINK_MAX_SECONDS)) { // NaN fails too
        *error = "report with a time that is not between 0 and 10000000 seconds";
        return false;
    }
    if (f.payload[8] & ~FLAG_PLAYING) {
        *error = "report with unknown flags";
        return false;
    }
    const uint32_t age = get_u32(f.payload + 17);
    if (age > LINK_MAX_REPORT_AGE_US) {
        *error = "report with an age over 10 s";
        return false;
    }
    r->seconds = seconds;
    r->playing = f.payload[8] & FLAG_PLAYING;
    r->changes = get_u32(f.payload + 9);
    r->frames = get_u32(f.payload + 13);
    r->age_us = age;
    return true;
}

bool decode_link_too_large(const LinkFrame &f, std::string *name, uint32_t *count, std::string *error)
{
    const size_t n = f.payload[0];
    if (f.size != 1 + n + 4) {
        *error = "track-too-large message whose length does not match its name";
        return false;
    }
    if (!check_name(f.payload + 1, n, name, error))
        return false;
    *count = get_u32(f.payload + 1 + n);
    if (*count <= LINK_MAX_KEYS) {
        *error = "track \"" + link_printable(*name) + "\" too large with " + std::to_string(*count) +
                 " keys (more than 100000 only)";
        return false;
    }
    return true;
}

std::string link_printable(const std::string &name)
{
    static const char HEX[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < name.size(); i++) {
        if (i == 64) {
            out += "...";
            break;
        }
        const uint8_t c = static_cast<uint8_t>(name[i]);
        if (c >= 0x20 && c <= 0x7E && c != '\\' && c != '"') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += HEX[c >> 4];
            out += HEX[c & 15];
        }
    }
    return out;
}
