// Lexer: signs, decimal and hexadecimal numbers, and where a number ends
// (read_number).
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "lexer/lexer.hpp"

namespace {

using tolvane::TokenKind;

constexpr const char* kind_names[] = {"Id", "Int", "Real", "Str", ":", ";", ",", "{",   "}",
                                      "(",  ")",   "[",    "]",   "=", "+", "-", "EOF", "Unknown"};

// The tokens before EndOfInput as "Kind'text'", separated by spaces.
std::string lex(std::string_view input) {
    tolvane::Lexer lexer(input, "t.ncf");
    std::string out;
    for (tolvane::Token token = lexer.next_token(); token.kind != TokenKind::EndOfInput && out.size() < 1000;
         token = lexer.next_token()) {
        const auto kind = static_cast<std::size_t>(token.kind);
        out.append(out.empty() ? "" : " ").append(kind < 18 ? kind_names[kind] : "Kw");
        out.append("'").append(token.text).append("'");
    }
    return out;
}

TEST(LexerNumbers, Scanning) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"007", "Int'007'"},
        {"-5", "Int'-5'"},
        {"+5", "Int'+5'"},
        {"- 5", "-'-' Int'5'"},
        {"-.5", "-'-' Real'.5'"},
        {"+x", "+'+' Id'x'"},
        {"--5", "-'-' Int'-5'"},
        {".5", "Real'.5'"},
        {"5.", "Real'5.'"},
        {".", "Unknown'.'"},
        {"1.2.3", "Real'1.2' Real'.3'"},
        {"1..2", "Real'1.' Real'.2'"},
        {"2E-3", "Real'2E-3'"},
        {"1e+3x", "Real'1e+3' Id'x'"},
        {"1e", "Int'1' Id'e'"},
        {"1e+", "Int'1' Id'e' +'+'"},
        {"1e-x", "Int'1' Id'e' -'-' Id'x'"},
        {"1ee5", "Int'1' Id'ee5'"},
        {"1.e5", "Real'1.e5'"},
        {"1e5.5", "Real'1e5.5'"},
        {"1e5e5", "Real'1e5e5'"},
        {"1.5e3.2", "Real'1.5e3' Real'.2'"},
        {"1ab", "Int'1' Id'ab'"},
        {"0x1F", "Int'0x1F'"},
        {"0XaBcDeF9", "Int'0XaBcDeF9'"},
        {"0x", "Int'0x'"},
        {"0xg", "Int'0x' Id'g'"},
        {"0x1.5", "Int'0x1' Real'.5'"},
        {"0x1e5", "Int'0x1e5'"},
        {"-0x10", "Int'-0' Id'x10'"},
        {"00x1", "Int'00' Id'x1'"},
        {"1\xB2", "Int'1' Unknown'\xB2'"},  // a byte above 0x7F is no digit
    };
    for (const auto& [input, tokens] : cases) {
        EXPECT_EQ(lex(input), tokens) << "input: " << input;
    }
}

}  // namespace
