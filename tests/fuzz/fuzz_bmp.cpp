// A BMP given as bytes: through the loader's header check, SDL's decoder and
// the conversion to 24-bit colour, then every pixel read by the pixel
// reading rule and the house mask built from an image large enough.
#include <SDL.h>

#include <cstdint>

#include "state/state.h"
#include "app/tables.h"
#include "fuzz_check.h"
#include "gfx/image.h"

// Pictures larger than this are refused here to keep each run fast (the
// house mask's 160x101 still fits); the loader's own limit and the terrain
// maps are checked by the unit tests.
constexpr int FUZZ_MAX_SIDE = 256;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size)
{
    if (size == 0 || size > 1u << 24)
        return 0;
    SDL_Surface *s = read_bmp(SDL_RWFromConstMem(data, static_cast<int>(size)), "fuzz.bmp",
                              FUZZ_MAX_SIDE);
    if (!s) {
        FUZZ_CHECK(SDL_GetError()[0] != '\0');
        return 0;
    }
    s = convert_to_rgb24(s, "fuzz.bmp");
    if (!s)
        return 0;
    FUZZ_CHECK(s->format->BytesPerPixel == 3);
    uint32_t sum = 0;
    for (int y = 0; y < s->h; y++)
        for (int x = 0; x < s->w; x++) {
            const uint32_t v = read_pixel(s, x, y);
            FUZZ_CHECK(v <= 0xFFFFFF);
            sum += v;
        }
    if (s->w >= HOUSE_MIN_W && s->h >= HOUSE_MIN_H) {
        static uint8_t mask[HOUSEMASK_W * HOUSEMASK_H];
        build_house_mask(s, mask);
        for (uint8_t m : mask)
            FUZZ_CHECK(m == 0 || m == 0xE0 || m == 0xC0);
    }
    SDL_FreeSurface(s);
    return sum == 0xFFFFFFFFu; // always 0 in practice; keeps the reads alive
}
