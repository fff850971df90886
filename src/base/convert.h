// convert.h - the one place where floating-point values become integers.
//
// Every float-to-integer conversion in the demo goes through these helpers so
// that NaN, infinities and out-of-range values have a defined result instead of
// undefined behaviour. The rule matches what x86-64 truncating conversions
// produce: a value that is not a number or whose truncation does not fit in a
// signed 32-bit integer gives -2147483648 ("integer indefinite").
#pragma once

#include <cmath>
#include <cstdint>

// Truncates toward zero to a signed 32-bit integer; NaN and values whose
// truncation lies outside [-2^31, 2^31 - 1] give INT32_MIN.
inline int32_t to_int32(double v)
{
    if (!(v > -2147483649.0 && v < 2147483648.0))
        return INT32_MIN;
    return static_cast<int32_t>(v);
}

// A colour channel from a track value: truncated toward zero, low 8 bits kept.
// NaN and huge values give 0 (the low byte of INT32_MIN).
inline uint8_t channel_from_value(float v)
{
    return static_cast<uint8_t>(static_cast<uint32_t>(to_int32(v)) & 0xFFu);
}

// The low 32 bits of the truncation toward zero of v, as an unsigned number
// (two's complement for negative values). Exact for every finite double;
// NaN and infinities give 0.
inline uint32_t low32_of_trunc(double v)
{
    if (!std::isfinite(v))
        return 0;
    const double two32 = 4294967296.0;
    double r = std::fmod(std::trunc(v), two32); // exact, sign of v
    if (r < 0)
        r += two32;
    return static_cast<uint32_t>(r);
}
