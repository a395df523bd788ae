// Lexer: string literals, their re-encoding and "Unterminated string
// literal".
#include <gtest/gtest.h>

#include <string>

#include "tests/cpp/lexer_test_support.hpp"

namespace {

using namespace lexer_test;
using namespace std::string_view_literals;
using tolvane::TokenKind;

TEST(LexerStrings, TextIsTheBytesBetweenTheQuotes) {
    expect_lexes({
        {"\"\"", "Str''@1:1 EOF@1:3"},
        {"\"a b;\" x", "Str'a b;'@1:1 Id'x'@1:8 EOF@1:9"},
        {"\"a\\\"b\"x", "Str'a\\\"b'@1:1 Id'x'@1:7 EOF@1:8"},  // an escaped quote stays, with its backslash
        {"\"a\\\\\"b", "Str'a\\\\'@1:1 Id'b'@1:6 EOF@1:7"},    // two backslashes stay two; the quote ends it
        {"\"\\n\\t\"", "Str'\\n\\t'@1:1 EOF@1:7"},             // no escape is translated
        {"\"a\nbc\" d", "Str'a\nbc'@1:1 Id'd'@2:5 EOF@2:6"},
        {"\"a\\\nb\";", "Str'a\\\nb'@1:1 ;';'@2:3 EOF@2:4"},  // backslash + LF counts the line
        {"\"a\r\nb\"", "Str'a\r\nb'@1:1 EOF@2:3"},
        {"\"\r\"x", "Str'\r'@1:1 Id'x'@1:4 EOF@1:5"},  // CR inside a string takes a column
        {"\"// no /* comment\"x", "Str'// no /* comment'@1:1 Id'x'@1:19 EOF@1:20"},
        {"\"a\0b\"x"sv, "Str'a\0b'@1:1 Id'x'@1:6 EOF@1:7"sv},
        {"\"\x7F\"", "Str'\x7F'@1:1 EOF@1:4"},
        // Columns count input bytes, not the re-encoded ones.
        {"\"\x80\xBF\xC0\xFF\"c", "Str'\xC2\x80\xC2\xBF\xC3\x80\xC3\xBF'@1:1 Id'c'@1:7 EOF@1:8"},
        {"\"caf\xC3\xA9\"", "Str'caf\xC3\x83\xC2\xA9'@1:1 EOF@1:8"},  // UTF-8 input is re-encoded too
        {"\"\\\xE9\"x", "Str'\\\xC3\xA9'@1:1 Id'x'@1:5 EOF@1:6"},     // a backslash pair is re-encoded
    });
}

TEST(LexerStrings, UnterminatedIsReportedOnceAtTheOpeningQuote) {
    expect_lexes({
        // An escaped quote ends nothing.
        {"x\n\n      \"rest\n; \\\" node",
         "Id'x'@1:1 Str'rest\n; \\\" node'@3:7 EOF@4:10 !Unterminated string literal@3:7"},
        {"\"a\\", "Str'a\\'@1:1 EOF@1:4 !Unterminated string literal@1:1"},  // a backslash as the last byte
        {"  \"", "Str''@1:3 EOF@1:4 !Unterminated string literal@1:3"},
        {"\"\xE9", "Str'\xC3\xA9'@1:1 EOF@1:3 !Unterminated string literal@1:1"},
    });
}

TEST(Latin1ToUtf8, EveryByteBecomesItsOwnCodePoint) {
    for (unsigned value = 0; value < 256; ++value) {
        const std::string expected = value < 0x80 ? std::string(1, static_cast<char>(value))
                                                  : std::string{static_cast<char>(0xC0 | (value >> 6)),
                                                                static_cast<char>(0x80 | (value & 0x3F))};
        EXPECT_EQ(tolvane::latin1_to_utf8(std::string(1, static_cast<char>(value))), expected) << value;
    }
    EXPECT_EQ(tolvane::latin1_to_utf8("a\0\xE9z"sv), "a\0\xC3\xA9z"sv);
}

}  // namespace
