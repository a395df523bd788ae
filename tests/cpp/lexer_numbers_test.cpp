// Lexer: signs, decimal and hexadecimal numbers, and where a number ends.
#include <gtest/gtest.h>

#include "tests/cpp/lexer_test_support.hpp"

namespace {

using namespace lexer_test;
using namespace std::string_view_literals;
using tolvane::TokenKind;

TEST(LexerNumbers, Scanning) {
    expect_lexes({
        {"-5", "Int'-5'@1:1 EOF@1:3"},
        {"+5", "Int'+5'@1:1 EOF@1:3"},
        {"- 5", "-'-'@1:1 Int'5'@1:3 EOF@1:4"},
        {"-.5", "-'-'@1:1 Real'.5'@1:2 EOF@1:4"},
        {"+x", "+'+'@1:1 Id'x'@1:2 EOF@1:3"},
        {"--5", "-'-'@1:1 Int'-5'@1:2 EOF@1:4"},
        {".5", "Real'.5'@1:1 EOF@1:3"},
        {"5.", "Real'5.'@1:1 EOF@1:3"},
        {".", "Unknown'.'@1:1 EOF@1:2"},
        {"1..2", "Real'1.'@1:1 Real'.2'@1:3 EOF@1:5"},
        {"2E-3", "Real'2E-3'@1:1 EOF@1:5"},
        {"1e+3x", "Real'1e+3'@1:1 Id'x'@1:5 EOF@1:6"},
        {"1e", "Int'1'@1:1 Id'e'@1:2 EOF@1:3"},
        {"1e-x", "Int'1'@1:1 Id'e'@1:2 -'-'@1:3 Id'x'@1:4 EOF@1:5"},
        {"1.e5", "Real'1.e5'@1:1 EOF@1:5"},
        {"1e5.5", "Real'1e5.5'@1:1 EOF@1:6"},
        {"1e5e5", "Real'1e5e5'@1:1 EOF@1:6"},
        {"1.5e3.2", "Real'1.5e3'@1:1 Real'.2'@1:6 EOF@1:8"},
        {"0XaBcDeF9", "Int'0XaBcDeF9'@1:1 EOF@1:10"},
        {"0xg", "Int'0x'@1:1 Id'g'@1:3 EOF@1:4"},
        {"0x1.5", "Int'0x1'@1:1 Real'.5'@1:4 EOF@1:6"},
        {"0x1e5", "Int'0x1e5'@1:1 EOF@1:6"},
        {"-0x10", "Int'-0'@1:1 Id'x10'@1:3 EOF@1:6"},
        {"00x1", "Int'00'@1:1 Id'x1'@1:3 EOF@1:5"},
        {"1\xB2", "Int'1'@1:1 Unknown'\xB2'@1:2 EOF@1:3"},  // a byte above 0x7F is no digit
    });
}

}  // namespace
