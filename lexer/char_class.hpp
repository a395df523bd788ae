// Character classes of the lexer: ASCII only, independent of the locale, and
// defined for every byte value (bytes above 0x7F belong to no class).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tolvane {

enum CharClass : std::uint8_t {
    char_digit = 1 << 0,
    char_letter = 1 << 1,  // A-Z, a-z
    char_hex_digit = 1 << 2,
    char_word = 1 << 3,  // letter, digit or '_': continues an identifier
};

inline constexpr std::array<std::uint8_t, 256> char_classes = [] {
    std::array<std::uint8_t, 256> table{};
    for (std::size_t c = '0'; c <= '9'; ++c) {
        table[c] = char_digit | char_hex_digit | char_word;
    }
    for (std::size_t c = 'a'; c <= 'z'; ++c) {
        table[c] = char_letter | char_word;
        table[c - 'a' + 'A'] = char_letter | char_word;
    }
    for (std::size_t c = 'a'; c <= 'f'; ++c) {
        table[c] |= char_hex_digit;
        table[c - 'a' + 'A'] |= char_hex_digit;
    }
    table['_'] = char_word;
    return table;
}();

constexpr bool has_class(char c, std::uint8_t classes) {
    return (char_classes[static_cast<unsigned char>(c)] & classes) != 0;
}
constexpr bool is_digit(char c) {
    return has_class(c, char_digit);
}
constexpr bool is_hex_digit(char c) {
    return has_class(c, char_hex_digit);
}
constexpr bool starts_identifier(char c) {
    return has_class(c, char_letter) || c == '_';
}
constexpr bool continues_identifier(char c) {
    return has_class(c, char_word);
}

}  // namespace tolvane
