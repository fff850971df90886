// fuzz_check.h - the invariant check of the fuzz targets: a broken invariant
// is a crash, so the fuzzer keeps the input and the replay test fails.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                     \
    do {                                                                                     \
        if (!(cond)) {                                                                       \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                    \
        }                                                                                    \
    } while (0)

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size);
