// The parser: where its text comes from (content or a file), the byte-order
// mark, the cursor operations and their diagnostics.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <type_traits>

#include "parser/grammar.hpp"
#include "parser/ncf_parser.hpp"
#include "parser/source_file.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using tolvane::NcfParser;
using tolvane::SourceText;
using tolvane::TokenKind;
using tolvane::detail::Grammar;

// A fresh directory under the system's temporary folder, removed afterwards.
class CursorFiles : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tolvane_cursor_" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    std::string write(const std::string& name, const std::string& content) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }
    fs::path dir_;
};

// Every token from the current one to EndOfInput as "text@line:column".
std::string tokens(Grammar& parser) {
    std::string out;
    for (int guard = 0; guard < 100 && parser.current().kind != TokenKind::EndOfInput; ++guard) {
        const tolvane::Token& token = parser.current();
        // Appended piece by piece: GCC 12 at -O3 wrongly reports
        // "@" + std::to_string(...) as an overlapping memcpy (-Wrestrict).
        out.append(token.text)
            .append("@")
            .append(std::to_string(token.line))
            .append(":")
            .append(std::to_string(token.column))
            .append(" ");
        parser.advance();
    }
    return out + "EOF@" + std::to_string(parser.current().line) + ":" +
           std::to_string(parser.current().column);
}

// Every diagnostic as "message@line:column|", each checked to be an error
// in the parser's file.
template <class Parser>
std::string messages(const Parser& parser) {
    std::string out;
    for (const tolvane::Diagnostic& d : parser.get_diagnostics()) {
        EXPECT_EQ(d.severity, tolvane::Diagnostic::Severity::Error);
        EXPECT_EQ(d.file, "in.ncf");
        out += d.message + "@" + std::to_string(d.line) + ":" + std::to_string(d.column) + "|";
    }
    return out;
}

void expect_cannot_open(const std::string& name) {
    static_assert(std::is_base_of_v<std::runtime_error, tolvane::CannotOpenFile>);
    try {
        NcfParser parser(name, std::string());
        ADD_FAILURE() << "no exception for " << testing::PrintToString(name);
    } catch (const tolvane::CannotOpenFile& error) {
        const std::string expected = "Cannot open file " + name;
        EXPECT_EQ(error.message(), expected);
        EXPECT_STREQ(error.what(), expected.c_str());  // cut at a NUL, as a C string is
    }
}

// Each text reads back from a file byte for byte, and lexes the same as the
// content; a byte-order mark is skipped only at the start and only once.
TEST_F(CursorFiles, ContentOrFileWithItsByteOrderMark) {
    const std::pair<std::string, std::string> cases[] = {
        // CR and NUL come through.
        {"\r\nnode \"\xE9\" \0;"s, "node@2:1 \xC3\xA9@2:6 \0@2:10 ;@2:11 EOF@2:12"s},
        {"\xEF\xBB\xBFnode", "node@1:1 EOF@1:5"},
        {"\xEF\xBB\xBF", "EOF@1:1"},
        {"\xEF\xBB", "\xEF@1:1 \xBB@1:2 EOF@1:3"},
        {" \xEF\xBB\xBF", "\xEF@1:2 \xBB@1:3 \xBF@1:4 EOF@1:5"},
        {"\xEF\xBB\xBF\xEF\xBB\xBF", "\xEF@1:1 \xBB@1:2 \xBF@1:3 EOF@1:4"},
        {std::string(3'000'001, ' ') + "node", "node@1:3000002 EOF@1:3000006"},  // longer than any one read
        {"", "EOF@1:1"},
    };
    int files = 0;
    for (const auto& [content, expected] : cases) {
        SCOPED_TRACE(testing::PrintToString(content.substr(0, 20)));
        EXPECT_EQ(tolvane::detail::read_whole_file(write(std::to_string(++files) + ".ncf", content)),
                  content);
        Grammar grammar("in.ncf", SourceText(content));
        EXPECT_EQ(tokens(grammar), expected);
    }
}

// Which text each way of making a parser reads: the two-argument constructor reads
// the file only when the content is empty, from_text never, from_file always.
TEST_F(CursorFiles, ConstructorsChooseBetweenContentAndFile) {
    const std::string header = "node_capability_file;\nLIN_language_version = \"2.1\";\n";
    const std::string file = write("v.ncf", header);
    const auto version = [](NcfParser parser) { return parser.parse().language_version; };
    EXPECT_EQ(version(NcfParser(file, "")), "2.1");
    EXPECT_EQ(version(NcfParser(file, "node_capability_file; LIN_language_version = \"x\";")), "x");
    EXPECT_EQ(version(NcfParser::from_file(file)), "2.1");
    EXPECT_EQ(version(NcfParser::from_text(file, "")), "<EOF>");  // empty text, the file untouched
    EXPECT_EQ(version(NcfParser("", "")), "<EOF>");
    // Given content, the named directory is never opened, only reported.
    NcfParser from_content(dir_.string(), "x");
    from_content.parse();
    EXPECT_EQ(from_content.get_diagnostics().at(0).file, dir_.string());
    EXPECT_THROW(NcfParser::from_file(""), tolvane::CannotOpenFile);
    EXPECT_THROW(NcfParser::from_file(dir_.string()), tolvane::CannotOpenFile);
}

