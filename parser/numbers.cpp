#include "parser/numbers.hpp"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "lexer/char_class.hpp"

namespace tolvane {

namespace {

struct Sign {
    bool negative = false;
    std::string_view rest;
};

Sign take_sign(std::string_view text) {
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        return {text.front() == '-', text.substr(1)};
    }
    return {false, text};
}

bool has_hex_prefix(std::string_view text) {
    return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

int digit_value(char c) {
    if (is_digit(c)) {
        return c - '0';
    }
    return (c | 0x20) - 'a' + 10;
}

// Whether a decimal text that from_chars found out of range is too large
// rather than too small: its first significant digit stands at or above the
// units place once the exponent is applied.
bool decimal_overflows(std::string_view digits) {
    long long point_shift = 0;  // place of the first significant digit, 0 = units
    bool seen_significant = false;
    bool after_point = false;
    std::size_t i = 0;
    for (; i < digits.size(); ++i) {
        const char c = digits[i];
        if (c == '.') {
            after_point = true;
        } else if (is_digit(c)) {
            if (!seen_significant && c != '0') {
                seen_significant = true;
            }
            if (seen_significant && !after_point) {
                ++point_shift;
            } else if (!seen_significant && after_point) {
                --point_shift;
            }
        } else {
            break;
        }
    }
    long long exponent = 0;
    if (i < digits.size() && (digits[i] == 'e' || digits[i] == 'E')) {
        const Sign sign = take_sign(digits.substr(i + 1));
        for (char c : sign.rest) {
            if (!is_digit(c) || exponent > 1'000'000'000) {
                break;
            }
            exponent = exponent * 10 + (c - '0');
        }
        exponent = sign.negative ? -exponent : exponent;
    }
    return point_shift + exponent > 0;
}

}  // namespace

IntegerValue integer_value(std::string_view text) {
    if (text.size() == 2 && has_hex_prefix(text)) {
        return {0, NumberProblem::NoDigits};  // a prefix without digits
    }
    const bool hex = text.size() > 2 && has_hex_prefix(text);
    const int base = hex ? 16 : 10;
    Sign sign = take_sign(hex ? text.substr(2) : text);
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    std::size_t digits = 0;
    bool too_large = false;
    for (char c : sign.rest) {
        if (!(base == 16 ? is_hex_digit(c) : is_digit(c))) {
            break;
        }
        ++digits;
        if (!too_large) {
            magnitude = magnitude * base + digit_value(c);
            too_large = magnitude > limit;
        }
    }
    if (digits == 0) {
        return {0, NumberProblem::NoDigits};
    }
    const std::int64_t value = sign.negative ? -magnitude : magnitude;
    if (too_large || value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        return {0, NumberProblem::OutOfRange};
    }
    return {static_cast<std::int32_t>(value), NumberProblem::None};
}

RealValue number_value(std::string_view text) {
    const Sign sign = take_sign(text);
    const bool hex = has_hex_prefix(sign.rest);
    const std::string_view digits = hex ? sign.rest.substr(2) : sign.rest;
    double magnitude = 0.0;
    const auto format = hex ? std::chars_format::hex : std::chars_format::general;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, format);
    if (error == std::errc::result_out_of_range) {
        if (hex || decimal_overflows(digits)) {
            return {0.0, NumberProblem::OutOfRange};
        }
        return {0.0, NumberProblem::None};
    }
    if (error != std::errc{}) {
        // Nothing convertible, such as the bare "0x" prefix (whose "0" strtod
        // would read as 0.0 all the same).
        return {0.0, NumberProblem::None};
    }
    if (magnitude != 0.0 && magnitude < DBL_MIN) {
        return {0.0, NumberProblem::None};
    }
    return {sign.negative ? -magnitude : magnitude, NumberProblem::None};
}

}  // namespace tolvane
