#pragma once
// What a fuzz target asserts beyond the sanitizers: a broken promise of the parser
// (a result outside its input, a round trip that changes what it carries) aborts,
// so libFuzzer keeps the input and the replay test fails on it. Independent of
// NDEBUG.
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                              \
    do {                                                                                   \
        if (!(condition)) {                                                                \
            std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", __FILE__, __LINE__,    \
                         #condition);                                                      \
            std::abort();                                                                  \
        }                                                                                  \
    } while (false)
