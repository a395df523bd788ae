// The entry point libFuzzer calls, built once for each target with
// TOLVANE_FUZZ_TARGET set to the target's function. An exception that
// escapes a target is a broken promise like any other.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "fuzz/fail.hpp"
#include "fuzz/targets.hpp"

#ifndef TOLVANE_FUZZ_TARGET
#error "TOLVANE_FUZZ_TARGET names the target this executable fuzzes"
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        tolvane::fuzz::TOLVANE_FUZZ_TARGET(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const std::exception& error) {
        tolvane::fuzz::fail(std::string("an exception escaped the target: ") + error.what());
    }
    return 0;
}
