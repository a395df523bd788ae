// The parser of node capability files: text in, a tree of records and a list
// of diagnostics out. Parsing never stops at the first problem: every problem
// in the text becomes a Diagnostic and parse() always returns a best-effort
// tree. The only failure that throws is a named file that cannot be read.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "../model/comment.hpp"
#include "../model/diagnostic.hpp"
#include "../model/ncf_records.hpp"
#include "source_text.hpp"

namespace tolvane {

namespace detail {
class Grammar;
}

// A named input file that could not be read. The message keeps the whole
// name, NUL bytes included, which what() (a C string) would cut short.
class CannotOpenFile : public std::runtime_error {
public:
    explicit CannotOpenFile(std::string filename);
    const std::string& message() const { return message_; }
    const std::string& filename() const { return filename_; }

private:
    std::string filename_;
    std::string message_;
};

// Receives each trace line, line feed included. It is called while parse()
// runs, also from the destructors that close a rule's trace scope, so it must
// not throw.
using TraceSink = std::function<void(std::string_view line)>;

// How the text is read. By default strictly by the grammar of the language.
// `lenient` also accepts, where the grammar would report an error, the
// constructs of older (LIN 2.0, SAE J2602) and vendor files: a bit rate
// without a unit, `error_response`, statements in another order, `#` comment
// lines, foreign blocks and statements (skipped), inline encodings. Each
// acceptance is one Warning diagnostic with a "dialect-..." code that says
// what was made of the construct and what was not kept. Input that the
// strict reading accepts without a diagnostic reads the same either way, but
// for one construct the grammar allows and older files mean otherwise: a
// frame of length 0 without signals that other frames of the file name as
// their event-triggered frame is read as that frame's declaration, and left
// out of the tree.
//
// `recover` reads on after a fault the way compilers do, and reports each
// fault once: a missing ";", "{", "=" or unit is taken as present, a token
// that does not belong is skipped, a statement that cannot be read is
// skipped to its end, an unknown block by brace balance, a missing "}" is
// noticed where the next block begins, and an unexpected token at the top
// level is skipped to the next node. Input without errors reads the same
// either way.
struct ParseOptions {
    bool lenient = false;
    bool recover = false;
};

class NcfParser {
public:
    // Parses `content` when it is not empty; otherwise reads the file named
    // `filename` when that is not empty. `filename` is in any case the name
    // every diagnostic and the parsed file report. Throws CannotOpenFile.
    NcfParser(std::string filename, SourceText content, ParseOptions options = {});
    NcfParser(std::string filename, std::string content, ParseOptions options = {});

    // Reads the file `filename` (always, even when it is empty). Throws
    // CannotOpenFile.
    static NcfParser from_file(std::string filename, ParseOptions options = {});
    // Parses `text` (never a file, even when the text is empty); `filename`
    // is only the name that diagnostics and the parsed file report.
    static NcfParser from_text(std::string filename, SourceText text, ParseOptions options = {});
    static NcfParser from_text(std::string filename, std::string text, ParseOptions options = {});

    NcfParser(NcfParser&&) noexcept;
    NcfParser& operator=(NcfParser&&) noexcept;
    ~NcfParser();

    // Reads the whole input from where the previous call stopped and returns
    // a new, independent tree. Each call replaces the diagnostics.
    NcfFile parse();
    // The diagnostics of the latest parse(), in the order found.
    const std::vector<Diagnostic>& get_diagnostics() const;
    // Every comment of the text (with `lenient`, "#" lines too), in its
    // order: found the first time they are asked for, by reading the text
    // again, since the reading itself keeps none. Their texts are views into
    // text(), valid while the parser lives.
    const std::vector<Comment>& get_comments() const;
    // The text being read, as it was given or read from the file.
    std::string_view text() const;

    // With the trace on, parse() writes one line for each grammar rule it
    // enters and leaves, to the process's standard output, or to `sink`
    // once one is set (an empty sink goes back to standard output).
    void set_trace(bool on);
    void set_trace_sink(TraceSink sink);

private:
    explicit NcfParser(std::unique_ptr<detail::Grammar> grammar);

    std::unique_ptr<detail::Grammar> grammar_;
};

}  // namespace tolvane
