// Lexer: string literals, their re-encoding and "Unterminated string
// literal".
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "lexer/lexer.hpp"

namespace {

using namespace std::string_view_literals;
using tolvane::Lexer;
using tolvane::TokenKind;

struct StringCase {
    std::string_view input;
    std::string_view text;  // of the first token, a String
    TokenKind next;         // the kind of the token after it
};

TEST(LexerStrings, TextIsTheBytesBetweenTheQuotes) {
    const StringCase cases[] = {
        {"\"\"", "", TokenKind::EndOfInput},
        {"\"a b;\" x", "a b;", TokenKind::Identifier},
        {"\"a\\\"b\"", "a\\\"b", TokenKind::EndOfInput},  // an escaped quote stays, with its backslash
        {"\"a\\\\\"b", "a\\\\", TokenKind::Identifier},   // two backslashes stay two; the quote ends it
        {"\"\\n\\t\"", "\\n\\t", TokenKind::EndOfInput},  // no escape is translated
        {"\"a\\\nb\";", "a\\\nb", TokenKind::Semicolon},
        {"\"a\r\nb\"", "a\r\nb", TokenKind::EndOfInput},
        {"\"// no /* comment\"x", "// no /* comment", TokenKind::Identifier},
        {"\"a\0b\"x"sv, "a\0b"sv, TokenKind::Identifier},
        {"\"\x7F\"", "\x7F", TokenKind::EndOfInput},
        {"\"\xA9\"", "\xC2\xA9", TokenKind::EndOfInput},  // the only high byte has bit 6 clear
        {"\"\x80\xBF\xC0\xFF\"", "\xC2\x80\xC2\xBF\xC3\x80\xC3\xBF", TokenKind::EndOfInput},
        {"\"caf\xC3\xA9\"", "caf\xC3\x83\xC2\xA9", TokenKind::EndOfInput},  // UTF-8 input is re-encoded too
        {"\"\\\xE9\"x", "\\\xC3\xA9", TokenKind::Identifier},               // a backslash pair is re-encoded
    };
    for (const StringCase& c : cases) {
        Lexer lexer(c.input, "t.ncf");
        const tolvane::Token token = lexer.next_token();
        EXPECT_EQ(token.kind, TokenKind::String) << c.input;
        EXPECT_EQ(token.text, c.text) << "input: " << testing::PrintToString(std::string(c.input));
        EXPECT_EQ(lexer.next_token().kind, c.next) << c.input;
        EXPECT_TRUE(lexer.diagnostics().empty()) << c.input;
    }
}

TEST(LexerStrings, UnterminatedIsReportedOnceAtTheOpeningQuote) {
    struct Case {
        std::string_view input;
        std::string_view text;
        std::uint64_t line, column;
    };
    const Case cases[] = {
        {"x\n\n      \"rest\n; \\\" node", "rest\n; \\\" node", 3, 7},  // an escaped quote ends nothing
        {"\"a\\", "a\\", 1, 1},                                         // a backslash as the last byte
        {"  \"", "", 1, 3},
        {"\"\xE9", "\xC3\xA9", 1, 1},
    };
    for (const Case& c : cases) {
        Lexer lexer(c.input, "dir/f.ncf");
        tolvane::Token token = lexer.next_token();
        while (token.kind != TokenKind::String && token.kind != TokenKind::EndOfInput) {
            token = lexer.next_token();
        }
        EXPECT_EQ(token.kind, TokenKind::String) << c.input;
        EXPECT_EQ(token.text, c.text) << c.input;
        EXPECT_EQ(token.line, c.line) << c.input;
        EXPECT_EQ(token.column, c.column) << c.input;
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(lexer.next_token().kind, TokenKind::EndOfInput) << c.input;
        }
        ASSERT_EQ(lexer.diagnostics().size(), 1u) << c.input;
        const tolvane::Diagnostic& d = lexer.diagnostics()[0];
        EXPECT_EQ(d.severity, tolvane::Diagnostic::Severity::Error);
        EXPECT_EQ(d.file, "dir/f.ncf");
        EXPECT_EQ(d.line, c.line) << c.input;
        EXPECT_EQ(d.column, c.column) << c.input;
        EXPECT_EQ(d.message, "Unterminated string literal");
    }
}

// Every byte value: ASCII is copied, the rest becomes its two-byte UTF-8
// form, which decodes back to the byte's own code point.
TEST(Latin1ToUtf8, EveryByteDecodesToItsOwnCodePoint) {
    for (unsigned value = 0; value < 256; ++value) {
        const std::string text = tolvane::latin1_to_utf8(std::string(1, static_cast<char>(value)));
        if (value < 0x80) {
            EXPECT_EQ(text, std::string(1, static_cast<char>(value)));
            continue;
        }
        ASSERT_EQ(text.size(), 2u) << value;
        const auto lead = static_cast<unsigned char>(text[0]);
        const auto trail = static_cast<unsigned char>(text[1]);
        EXPECT_TRUE(lead == 0xC2 || lead == 0xC3) << value;
        EXPECT_EQ(trail & 0xC0u, 0x80u) << value;
        EXPECT_EQ(((lead & 0x1Fu) << 6) | (trail & 0x3Fu), value);
    }
    EXPECT_EQ(tolvane::latin1_to_utf8("a\0\xE9z"sv), "a\0\xC3\xA9z"sv);
}

}  // namespace
