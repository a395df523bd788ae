// How the fuzz target reports a broken promise: a message on standard error,
// then abort(), which libFuzzer and the replay both report as a crash with the
// input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace tolvane::fuzz {

[[noreturn]] inline void fail(std::string_view what) {
    std::fprintf(stderr, "fuzz check failed: %.*s\n", static_cast<int>(what.size()), what.data());
    std::abort();
}

inline void require(bool holds, std::string_view what) {
    if (!holds) {
        fail(what);
    }
}

}  // namespace tolvane::fuzz
