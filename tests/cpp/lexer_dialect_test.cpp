// Lexer: the "#" comment lines of older files, and looking ahead without
// moving on.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "lexer/lexer.hpp"
#include "tests/cpp/lexer_test_support.hpp"

namespace {

using namespace lexer_test;
using tolvane::Diagnostic;
using tolvane::Lexer;
using tolvane::TokenKind;

// The tokens as lex() writes them, then each warning as "?line:column".
std::string lex_with_hash_comments(std::string_view input) {
    Lexer lexer(input, "dir/f.ncf", 0, true);
    std::string out = tokens_of(lexer);
    for (const Diagnostic& d : lexer.diagnostics()) {
        if (d.severity == Diagnostic::Severity::Warning) {
            EXPECT_EQ(d.code, "dialect-hash-comment");
            EXPECT_EQ(d.message,
                      "Line beginning with '#' read as a comment (NCF comments begin with // or /*)");
            out += " ?" + std::to_string(d.line) + ":" + std::to_string(d.column);
        } else {
            out += " !" + d.message;
        }
    }
    return out;
}

TEST(LexerHashComments, AreLinesWhoseFirstByteOtherThanABlankIsHash) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"# a\nx", "Id'x'@2:1 EOF@2:2 ?1:1"},
        {"  \t# a { \"\nx", "Id'x'@2:1 EOF@2:2 ?1:4"},            // no token, no string inside the comment
        {"#\n#\n# c\nx", "Id'x'@4:1 EOF@4:2 ?1:1"},               // one warning for a run of lines
        {"# a\nx\n# b", "Id'x'@2:1 EOF@3:1 ?1:1 ?3:1"},           // a new run after a token line
        {"x # a", "Id'x'@1:1 Unknown'#'@1:3 Id'a'@1:5 EOF@1:6"},  // not first on its line
        {"\"# a\"", "Str'# a'@1:1 EOF@1:6"},
        {"/* x\n# a */y", "Id'y'@2:7 EOF@2:8"},  // inside a block comment it is the comment's
        {"\r# a\r\nx", "Id'x'@2:1 EOF@2:2 ?1:1"},
        {"#", "EOF@1:1 ?1:1"},
    };
    for (const auto& [input, tokens] : cases) {
        EXPECT_EQ(lex_with_hash_comments(input), tokens) << testing::PrintToString(std::string(input));
    }
}

TEST(LexerHashComments, AreUnknownTokensUnlessAsked) {
    EXPECT_EQ(lex("# a"), "Unknown'#'@1:1 Id'a'@1:3 EOF@1:4");
}

TEST(LexerHashComments, AfterAByteOrderMarkStartTheLine) {
    const std::string_view input = "\xEF\xBB\xBF# a\nx";
    Lexer lexer(input, "f.ncf", 3, true);
    EXPECT_EQ(lexer.next_token().text, "x");
    ASSERT_EQ(lexer.diagnostics().size(), 1u);
}

TEST(LexerLookAhead, SeesTheKindsAheadAndMovesNothing) {
    const std::string_view input = "a { \"open";
    Lexer lexer(input, "f.ncf");
    EXPECT_EQ(lexer.kind_ahead(1), TokenKind::Identifier);
    EXPECT_EQ(lexer.kind_ahead(2), TokenKind::LeftBrace);
    EXPECT_EQ(lexer.kind_ahead(3), TokenKind::String);
    EXPECT_EQ(lexer.kind_ahead(4), TokenKind::EndOfInput);
    EXPECT_TRUE(lexer.diagnostics().empty()) << "what it scanned ahead is reported when read";
    EXPECT_EQ(lex(input), "Id'a'@1:1 {'{'@1:3 Str'open'@1:5 EOF@1:10 !Unterminated string literal@1:5");
    const tolvane::Token first = lexer.next_token();
    EXPECT_EQ(first.text, "a");
    EXPECT_EQ(first.column, 1u);
}

TEST(LexerLookAhead, KeepsTheTextOfTheLatestReencodedString) {
    const std::string_view input = "\"\xE9\" \"\xE8\"";
    Lexer lexer(input, "f.ncf");
    const tolvane::Token first = lexer.next_token();
    const std::string before(first.text);
    EXPECT_EQ(lexer.kind_ahead(1), TokenKind::String);
    EXPECT_EQ(first.text, before) << "the current token's text survives a look ahead";
}

TEST(LexerLookAhead, DoesNotRepeatHashCommentWarnings) {
    Lexer lexer("# a\nx", "f.ncf", 0, true);
    EXPECT_EQ(lexer.kind_ahead(1), TokenKind::Identifier);
    EXPECT_TRUE(lexer.diagnostics().empty());
    EXPECT_EQ(lexer.next_token().text, "x");
    EXPECT_EQ(lexer.diagnostics().size(), 1u);
}

}  // namespace
