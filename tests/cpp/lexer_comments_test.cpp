// Lexer: line and block comments, and a "/" that starts none.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "lexer/lexer.hpp"

namespace {

using tolvane::TokenKind;

// Every token as "text@line:column", EndOfInput as "EOF@line:column".
std::string lex(std::string_view input) {
    tolvane::Lexer lexer(input, "t.ncf");
    std::string out;
    for (int guard = 0; guard < 100; ++guard) {
        const tolvane::Token token = lexer.next_token();
        const bool end = token.kind == TokenKind::EndOfInput;
        out.append(end ? "EOF" : std::string(token.text));
        out += "@" + std::to_string(token.line) + ":" + std::to_string(token.column);
        if (end) {
            EXPECT_TRUE(lexer.diagnostics().empty()) << input;
            return out;
        }
        out += " ";
    }
    return out + "(no end)";
}

TEST(LexerComments, AreSkippedWithTheirLinesAndColumns) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"// only", "EOF@1:1"},
        {"x // c", "x@1:1 EOF@1:3"},  // a line comment takes no column
        {"  // c\n x", "x@2:2 EOF@2:3"},
        {"a//b\nc", "a@1:1 c@2:1 EOF@2:2"},
        {"// \"unterminated\nx", "x@2:1 EOF@2:2"},
        {"/* only */", "EOF@1:11"},
        {"/* a\nb */x", "x@2:5 EOF@2:6"},
        {"/* \r */x", "x@1:8 EOF@1:9"},  // a CR inside takes a column
        {"/**/x", "x@1:5 EOF@1:6"},
        {"/***/x", "x@1:6 EOF@1:7"},
        {"/*/ x */y", "y@1:9 EOF@1:10"},                     // "/*/" does not close
        {"/* /* */ x */", "x@1:10 *@1:12 /@1:13 EOF@1:14"},  // no nesting
        {"/* \" */ x", "x@1:9 EOF@1:10"},
        {"/* a // b */ c", "c@1:14 EOF@1:15"},
        {"// a /* b\nc */", "c@2:1 *@2:3 /@2:4 EOF@2:5"},
        {"/* a\n\n  unclosed", "EOF@3:11"},
        {"x/y /", "x@1:1 /@1:2 y@1:3 /@1:5 EOF@1:6"},
    };
    for (const auto& [input, tokens] : cases) {
        EXPECT_EQ(lex(input), tokens) << "input: " << testing::PrintToString(std::string(input));
    }
}

}  // namespace
