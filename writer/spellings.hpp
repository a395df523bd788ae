// How values are spelt in the text the writers make (node capability files
// and LIN description files share their lexical forms): which texts a
// string literal can hold, which doubles read back as themselves, and the
// shortest forms of numbers.
#pragma once

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tolvane::detail {

// The file bytes of a string literal's text: the readers take each byte
// above 0x7F as an ISO 8859-1 character and re-encode it as UTF-8, so the
// text must be UTF-8 of characters up to U+00FF, each written back as its
// one byte. Empty when the text is not such UTF-8.
inline std::optional<std::string> latin1_bytes(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            bytes += static_cast<char>(byte);
        } else if ((byte == 0xC2 || byte == 0xC3) && i + 1 < text.size() &&
                   (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
            const auto next = static_cast<unsigned char>(text[i + 1]);
            bytes += static_cast<char>(((byte & 0x03) << 6) | (next & 0x3F));
            ++i;
        } else {
            return std::nullopt;
        }
    }
    return bytes;
}

// Why the bytes between two quotes would not read back as themselves: a
// backslash takes the byte after it into the text, so a quote must follow
// a backslash and the text cannot end in one that pairs with the closing
// quote. Empty when they read back.
inline std::string_view literal_problem(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\\') {
            if (i + 1 == bytes.size()) {
                return "a text that ends in an odd run of backslashes cannot be written";
            }
            ++i;  // the pair is read as it stands
        } else if (bytes[i] == '"') {
            return "a double quote that no backslash precedes would end the string literal";
        }
    }
    return {};
}

// Doubles that the readers cannot give back: not finite, or below the
// smallest normal double, which they read as 0.
inline std::string_view number_problem(double value) {
    if (!std::isfinite(value)) {
        return "a number that is not finite cannot be written";
    }
    if (value != 0.0 && std::fabs(value) < DBL_MIN) {
        return "a number below the smallest normal double reads back as 0";
    }
    return {};
}

inline void append_integer(std::string& out, std::int64_t value) {
    char buffer[24];
    out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

// An identifier as 0x%0*X; a negative one in decimal, which is how it reads
// back as negative.
inline void append_hex(std::string& out, std::int64_t value, int digits) {
    if (value < 0) {
        append_integer(out, value);
        return;
    }
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, 16).ptr;
    out += "0x";
    out.append(static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, digits - (end - buffer))), '0');
    for (const char* c = buffer; c != end; ++c) {
        out += (*c >= 'a' && *c <= 'f') ? static_cast<char>(*c - 'a' + 'A') : *c;
    }
}

// The shortest text that reads back as the same double; -0.0 as "-0". The
// caller has refused what number_problem() names.
inline void append_number(std::string& out, double value) {
    char buffer[32];
    out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

}  // namespace tolvane::detail
