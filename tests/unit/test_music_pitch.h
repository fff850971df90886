// test_music_pitch.h - pitch measurement for the soundtrack tests: a plain
// autocorrelation, independent of the synthesizer's own code.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

// The period in frames of the signal in [from, to): the shortest lag in
// [min_lag, max_lag] whose autocorrelation comes within 10% of the best one
// (the best alone may be a multiple of the period), moved to the top of its
// peak.
inline int period_of(const std::vector<float> &v, size_t from, size_t to, int min_lag, int max_lag)
{
    std::vector<double> score(static_cast<size_t>(max_lag + 1), 0.0);
    double best = 0.0;
    for (int lag = min_lag; lag <= max_lag; ++lag) {
        double dot = 0.0, energy = 0.0;
        for (size_t i = from; i + lag < to && i + lag < v.size(); ++i) {
            dot += double{v[i]} * v[i + lag];
            energy += double{v[i + lag]} * v[i + lag];
        }
        score[lag] = energy > 0.0 ? dot / std::sqrt(energy) : 0.0;
        best = std::max(best, score[lag]);
    }
    for (int lag = min_lag; lag <= max_lag; ++lag)
        if (score[lag] >= 0.9 * best) {
            while (lag < max_lag && score[lag + 1] > score[lag])
                ++lag;
            return lag;
        }
    return 0;
}
