// Values of number tokens: integer_value (strtol rules, 32-bit range) and
// number_value (strtod rules, double range), both sides of every boundary
// (values that cannot be represented read as 0 and say why).
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>
#include <string>
#include <tuple>

#include "parser/numbers.hpp"

namespace {

using tolvane::NumberProblem;

constexpr NumberProblem ok = NumberProblem::None;
constexpr NumberProblem range = NumberProblem::OutOfRange;

TEST(IntegerValue, StrtolRulesWithin32Bits) {
    const std::tuple<std::string, std::int32_t, NumberProblem> cases[] = {
        {"007", 7, ok},
        {"-0", 0, ok},
        {"+5", 5, ok},
        {"12x", 12, ok},  // whatever follows the digits is ignored
        {"2147483647", 2147483647, ok},
        {"2147483648", 0, range},
        {"-2147483648", INT32_MIN, ok},
        {"-2147483649", 0, range},
        {"000000000000000000000000002147483647", 2147483647, ok},
        {"3000000000", 0, range},
        {"4294967297", 0, range},            // 2^32 + 1: would wrap to 1
        {"18446744073709551617", 0, range},  // 2^64 + 1: would wrap to 1 in 64 bits
        {std::string(400, '9'), 0, range},
        {"0XaB", 171, ok},
        {"0x7FFFFFFF", 2147483647, ok},
        {"0x80000000", 0, range},
        {"0xFFFFFFFF", 0, range},  // no two's-complement reading
        {"0x100000000", 0, range},
        {"0x10000000000000001", 0, range},           // 2^64 + 1
        {"0x" + std::string(40, '0') + "1", 1, ok},  // leading zeros are no overflow
        {"0x", 0, NumberProblem::NoDigits},
        {"0X", 0, NumberProblem::NoDigits},
    };
    for (const auto& [text, value, problem] : cases) {
        const auto reading = tolvane::integer_value(text);
        EXPECT_EQ(reading.value, value) << text;
        EXPECT_EQ(reading.problem, problem) << text;
    }
}

TEST(NumberValue, StrtodRulesWithinTheDoubleRange) {
    const std::tuple<std::string, double, NumberProblem> cases[] = {
        {"-0", 0.0, ok},
        {"2.5", 2.5, ok},
        {".5", 0.5, ok},
        {"5.", 5.0, ok},
        {"1e5.5", 1e5, ok},  // the longest valid prefix
        {"0x10", 16.0, ok},
        {"0xFFFFFFFF", 4294967295.0, ok},
        {"0x1e5", 485.0, ok},  // hexadecimal digits, not an exponent
        {"0x", 0.0, ok},
        {"12345678901234567890", 12345678901234567890.0, ok},
        {"1.7976931348623157e308", DBL_MAX, ok},
        {"1.7976931348623159e308", 0.0, range},
        {"1e400", 0.0, range},
        {"-1e400", 0.0, range},
        {"1" + std::string(400, '0'), 0.0, range},
        {"0x1" + std::string(256, '0'), 0.0, range},  // 2^1024
        {"1e0000000000000000000400", 0.0, range},
        {"1e99999999999999999999", 0.0, range},
        {"0.005e310", 5e307, ok},  // a fraction with a large exponent
        {"0.5e309", 0.0, range},
        {"1" + std::string(400, '0') + "e-390", 1e10, ok},
        {"0." + std::string(399, '0') + "1e400", 1.0, ok},
        {"2.2250738585072014e-308", DBL_MIN, ok},  // the smallest normal double is kept
        {"1e-310", 0.0, ok},                       // below it: underflow, 0.0 without a problem
        {"1e-400", 0.0, ok},
        {"0." + std::string(400, '0') + "1", 0.0, ok},
        {"1e-99999999999999999999", 0.0, ok},
    };
    for (const auto& [text, value, problem] : cases) {
        const auto reading = tolvane::number_value(text);
        EXPECT_EQ(reading.value, value) << text;
        EXPECT_EQ(reading.problem, problem) << text;
    }
}

}  // namespace
