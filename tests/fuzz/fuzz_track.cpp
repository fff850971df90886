// A .track file given as bytes: loaded through the device, then read with
// track_value_at at hostile rows. Invariants: never more keys than the file
// holds, rows strictly increasing, the first value before the first key and
// for NaN, the last value from the last key on, 0.0 in a segment of unknown
// kind, and otherwise a result within the two keys' values when both are
// finite.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "fuzz_check.h"
#include "sync/device.h"

namespace {

const unsigned char *g_data;
size_t g_size;

// The device's file opener, serving the fuzz input from memory.
FILE *open_input(const char *, const char *)
{
    if (g_size == 0)
        return std::fopen("/dev/null", "rb");
    return fmemopen(const_cast<unsigned char *>(g_data), g_size, "rb");
}

bool same(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

void check_row(const SyncTrack *t, double row)
{
    const double v = track_value_at(t, row);
    const int n = t->key_count;
    if (n == 0) {
        FUZZ_CHECK(v == 0.0);
        return;
    }
    const SyncKey *k = t->keys;
    if (std::isnan(row) || row < k[0].row) {
        FUZZ_CHECK(same(v, k[0].value));
        return;
    }
    if (row >= k[n - 1].row) {
        FUZZ_CHECK(same(v, k[n - 1].value));
        return;
    }
    const SyncKey *next = std::upper_bound(k, k + n, row, [](double r, const SyncKey &key) {
        return r < key.row;
    });
    const SyncKey &a = next[-1], &b = next[0];
    if (a.kind < INTERP_HOLD || a.kind > INTERP_QUADRATIC) {
        FUZZ_CHECK(v == 0.0);
        return;
    }
    if (std::isfinite(a.value) && std::isfinite(b.value)) {
        const double lo = std::fmin(a.value, b.value), hi = std::fmax(a.value, b.value);
        FUZZ_CHECK(v >= lo && v <= hi);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size)
{
    g_data = data;
    g_size = size;
    SyncDevice *d = create_sync_device("sync");
    if (!d)
        return 0;
    d->open_file = open_input;
    const SyncTrack *t = open_track(d, "scene");
    FUZZ_CHECK(t != nullptr);
    FUZZ_CHECK(t->key_count >= 0);
    FUZZ_CHECK(size < 4 || static_cast<size_t>(t->key_count) <= (size - 4) / TRACK_KEY_FILE_SIZE);
    FUZZ_CHECK(size >= 4 || t->key_count == 0);
    for (int i = 1; i < t->key_count; i++)
        FUZZ_CHECK(t->keys[i - 1].row < t->keys[i].row);

    const double inf = std::numeric_limits<double>::infinity();
    const double fixed[] = {std::numeric_limits<double>::quiet_NaN(), inf, -inf, 1e30, -1e30,
                            -2147483649.0, -2147483648.5, -2147483648.0, -0.5, 0.0, 0.5,
                            2147483647.0, 2147483647.5, 2147483648.0, 1e300, -1e300};
    for (double row : fixed)
        check_row(t, row);
    for (int i = 0; i < t->key_count; i++) {
        const double r = t->keys[i].row;
        for (double off : {-1.0, -0.5, -1e-9, 0.0, 1e-9, 0.25, 0.5, 0.999999})
            check_row(t, r + off);
        if (i + 1 < t->key_count) {
            const double next = t->keys[i + 1].row;
            check_row(t, r + (next - r) / 2);
            check_row(t, std::nextafter(next, r));
        }
    }
    destroy_sync_device(d);
    return 0;
}