TEST_F(CursorFiles, FilesThatCannotBeReadRaise) {
    expect_cannot_open((dir_ / "missing.ncf").string());
    expect_cannot_open(dir_.string());  // a directory
    const std::string existing = write("f.ncf", "node");
    expect_cannot_open(existing + std::string("\0.txt", 5));  // would open the file before the NUL
    expect_cannot_open(std::string("\0", 1));
#ifdef __linux__
    if (fs::exists("/proc/self/mem")) {
        expect_cannot_open("/proc/self/mem");  // opens, but reading at offset 0 fails
    }
#endif
}

// Each operation applied to the token under the cursor; what it yields, with
// numbers as by %.17g.
using Op = std::string (*)(Grammar&);
const Op semicolon = [](Grammar& p) {
    p.expect(TokenKind::Semicolon);
    return std::string();
};
const Op node = [](Grammar& p) {
    p.expect(TokenKind::KwNode);
    return std::string();
};
const Op string = [](Grammar& p) { return p.expect_string(); };
const Op integer = [](Grammar& p) { return std::to_string(p.expect_integer()); };
const Op number = [](Grammar& p) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", p.expect_number());
    return std::string(text);
};

// The token sits at line 2, column 3. A failed expect leaves it in place;
// every other operation takes it.
TEST(Cursor, OperationsReportAtTheTokenAndConsumeAsSpecified) {
    struct Case {
        std::string token;
        Op op;
        std::string result;
        std::string message;  // the one diagnostic, or none when empty
    };
    const Case cases[] = {
        {";", semicolon, "", ""},
        {"x", semicolon, "", "Expected ;, found 'x'"},
        {"", semicolon, "", "Expected ;, found '<EOF>'"},
        {"Node", node, "", "Expected node, found 'Node'"},
        {"\"ab\"", string, "ab", ""},
        {"42", string, "42", "Expected string literal"},
        {"", string, "<EOF>", "Expected string literal"},
        {"42", integer, "42", ""},
        {"0x10", integer, "16", ""},
        {"0x", integer, "0", "Invalid integer: '0x'"},
        {"0x100000000", integer, "0", "Integer out of range: '0x100000000'"},
        {"2.5", integer, "0", "Expected integer, found '2.5'"},
        {"\"7\"", integer, "0", "Expected integer, found '7'"},
        {"2.5", number, "2.5", ""},
        {"0x10", number, "16", ""},
        {"0x", number, "0", ""},  // strtod reads the "0"
        {"-1e400", number, "0", "Number out of range: '-1e400'"},
        {"1e-400", number, "0", ""},
        {"1e-310", number, "0", ""},
        {"x", number, "0", "Expected number, found 'x'"},
        {"", number, "0", "Expected number, found '<EOF>'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.token));
        Grammar parser("in.ncf", SourceText("\n  " + c.token));
        EXPECT_EQ(c.op(parser), c.result);
        const bool failed_expect = !c.message.empty() && (c.op == semicolon || c.op == node);
        EXPECT_EQ(parser.current().column, failed_expect ? 3u : 3u + c.token.size());
        EXPECT_EQ(messages(parser), c.message.empty() ? "" : c.message + "@2:3|");
    }
}

// Reports keep their order and repeats; the lexer's own report of the
// unterminated "abc" joins them only when parse() runs, which starts the list
// afresh and puts the lexer's reports last.
TEST(Cursor, DiagnosticsKeepTheirOrderAndLexerReportsWaitForParse) {
    Grammar parser("in.ncf", SourceText("x 5 \"abc"));
    parser.expect(TokenKind::Semicolon);
    parser.expect(TokenKind::Semicolon);
    parser.expect_integer();
    parser.expect_string();
    EXPECT_EQ(messages(parser),
              "Expected ;, found 'x'@1:1|Expected ;, found 'x'@1:1|Expected integer, found 'x'@1:1|"
              "Expected string literal@1:3|");
    EXPECT_EQ(parser.current().text, "abc");
    parser.parse();
    const std::string after = messages(parser);
    EXPECT_EQ(after.find("'x'"), std::string::npos) << after;
    EXPECT_TRUE(after.ends_with("|Unterminated string literal@1:5|")) << after;
}

}  // namespace

// The recovering reading through the C++ interface: one error for one fault,
// the tree read on after it, and the same tree as the strict reading gives
// when there is no fault.
TEST(RecoveringReading, ReportsAFaultOnceAndReadsOn) {
    const std::string fault =
        "node_capability_file;\nLIN_language_version = \"2.1\"\n"
        "node a { general { LIN_protocol_version = \"2.1\"; supplier = 1; function = 2; variant = 3; "
        "bitrate = 19.2 kbps; } diagnostic { NAD = 1; } frames { } status_management { response_error = e; } }";
    NcfParser parser = NcfParser::from_text("f.ncf", fault, tolvane::ParseOptions{.recover = true});
    const tolvane::NcfFile file = parser.parse();
    ASSERT_EQ(parser.get_diagnostics().size(), 1U);
    const tolvane::Diagnostic& only = parser.get_diagnostics().front();
    EXPECT_EQ(only.message, "Expected ';' after 'LIN_language_version = \"2.1\"'");
    EXPECT_EQ(std::pair(only.line, only.column), std::pair(std::uint64_t{2}, std::uint64_t{29}));
    EXPECT_EQ(file.language_version, "2.1");
    ASSERT_EQ(file.nodes.size(), 1U);
    EXPECT_EQ(file.nodes[0].general.variant_id, 3);

    NcfParser strict = NcfParser::from_text("f.ncf", fault);
    strict.parse();
    EXPECT_EQ(strict.get_diagnostics().front().line, 3U);  // at the next statement
}
