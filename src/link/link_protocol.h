// link_protocol.h - the bytes of the editor link between the studio and a
// following demo (docs/link-protocol.md is the table of every message).
//
// Pure functions over byte buffers, no sockets: the encoders append one
// greeting or message to a vector; the decoders take what has arrived so far
// and say whether it holds a whole greeting or message, needs more bytes, or
// is wrong, with one line naming the fault. Every check of the table is made
// here, so both sides refuse the same things.
//
// Reading a stream: parse_link_greeting once, then parse_link_frame over
// and over; each whole frame's payload goes to the decoder of its type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sync/track.h"

constexpr uint16_t LINK_VERSION = 2;
constexpr int LINK_DEFAULT_PORT = 7727;

enum : size_t {
    LINK_MAX_NAME = 255,      // bytes of a track name
    LINK_MAX_KEYS = 100000,   // keys of one track message
    LINK_MAX_TOKEN = 64,      // bytes of a token
    LINK_MAX_REASON = 200,    // bytes of a bye's reason
    LINK_HEADER_SIZE = 5,     // type byte and 32-bit length
    LINK_GREETING_SIZE = 7,   // greeting without its token
    LINK_KEY_SIZE = 9,        // row, value, kind
    LINK_TRANSPORT_SIZE = 17, // payload of a transport message
    LINK_REPORT_SIZE = 21,    // payload of a report
    // A track of the longest name and the most keys, with its header.
    LINK_MAX_MESSAGE = LINK_HEADER_SIZE + 1 + LINK_MAX_NAME + 4 + LINK_KEY_SIZE * LINK_MAX_KEYS,
};

enum LinkType : uint8_t {
    LINK_BYE = 1,           // either way: the reason the sender closes
    LINK_GET_TRACK = 2,     // follower to studio: a track's name
    LINK_TRACK = 3,         // studio to follower: a track's whole key list
    LINK_TRANSPORT = 4,     // studio to follower: time, playing, speed, loop
    LINK_REPORT = 5,        // follower to studio: what its last frame showed
    LINK_TOO_LARGE = 6,     // studio to follower: a track over LINK_MAX_KEYS, not sent
};

// Who reads: each side accepts only the types sent its way.
enum LinkSide { LINK_AT_STUDIO, LINK_AT_FOLLOWER };

enum LinkParse {
    LINK_PARSE_MORE, // not whole yet: wait for more bytes
    LINK_PARSE_OK,   // one whole greeting or frame
    LINK_PARSE_BAD,  // wrong: *error names the fault; close the link
};

struct LinkGreeting {
    uint16_t version = 0;
    std::string token;
};

// One message as it arrived: its type and payload (inside the caller's buffer).
struct LinkFrame {
    LinkType type = LINK_BYE;
    const uint8_t *payload = nullptr;
    size_t size = 0;
};

// The studio's transport.
struct LinkTransport {
    double seconds = 0.0;   // music time, 0..LINK_MAX_SECONDS
    bool playing = false;
    bool half_speed = false;
    bool looping = false;
    int32_t loop_start = 0; // rows; both 0 when not looping
    int32_t loop_end = 0;   // rows, exclusive
};
constexpr double LINK_MAX_SECONDS = 1e7;

// What a follower drew: sent once a second and right after the first frame
// that shows a track message it took.
struct LinkReport {
    double seconds = 0.0;   // music time of the frame, 0..LINK_MAX_SECONDS
    bool playing = false;
    uint32_t changes = 0;   // track messages taken since the greeting when it drew it
    uint32_t frames = 0;    // frames drawn since the greeting, that one included
    uint32_t age_us = 0;    // from the frame's time stamp to the sending, 0..LINK_MAX_REPORT_AGE_US
};
constexpr uint32_t LINK_MAX_REPORT_AGE_US = 10000000; // 10 s: a longer frame is reported as this

// ---- Encoding: each appends to `out` -----------------------------------------

// The greeting with this side's version; the studio's token is empty. The
// token must be valid (link_token_fault gives null).
void encode_link_greeting(std::vector<uint8_t> *out, uint16_t version, const std::string &token);
void encode_link_bye(std::vector<uint8_t> *out, const std::string &reason);     // cut to LINK_MAX_REASON
void encode_link_track_request(std::vector<uint8_t> *out, const std::string &name);
// The keys must be what decode_link_track accepts (the studio's own tracks are).
void encode_link_track(std::vector<uint8_t> *out, const std::string &name, const SyncKey *keys, size_t count);
void encode_link_transport(std::vector<uint8_t> *out, const LinkTransport &t);
void encode_link_report(std::vector<uint8_t> *out, const LinkReport &r);
// A track of `count` keys, count over LINK_MAX_KEYS.
void encode_link_too_large(std::vector<uint8_t> *out, const std::string &name, uint32_t count);

// ---- Decoding ---------------------------------------------------------------

// Null when `token` may be sent, otherwise what is wrong with it.
const char *link_token_fault(const std::string &token);

// A greeting at the start of `bytes`; on OK, *used is its size. A version
// other than ours is OK here: the caller decides.
LinkParse parse_link_greeting(const uint8_t *bytes, size_t size, LinkGreeting *g, size_t *used,
                              std::string *error);

// A message at the start of `bytes`, read by `side`; on OK, *used is its
// whole size. A wrong type, direction or length is BAD as soon as the header
// is in, whatever follows.
LinkParse parse_link_frame(const uint8_t *bytes, size_t size, LinkSide side, LinkFrame *frame,
                           size_t *used, std::string *error);

// The payload decoders; false with *error set when the payload is wrong.
bool decode_link_bye(const LinkFrame &f, std::string *reason, std::string *error);
bool decode_link_track_request(const LinkFrame &f, std::string *name, std::string *error);
bool decode_link_track(const LinkFrame &f, std::string *name, std::vector<SyncKey> *keys, std::string *error);
bool decode_link_transport(const LinkFrame &f, LinkTransport *t, std::string *error);
bool decode_link_report(const LinkFrame &f, LinkReport *r, std::string *error);
bool decode_link_too_large(const LinkFrame &f, std::string *name, uint32_t *count, std::string *error);

// A track name for a message line: printable ASCII as it is, other bytes as
// \xNN, cut after 64 bytes with "...".
std::string link_printable(const std::string &name);
