// The web build's replacement rand() must draw glibc's sequence: checked here
// against the desktop's own std::rand() (glibc).
#include <gtest/gtest.h>

#include <cstdlib>

#include "base/glibc_rand.h"

TEST(GlibcRand, DrawsTheSameSequenceAsTheDesktopCLibrary)
{
#ifndef __GLIBC__
    GTEST_SKIP() << "the reference is glibc's rand()";
#endif
    // 0 is taken as 1; a large seed exercises the negative branch of the LCG.
    for (unsigned seed : {0u, 1u, 1234u, 4000000000u}) {
        GlibcRand g;
        glibc_srand(&g, seed);
        std::srand(seed);
        for (int i = 0; i < 2000; i++)
            ASSERT_EQ(glibc_rand(&g), std::rand()) << "seed " << seed << ", draw " << i;
    }
}
