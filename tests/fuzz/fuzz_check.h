// A failed expectation in a fuzz target: say which, then crash, so libFuzzer
// keeps the input that led there.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                   \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::fprintf(stderr, "%s:%d: expected %s\n", __FILE__, __LINE__, #condition);       \
            std::abort();                                                                       \
        }                                                                                       \
    } while (false)
