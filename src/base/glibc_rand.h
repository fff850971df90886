// glibc_rand.h - the sequence of the GNU C library's rand(): its default
// additive feedback generator (31 words, taps 3 apart, seeded by the
// 16807-multiplier LCG, the first 310 outputs dropped).
//
// The fire scene draws from the C library's rand(). Builds on another C
// library (the web build's musl) use this to draw exactly the numbers the
// desktop program draws on glibc.
#pragma once

#include <cstdint>

struct GlibcRand {
    uint32_t word[31];
    int front; // index of the word updated next
    int rear;  // index of the word added to it
};

inline int glibc_rand(GlibcRand *g)
{
    g->word[g->front] += g->word[g->rear];
    const int result = static_cast<int>(g->word[g->front] >> 1);
    g->front = (g->front + 1) % 31;
    g->rear = (g->rear + 1) % 31;
    return result;
}

// Seed 0 counts as 1, as in glibc; an unseeded generator there is seeded 1.
inline void glibc_srand(GlibcRand *g, unsigned seed)
{
    int32_t word = seed == 0 ? 1 : static_cast<int32_t>(seed);
    g->word[0] = static_cast<uint32_t>(word);
    for (int i = 1; i < 31; i++) {
        // 16807 * word mod (2^31 - 1) without overflow (Schrage's method).
        const int32_t hi = word / 127773;
        const int32_t lo = word % 127773;
        word = 16807 * lo - 2836 * hi;
        if (word < 0)
            word += 2147483647;
        g->word[i] = static_cast<uint32_t>(word);
    }
    g->front = 3;
    g->rear = 0;
    for (int i = 0; i < 310; i++)
        glibc_rand(g);
}
