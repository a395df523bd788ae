// Lexer: line and block comments, and a "/" that starts none.
#include <gtest/gtest.h>

#include "tests/cpp/lexer_test_support.hpp"

namespace {

using namespace lexer_test;
using namespace std::string_view_literals;
using tolvane::TokenKind;

TEST(LexerComments, AreSkippedWithTheirLinesAndColumns) {
    expect_lexes({
        {"x // c", "Id'x'@1:1 EOF@1:3"},  // a line comment at the end of input
        {"a//b\nc", "Id'a'@1:1 Id'c'@2:1 EOF@2:2"},
        {"// \"unterminated\nx", "Id'x'@2:1 EOF@2:2"},
        {"/* only */", "EOF@1:11"},
        {"/* a\nb */x", "Id'x'@2:5 EOF@2:6"},
        {"/* \r */x", "Id'x'@1:8 EOF@1:9"},  // a CR inside takes a column
        {"/**/x", "Id'x'@1:5 EOF@1:6"},
        {"/***/x", "Id'x'@1:6 EOF@1:7"},
        {"/*/ x */y", "Id'y'@1:9 EOF@1:10"},                                       // "/*/" does not close
        {"/* /* */ x */", "Id'x'@1:10 Unknown'*'@1:12 Unknown'/'@1:13 EOF@1:14"},  // no nesting
        {"/* \" */ x", "Id'x'@1:9 EOF@1:10"},
        {"/* a // b */ c", "Id'c'@1:14 EOF@1:15"},
        {"// a /* b\nc */", "Id'c'@2:1 Unknown'*'@2:3 Unknown'/'@2:4 EOF@2:5"},
        {"/* a\n\n  unclosed", "EOF@3:11"},
        {"x/y /", "Id'x'@1:1 Unknown'/'@1:2 Id'y'@1:3 Unknown'/'@1:5 EOF@1:6"},
    });
}

}  // namespace
