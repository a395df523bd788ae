// The parser object: construction from content or from a file, the
// byte-order mark, the cursor operations and their diagnostics, including
// the reports of numbers that cannot be represented.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <type_traits>

#include "parser/ncf_parser.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using tolvane::NcfParser;
using tolvane::TokenKind;

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
std::string tokens(NcfParser& parser) {
    std::string out;
    for (int guard = 0; guard < 100 && parser.current().kind != TokenKind::EndOfInput; ++guard) {
        const tolvane::Token& token = parser.current();
        out.append(token.text)
            .append("@" + std::to_string(token.line) + ":" + std::to_string(token.column) + " ");
        parser.advance();
    }
    return out + "EOF@" + std::to_string(parser.current().line) + ":" +
           std::to_string(parser.current().column);
}

void expect_cannot_open(const std::string& name) {
    static_assert(std::is_base_of_v<std::runtime_error, tolvane::CannotOpenFile>);
    try {
        NcfParser parser(name, "");
        ADD_FAILURE() << "no exception for " << testing::PrintToString(name);
    } catch (const tolvane::CannotOpenFile& error) {
        const std::string expected = "Cannot open file " + name;
        EXPECT_EQ(error.message(), expected);
        EXPECT_STREQ(error.what(), expected.c_str());  // cut at a NUL, as a C string is
    }
}

TEST_F(CursorFiles, ContentIsUsedAndTheFileNameOnlyReported) {
    for (const std::string& name : {std::string("no/such/file.ncf"), dir_.string()}) {
        NcfParser parser(name, "node");
        EXPECT_EQ(parser.current().kind, TokenKind::KwNode);
        parser.report_error("m");
        ASSERT_EQ(parser.get_diagnostics().size(), 1u);
        EXPECT_EQ(parser.get_diagnostics()[0].file, name);
    }
}

