#pragma once
// A broken invariant ends the fuzzer's run with the input saved as a finding.
#include <cstdio>
#include <cstdlib>

inline void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}
