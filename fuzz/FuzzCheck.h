// A broken invariant found while fuzzing: says which one on stderr and aborts, so that libFuzzer
// keeps the input as a crash reproducer.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void fuzzCheck(bool holds, const char* invariant) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", invariant);
    std::abort();
}
