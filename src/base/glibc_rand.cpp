// glibc_rand.cpp - rand() and srand() with glibc's sequence in place of the
// C library's own, for the builds whose C library draws other numbers (the
// web build's musl, the Windows C library): the fire scene's random rows
// would differ from the desktop program's. Defining both here keeps the
// library's versions out of the link.
#include <cstdlib>

#include "base/glibc_rand.h"

static GlibcRand State;
static bool Seeded = false;

extern "C" void srand(unsigned seed)
{
    glibc_srand(&State, seed);
    Seeded = true;
}

extern "C" int rand(void)
{
    if (!Seeded)
        srand(1);
    return glibc_rand(&State);
}