TEST_F(CursorFiles, ReadsTheNamedFileWhole) {
    NcfParser plain(write("a.ncf", "\r\nnode \"\xE9\" \0;"s), "");  // CR and NUL come through
    EXPECT_EQ(tokens(plain), "node@2:1 \xC3\xA9@2:6 \0@2:10 ;@2:11 EOF@2:12"s);
    NcfParser marked(write("b.ncf", "\xEF\xBB\xBFnode"), "");
    EXPECT_EQ(tokens(marked), "node@1:1 EOF@1:5");
    // Longer than any one read of the implementation.
    NcfParser large(write("c.ncf", std::string(3'000'001, ' ') + "node"), "");
    EXPECT_EQ(tokens(large), "node@1:3000002 EOF@1:3000006");
    NcfParser empty(write("d.ncf", ""), "");
    EXPECT_EQ(tokens(empty), "EOF@1:1");
    NcfParser nothing("", "");
    EXPECT_EQ(tokens(nothing), "EOF@1:1");
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

TEST(Cursor, ByteOrderMarkOnlyAtTheStartAndOnlyOnce) {
    const std::pair<std::string, std::string> cases[] = {
        {"\xEF\xBB\xBFnode", "node@1:1 EOF@1:5"},
        {"\xEF\xBB\xBF", "EOF@1:1"},
        {"\xEF\xBB", "\xEF@1:1 \xBB@1:2 EOF@1:3"},
        {" \xEF\xBB\xBF", "\xEF@1:2 \xBB@1:3 \xBF@1:4 EOF@1:5"},
        {"\xEF\xBB\xBF\xEF\xBB\xBF", "\xEF@1:1 \xBB@1:2 \xBF@1:3 EOF@1:4"},
    };
    for (const auto& [content, expected] : cases) {
        NcfParser parser("t.ncf", content);
        EXPECT_EQ(tokens(parser), expected) << testing::PrintToString(content);
    }
}

enum class Op { ExpectSemicolon, ExpectNode, String, Integer, Number };

struct CursorCase {
    std::string token;  // the token under the cursor, at line 2, column 3
    Op op;
    std::string result;   // what the operation yields, numbers as by %.17g
    std::string message;  // the one diagnostic, or none when empty
};

std::string run(NcfParser& parser, Op op) {
    char number[32] = "";
    switch (op) {
        case Op::ExpectSemicolon:
            parser.expect(TokenKind::Semicolon, ";");
            return "";
        case Op::ExpectNode:
            parser.expect(TokenKind::KwNode, "node");
            return "";
        case Op::String:
            return parser.expect_string();
        case Op::Integer:
            return std::to_string(parser.expect_integer());
        case Op::Number:
            std::snprintf(number, sizeof number, "%.17g", parser.expect_number());
            return number;
    }
    return "?";
}

TEST(Cursor, OperationsReportAtTheTokenAndConsumeAsSpecified) {
    using enum Op;
    const CursorCase cases[] = {
        {";", ExpectSemicolon, "", ""},
        {"x", ExpectSemicolon, "", "Expected ;, found 'x'"},
        {"", ExpectSemicolon, "", "Expected ;, found '<EOF>'"},
        {"Node", ExpectNode, "", "Expected node, found 'Node'"},
        {"\"ab\"", String, "ab", ""},
        {"42", String, "42", "Expected string literal"},
        {"", String, "<EOF>", "Expected string literal"},
        {"42", Integer, "42", ""},
        {"0x10", Integer, "16", ""},
        {"0x", Integer, "0", "Invalid integer: '0x'"},
        {"3000000000", Integer, "0", "Integer out of range: '3000000000'"},
        {"0x100000000", Integer, "0", "Integer out of range: '0x100000000'"},
        {"2.5", Integer, "0", "Expected integer, found '2.5'"},
        {"\"7\"", Integer, "0", "Expected integer, found '7'"},
        {"2.5", Number, "2.5", ""},
        {"0x10", Number, "16", ""},
        {"0x", Number, "0", ""},  // strtod reads the "0"
        {"1e400", Number, "0", "Number out of range: '1e400'"},
        {"-1e400", Number, "0", "Number out of range: '-1e400'"},
        {"1e-400", Number, "0", ""},
        {"1e-310", Number, "0", ""},
        {"x", Number, "0", "Expected number, found 'x'"},
        {"", Number, "0", "Expected number, found '<EOF>'"},
    };
    for (const CursorCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.token));
        NcfParser parser("in.ncf", "\n  " + c.token);
        EXPECT_EQ(run(parser, c.op), c.result);
        const bool failed_expect = !c.message.empty() && (c.op == ExpectSemicolon || c.op == ExpectNode);
        EXPECT_EQ(parser.current().column, failed_expect ? 3u : 3u + c.token.size());
        if (c.message.empty()) {
            EXPECT_TRUE(parser.get_diagnostics().empty());
            continue;
        }
        ASSERT_EQ(parser.get_diagnostics().size(), 1u);
        const tolvane::Diagnostic& d = parser.get_diagnostics()[0];
        EXPECT_EQ(d.message, c.message);
        EXPECT_EQ(d.severity, tolvane::Diagnostic::Severity::Error);
        EXPECT_EQ(d.file, "in.ncf");
        EXPECT_EQ(d.line, 2u);
        EXPECT_EQ(d.column, 3u);
    }
}

TEST(Cursor, DiagnosticsKeepTheirOrderAndRepeats) {
    NcfParser parser("in.ncf", "x 5");
    parser.expect(TokenKind::Semicolon, ";");
    parser.expect(TokenKind::Semicolon, ";");
    parser.expect_integer();
    parser.expect_string();
    std::string seen;
    for (const tolvane::Diagnostic& d : parser.get_diagnostics()) {
        seen += d.message + "@" + std::to_string(d.column) + "|";
    }
    EXPECT_EQ(seen,
              "Expected ;, found 'x'@1|Expected ;, found 'x'@1|Expected integer, found 'x'@1|"
              "Expected string literal@3|");
}

TEST(Cursor, LexerDiagnosticsWaitForParse) {
    NcfParser parser("in.ncf", "\"abc");
    EXPECT_EQ(parser.current().kind, TokenKind::String);
    EXPECT_EQ(parser.current().text, "abc");
    EXPECT_TRUE(parser.get_diagnostics().empty());
    parser.parse();
    ASSERT_FALSE(parser.get_diagnostics().empty());
    const tolvane::Diagnostic& last = parser.get_diagnostics().back();
    EXPECT_EQ(last.message, "Unterminated string literal");
    EXPECT_EQ(last.line, 1u);
    EXPECT_EQ(last.column, 1u);
}

}  // namespace
