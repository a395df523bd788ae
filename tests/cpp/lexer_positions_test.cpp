// Lexer: line and column of every token, and that the lexer never
// reads past the end of the view it was given.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "lexer/lexer.hpp"

namespace {

using namespace std::string_view_literals;
using tolvane::Lexer;
using tolvane::TokenKind;

constexpr std::array<const char*, 18> kind_names = {
    "Id", "Int", "Real", "Str", ":", ";", ",", "{", "}", "(", ")", "[", "]", "=", "+", "-", "EOF", "Unknown"};

// Every token up to and including EndOfInput as "Kind'text'@line:column",
// separated by spaces; EndOfInput is shown without its text.
std::string lex(std::string_view input) {
    Lexer lexer(input, "t.ncf");
    std::string out;
    for (int guard = 0; guard < 100; ++guard) {
        const tolvane::Token token = lexer.next_token();
        const auto kind = static_cast<std::size_t>(token.kind);
        out += kind < kind_names.size() ? kind_names[kind] : "Kw";
        if (token.kind != TokenKind::EndOfInput) {
            out.append("'").append(token.text).append("'");
        }
        out += "@" + std::to_string(token.line) + ":" + std::to_string(token.column);
        if (token.kind == TokenKind::EndOfInput) {
            break;
        }
        out += " ";
    }
    return out;
}

struct LexCase {
    std::string_view input;
    std::string_view tokens;
};

TEST(LexerPositions, TokenStartsAtItsFirstByte) {
    const LexCase cases[] = {
        {"", "EOF@1:1"},
        {" \t \n\n", "EOF@3:1"},
        {"  ;", ";';'@1:3 EOF@1:4"},
        {"\t;", ";';'@1:2 EOF@1:3"},  // a tab is one column
        {"ab\r\ncd", "Id'ab'@1:1 Id'cd'@2:1 EOF@2:3"},
        {"a\r;", "Id'a'@1:1 ;';'@1:2 EOF@1:3"},  // CR takes no column
        {"\f\v;", "Unknown'\f'@1:1 Unknown'\v'@1:2 ;';'@1:3 EOF@1:4"},
        // Each scanner advances the column by the bytes it took.
        {"0x1F -12.5e+3 ab_1 +x;",
         "Int'0x1F'@1:1 Real'-12.5e+3'@1:6 Id'ab_1'@1:15 +'+'@1:20 Id'x'@1:21 ;';'@1:22 EOF@1:23"},
        {"\"ab\"c", "Str'ab'@1:1 Id'c'@1:5 EOF@1:6"},
        {"\"\xE9\"c", "Str'\xC3\xA9'@1:1 Id'c'@1:4 EOF@1:5"},  // columns count input bytes, not output bytes
        {"\"a\nbc\" d", "Str'a\nbc'@1:1 Id'd'@2:5 EOF@2:6"},
        {"\"\\\nb\"x", "Str'\\\nb'@1:1 Id'x'@2:3 EOF@2:4"},  // backslash + LF counts the line
        {"\"\\\"\"x", "Str'\\\"'@1:1 Id'x'@1:5 EOF@1:6"},
        {"\"\r\"x", "Str'\r'@1:1 Id'x'@1:4 EOF@1:5"},  // CR inside a string takes a column
        {"x\n  \"abc\ndef", "Id'x'@1:1 Str'abc\ndef'@2:3 EOF@3:4"},
    };
    for (const LexCase& c : cases) {
        EXPECT_EQ(lex(c.input), c.tokens) << "input: " << testing::PrintToString(std::string(c.input));
    }
}

// Each input is cut from a larger buffer whose next byte would change the
// result; the cut is also copied into an allocation of exactly its size, so
// that AddressSanitizer catches any read past the end.
TEST(LexerBounds, NeverReadsPastTheView) {
    struct CutCase {
        std::string_view buffer;
        std::size_t length;
        std::string_view tokens;
    };
    const CutCase cases[] = {
        {"123", 2, "Int'12'@1:1 EOF@1:3"},
        {"abc", 2, "Id'ab'@1:1 EOF@1:3"},
        {"nodes", 4, "Kw'node'@1:1 EOF@1:5"},
        {"0x1", 2, "Int'0x'@1:1 EOF@1:3"},
        {"0x", 1, "Int'0'@1:1 EOF@1:2"},
        {"1.5", 2, "Real'1.'@1:1 EOF@1:3"},
        {".5", 1, "Unknown'.'@1:1 EOF@1:2"},
        {"1e5", 2, "Int'1'@1:1 Id'e'@1:2 EOF@1:3"},
        {"1e+5", 3, "Int'1'@1:1 Id'e'@1:2 +'+'@1:3 EOF@1:4"},
        {"-5", 1, "-'-'@1:1 EOF@1:2"},
        {"//", 1, "Unknown'/'@1:1 EOF@1:2"},
        {"/*", 1, "Unknown'/'@1:1 EOF@1:2"},
        {"/* */x", 4, "EOF@1:5"},
        {"\"ab\"", 3, "Str'ab'@1:1 EOF@1:4"},
        {"\"a\\\"\"", 3, "Str'a\\'@1:1 EOF@1:4"},
        {"// c\nx", 4, "EOF@1:1"},
    };
    for (const CutCase& c : cases) {
        const std::string_view cut = c.buffer.substr(0, c.length);
        EXPECT_EQ(lex(cut), c.tokens) << "cut of " << c.buffer;
        const auto exact = std::make_unique<char[]>(c.length);
        std::memcpy(exact.get(), cut.data(), c.length);
        EXPECT_EQ(lex(std::string_view(exact.get(), c.length)), c.tokens) << "copy of " << cut;
    }
}

}  // namespace
