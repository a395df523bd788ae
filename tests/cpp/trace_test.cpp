// The trace of rule entry and exit, byte for byte as it reaches the process's
// standard output (TraceScope).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "parser/grammar.hpp"
#include "parser/ncf_parser.hpp"

#ifdef _WIN32
#include <io.h>
#define dup _dup
#define dup2 _dup2
#define close _close
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

using namespace std::string_literals;
using tolvane::NcfParser;

// Everything written to file descriptor 1 while it lives, whether through
// stdio or not.
class StdoutCapture {
public:
    StdoutCapture() : file_(std::tmpfile()) {
        std::fflush(stdout);
        saved_ = dup(1);
        dup2(fileno(file_), 1);
    }
    ~StdoutCapture() { restore(); }
    std::string text() {
        restore();
        std::string out;
        std::rewind(file_);
        for (int c; (c = std::fgetc(file_)) != EOF;) {
            out.push_back(static_cast<char>(c));
        }
        return out;
    }

private:
    void restore() {
        if (saved_ >= 0) {
            std::fflush(stdout);
            dup2(saved_, 1);
            close(saved_);
            saved_ = -1;
        }
    }
    std::FILE* file_;
    int saved_ = -1;
};

constexpr const char* header = "node_capability_file;\nLIN_language_version = \"2.1\";\n";

// The token text is shown as the lexer delivers it, re-encoded.
TEST(Trace, EntryAndExitLinesByteForByte) {
    NcfParser parser("t.ncf", header + "\"\xE9\""s);
    parser.set_trace(true);
    StdoutCapture capture;
    parser.parse();
    EXPECT_EQ(capture.text(),
              "[TRACE] ENTER ncf_file at 1:1 ('node_capability_file')\n"
              "  [TRACE] ENTER language_version at 2:1 ('LIN_language_version')\n"
              "  [TRACE] EXIT at 3:1 ('\xC3\xA9')\n"
              "[TRACE] EXIT at 3:1 ('\xC3\xA9')\n");
}

// Off by default. While off nothing is written, yet the depth still returns
// to where it was after every rule, so later lines are indented as if the
// trace had always been on; set_trace takes effect at the next line.
TEST(Trace, SwitchingOnAndOffBetweenRules) {
    const std::string input =
        header + std::string(header) + "LIN_language_version = \"b\";\n" + "LIN_language_version = \"c\";\n";
    tolvane::detail::Grammar parser("t.ncf", tolvane::SourceText(input));
    StdoutCapture capture;
    parser.ncf_file();  // the first header; stops at the second
    parser.set_trace(true);
    parser.ncf_file();  // the second header; stops at the version statement after it
    parser.set_trace(false);
    tolvane::SourcePosition version;
    parser.language_version(version);
    parser.set_trace(true);
    parser.language_version(version);
    EXPECT_EQ(capture.text(),
              "[TRACE] ENTER ncf_file at 3:1 ('node_capability_file')\n"
              "  [TRACE] ENTER language_version at 4:1 ('LIN_language_version')\n"
              "  [TRACE] EXIT at 5:1 ('LIN_language_version')\n"
              "[TRACE] EXIT at 5:1 ('LIN_language_version')\n"
              "[TRACE] ENTER language_version at 6:1 ('LIN_language_version')\n"
              "[TRACE] EXIT at 7:1 ('<EOF>')\n");
}

// A C++ caller may take the lines itself: they then bypass standard output,
// each line whole with its line feed, and an empty sink restores the default.
TEST(Trace, LinesGoToASinkWhenOneIsSet) {
    NcfParser parser("t.ncf", header);
    std::string lines;
    parser.set_trace(true);
    parser.set_trace_sink([&lines](std::string_view line) { lines.append("<").append(line).append(">"); });
    StdoutCapture capture;
    parser.parse();
    parser.set_trace_sink({});
    parser.parse();
    EXPECT_EQ(lines,
              "<[TRACE] ENTER ncf_file at 1:1 ('node_capability_file')\n>"
              "<  [TRACE] ENTER language_version at 2:1 ('LIN_language_version')\n>"
              "<  [TRACE] EXIT at 3:1 ('<EOF>')\n>"
              "<[TRACE] EXIT at 3:1 ('<EOF>')\n>");
    EXPECT_EQ(capture.text().substr(0, 43), "[TRACE] ENTER ncf_file at 3:1 ('<EOF>')\n  [");
}

}  // namespace
