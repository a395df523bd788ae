// Values of number tokens. Locale-independent and never throwing: a text
// that cannot be represented reads as 0 (or 0.0) and says why, so that the
// parser can report it.
#pragma once

#include <cstdint>
#include <string_view>

namespace tolvane {

enum class NumberProblem {
    None,
    NoDigits,    // nothing to convert, such as a bare "0x"
    OutOfRange,  // too large for the target type
};

struct IntegerValue {
    std::int32_t value = 0;
    NumberProblem problem = NumberProblem::None;
};

struct RealValue {
    double value = 0.0;
    NumberProblem problem = NumberProblem::None;
};

// The text of an Integer token as a 32-bit signed integer: base 16 after a
// "0x" or "0X" prefix with at least one digit, base 10 otherwise; an optional
// sign; whatever follows the digits is ignored (as strtol does).
IntegerValue integer_value(std::string_view text);

// The text of an Integer or Real token as a double, as strtod reads it: the
// longest valid prefix, decimal or hexadecimal. Overflow is a problem;
// underflow (a non-zero value below the smallest normal double) reads as 0.0
// without one.
RealValue number_value(std::string_view text);

}  // namespace tolvane
