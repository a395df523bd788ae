// Shared by the lexer tests: every token of an input written out as one
// line of text, so that a whole case is one string to compare.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "lexer/lexer.hpp"

namespace lexer_test {

using namespace std::string_view_literals;
using tolvane::TokenKind;

constexpr std::array<const char*, 18> kind_names = {
    "Id", "Int", "Real", "Str", ":", ";", ",", "{", "}", "(", ")", "[", "]", "=", "+", "-", "EOF", "Unknown"};

// Built by appending: GCC 12 at -O3 wrongly reports the inlined
// "@" + std::to_string(line) as an overlapping memcpy (-Wrestrict).
inline std::string at(std::uint64_t line, std::uint64_t column) {
    std::string text = "@";
    text += std::to_string(line);
    text += ':';
    text += std::to_string(column);
    return text;
}

// Every token up to EndOfInput as "Kind'text'@line:column" (EndOfInput
// without text).
inline std::string tokens_of(tolvane::Lexer& lexer) {
    std::string out;
    for (int guard = 0; guard < 100; ++guard) {
        const tolvane::Token token = lexer.next_token();
        const auto kind = static_cast<std::size_t>(token.kind);
        out += kind < kind_names.size() ? kind_names[kind] : "Kw";
        if (token.kind == TokenKind::EndOfInput) {
            out += at(token.line, token.column);
            break;
        }
        out.append("'").append(token.text).append("'") += at(token.line, token.column) + " ";
    }
    return out;
}

// The tokens, then every diagnostic as "!message@line:column".
inline std::string lex(std::string_view input) {
    tolvane::Lexer lexer(input, "dir/f.ncf");
    std::string out = tokens_of(lexer);
    EXPECT_EQ(lexer.next_token().kind, TokenKind::EndOfInput) << "the end repeats, reporting nothing new";
    for (const tolvane::Diagnostic& d : lexer.diagnostics()) {
        EXPECT_EQ(d.severity, tolvane::Diagnostic::Severity::Error);
        EXPECT_EQ(d.file, "dir/f.ncf");
        out += " !" + d.message + at(d.line, d.column);
    }
    return out;
}

using Cases = std::initializer_list<std::pair<std::string_view, std::string_view>>;

inline void expect_lexes(Cases cases) {
    for (const auto& [input, tokens] : cases) {
        EXPECT_EQ(lex(input), tokens) << "input: " << testing::PrintToString(std::string(input));
    }
}

}  // namespace lexer_test
