// Shared by the fuzz targets: a check that stops the run with the failed
// condition and its place, so that libFuzzer saves the input as a crash.
#pragma once
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                              \
    do {                                                                   \
        if (!(condition)) {                                                \
            std::fprintf(stderr, "invariant broken: %s (%s:%d)\n",         \
                         #condition, __FILE__, __LINE__);                  \
            std::abort();                                                  \
        }                                                                  \
    } while (0)
