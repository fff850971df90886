// Timeline source given as text: parsing must not crash, its messages hold
// no NUL byte (control bytes of the source are shown escaped), and for every
// source that compiles, compile -> dump -> compile gives the same track bytes.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "timeline/timeline.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    Timeline first;
    std::string errors;
    if (!parse_timeline(text, "fuzz.txt", &first, &errors)) {
        FUZZ_CHECK(!errors.empty());
        FUZZ_CHECK(errors.find('\0') == std::string::npos);
        return 0;
    }
    std::vector<uint8_t> bytes[TIMELINE_TRACK_COUNT];
    std::string dumped;
    for (int i = 0; i < TIMELINE_TRACK_COUNT; i++) {
        bytes[i] = encode_track(first.tracks[i].keys);
        std::vector<SyncKey> keys;
        std::string error;
        FUZZ_CHECK(decode_track(bytes[i].data(), bytes[i].size(), &keys, &error));
        dumped += format_track(TimelineTrackNames[i], keys);
    }
    Timeline second;
    FUZZ_CHECK(parse_timeline(dumped, "dumped.txt", &second, &errors));
    for (int i = 0; i < TIMELINE_TRACK_COUNT; i++)
        FUZZ_CHECK(encode_track(second.tracks[i].keys) == bytes[i]);
    return 0;
}
