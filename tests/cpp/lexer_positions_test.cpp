// Lexer: the line and column of every token, and that the lexer never reads
// past the end of the view it was given.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "tests/cpp/lexer_test_support.hpp"

namespace {

using namespace lexer_test;
using namespace std::string_view_literals;
using tolvane::TokenKind;

TEST(LexerPositions, TokenStartsAtItsFirstByte) {
    expect_lexes({
        {"", "EOF@1:1"},
        {" \t \n\n", "EOF@3:1"},
        {"  ;", ";';'@1:3 EOF@1:4"},
        {"\t;", ";';'@1:2 EOF@1:3"},  // a tab is one column
        {"ab\r\ncd", "Id'ab'@1:1 Id'cd'@2:1 EOF@2:3"},
        {"a\r;", "Id'a'@1:1 ;';'@1:2 EOF@1:3"},  // CR takes no column
        {"\f\v;", "Unknown'\f'@1:1 Unknown'\v'@1:2 ;';'@1:3 EOF@1:4"},
        {"0x1F -12.5e+3 ab_1 +x;",
         "Int'0x1F'@1:1 Real'-12.5e+3'@1:6 Id'ab_1'@1:15 +'+'@1:20 Id'x'@1:21 ;';'@1:22 EOF@1:23"},
    });
}

// Each input is cut at "|" from a buffer whose next byte would change the
// result; the cut is also copied into an allocation of exactly its size, so
// that AddressSanitizer catches any read past the end.
TEST(LexerBounds, NeverReadsPastTheView) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"12|3", "Int'12'@1:1 EOF@1:3"},
        {"ab|c", "Id'ab'@1:1 EOF@1:3"},
        {"node|s", "Kw'node'@1:1 EOF@1:5"},
        {"0x|1", "Int'0x'@1:1 EOF@1:3"},
        {"0|x", "Int'0'@1:1 EOF@1:2"},
        {"1.|5", "Real'1.'@1:1 EOF@1:3"},
        {".|5", "Unknown'.'@1:1 EOF@1:2"},
        {"1e|5", "Int'1'@1:1 Id'e'@1:2 EOF@1:3"},
        {"1e+|5", "Int'1'@1:1 Id'e'@1:2 +'+'@1:3 EOF@1:4"},
        {"-|5", "-'-'@1:1 EOF@1:2"},
        {"/|/", "Unknown'/'@1:1 EOF@1:2"},
        {"/|*", "Unknown'/'@1:1 EOF@1:2"},
        {"/* *|/x", "EOF@1:5"},
        {"\"ab|\"", "Str'ab'@1:1 EOF@1:4 !Unterminated string literal@1:1"},
        {"\"a\\|\"\"", "Str'a\\'@1:1 EOF@1:4 !Unterminated string literal@1:1"},
        {"// c|\nx", "EOF@1:1"},
    };
    for (const auto& [marked, tokens] : cases) {
        const std::size_t length = marked.find('|');
        const std::string buffer =
            std::string(marked.substr(0, length)) + std::string(marked.substr(length + 1));
        EXPECT_EQ(lex(std::string_view(buffer).substr(0, length)), tokens) << "cut of " << buffer;
        const auto exact = std::make_unique<char[]>(length);
        std::memcpy(exact.get(), buffer.data(), length);
        EXPECT_EQ(lex(std::string_view(exact.get(), length)), tokens) << "copy of " << marked;
    }
}

}  // namespace
