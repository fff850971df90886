// Bytes as the editor link would receive them: the first byte picks the side
// that reads (even: the studio, odd: a follower), the rest is the stream,
// read as the link reads it (a greeting, then messages) and also cut into
// two arrivals at a point the input chooses. Invariants: a parse never
// consumes more than it was given; a split stream parses to the same result
// as a whole one; every message a decoder accepts encodes back to exactly
// its bytes (nothing is accepted that the sender could not have written),
// and accepted tracks have strictly increasing rows, finite values and
// known kinds.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "link/link_protocol.h"

namespace {

// Decodes one frame and checks that it encodes back to the same bytes.
// False when the payload is refused.
bool check_frame(const LinkFrame &f, const uint8_t *whole, size_t used)
{
    const std::vector<uint8_t> original(whole, whole + used);
    std::vector<uint8_t> again;
    std::string error;
    switch (f.type) {
    case LINK_BYE: {
        std::string reason;
        if (!decode_link_bye(f, &reason, &error))
            return false;
        encode_link_bye(&again, reason);
        break;
    }
    case LINK_GET_TRACK: {
        std::string name;
        if (!decode_link_track_request(f, &name, &error))
            return false;
        FUZZ_CHECK(!name.empty() && name.size() <= LINK_MAX_NAME && name.find('\0') == std::string::npos);
        encode_link_track_request(&again, name);
        break;
    }
    case LINK_TRACK: {
        std::string name;
        std::vector<SyncKey> keys;
        if (!decode_link_track(f, &name, &keys, &error))
            return false;
        FUZZ_CHECK(keys.size() <= LINK_MAX_KEYS);
        for (size_t i = 0; i < keys.size(); i++) {
            FUZZ_CHECK(std::isfinite(keys[i].value));
            FUZZ_CHECK(keys[i].kind >= INTERP_HOLD && keys[i].kind <= INTERP_QUADRATIC);
            FUZZ_CHECK(i == 0 || keys[i - 1].row < keys[i].row);
        }
        encode_link_track(&again, name, keys.data(), keys.size());
        break;
    }
    case LINK_TRANSPORT: {
        LinkTransport t;
        if (!decode_link_transport(f, &t, &error))
            return false;
        FUZZ_CHECK(t.seconds >= 0.0 && t.seconds <= LINK_MAX_SECONDS);
        FUZZ_CHECK(!t.looping || (t.loop_start >= 0 && t.loop_start < t.loop_end));
        encode_link_transport(&again, t);
        break;
    }
    case LINK_REPORT: {
        LinkReport r;
        if (!decode_link_report(f, &r, &error))
            return false;
        FUZZ_CHECK(r.seconds >= 0.0 && r.seconds <= LINK_MAX_SECONDS && r.age_us <= LINK_MAX_REPORT_AGE_US);
        encode_link_report(&again, r);
        break;
    }
    case LINK_TOO_LARGE: {
        std::string name;
        uint32_t count = 0;
        if (!decode_link_too_large(f, &name, &count, &error))
            return false;
        FUZZ_CHECK(count > LINK_MAX_KEYS && !name.empty() && name.find('\0') == std::string::npos);
        encode_link_too_large(&again, name, count);
        break;
    }
    }
    FUZZ_CHECK(again == original);
    return true;
}

// Reads the stream as the link does; returns what the reads gave, as a
// trace that two ways of delivering the same bytes must agree on.
std::string read_stream(const uint8_t *data, size_t size, LinkSide side)
{
    std::string trace;
    LinkGreeting g;
    size_t used = 0;
    std::string error;
    const LinkParse r = parse_link_greeting(data, size, &g, &used, &error);
    if (r != LINK_PARSE_OK)
        return trace + (r == LINK_PARSE_MORE ? "g-more" : "g-bad:" + error);
    FUZZ_CHECK(used <= size && used >= LINK_GREETING_SIZE);
    FUZZ_CHECK(g.token.size() <= LINK_MAX_TOKEN && link_token_fault(g.token) == nullptr);
    size_t at = used;
    while (true) {
        LinkFrame f;
        used = 0;
        const LinkParse p = parse_link_frame(data + at, size - at, side, &f, &used, &error);
        if (p == LINK_PARSE_MORE)
            return trace + "more";
        if (p == LINK_PARSE_BAD)
            return trace + "bad:" + error;
        FUZZ_CHECK(used >= LINK_HEADER_SIZE && used <= size - at && used <= LINK_MAX_MESSAGE);
        FUZZ_CHECK(f.payload == data + at + LINK_HEADER_SIZE && f.size == used - LINK_HEADER_SIZE);
        if (!check_frame(f, data + at, used))
            return trace + "refused";
        trace += std::to_string(f.type) + ",";
        at += used;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size)
{
    if (size < 2)
        return 0;
    const LinkSide side = data[0] & 1 ? LINK_AT_FOLLOWER : LINK_AT_STUDIO;
    const size_t split = data[1] % (size - 1);
    const uint8_t *stream = data + 2;
    const size_t n = size - 2;
    const std::string whole = read_stream(stream, n, side);
    // The first `split` bytes alone: a prefix of the same reads, ending where
    // the bytes ran out (or at the same fault, reached earlier).
    const std::string part = read_stream(stream, split < n ? split : n, side);
    const size_t cut = part.rfind(',');
    const std::string settled = cut == std::string::npos ? "" : part.substr(0, cut + 1);
    FUZZ_CHECK(whole.compare(0, settled.size(), settled) == 0);
    if (part.find("bad:") != std::string::npos || part.find("refused") != std::string::npos)
        FUZZ_CHECK(whole.compare(0, part.size(), part) == 0);
    return 0;
}
