// streak_reference.h - one pixel of the streak pattern, its formula written
// out plainly (for small H), as the tests' independent reference.
#pragma once

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>

inline bool reference_streak_white(int q, int r, int h)
{
    const double amp = std::fabs(std::cos(static_cast<double>(h + 300)));
    const double a = std::cos(std::tan(0.2 * q + h));
    const double b = std::cos(static_cast<double>(q * h) * 0.01 + r * 0.1);
    const double t = std::tan(q * 0.01 + a * ((b * h) * 0.00009));
    const float f = static_cast<float>(r) * 0.05f + static_cast<float>(h);
    const double u = std::cos(std::tan(q * 100.01) + f) * 255;
    const double s = std::sin((amp * q - 40) * static_cast<double>(0.05f));
    const double product = t * (u * s);
    long long n = (product > -2147483649.0 && product < 2147483648.0) ? static_cast<long long>(product)
                                                                        : INT_MIN;
    const int d = std::abs(50 - r);
    if (d > 20)
        n = static_cast<int32_t>(static_cast<uint32_t>(n + (20 - d) * 80));
    return n >= 255;
}
