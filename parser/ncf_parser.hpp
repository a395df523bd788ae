// The recursive-descent parser of node capability files.
//
// One member operation per construct of the language, each returning its
// record by value. Recovery is deliberately minimal and uniform: a failed
// keyword or punctuation expectation reports and consumes nothing; a failed
// value read reports and consumes one token; no rule skips ahead.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lexer/lexer.hpp"
#include "lexer/token.hpp"
#include "model/ncf_records.hpp"
#include "parser/source_text.hpp"

namespace tolvane {

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

class NcfParser {
public:
    // Parses `content` when it is not empty; otherwise reads the file named
    // `filename` when that is not empty. `filename` is in any case the name
    // every diagnostic and the parsed file report. Throws CannotOpenFile.
    NcfParser(std::string filename, SourceText content);
    NcfParser(std::string filename, std::string content)
        : NcfParser(std::move(filename), SourceText(std::move(content))) {}
    NcfParser(const NcfParser&) = delete;
    NcfParser& operator=(const NcfParser&) = delete;

    // Reads the whole input from the current token on. Each call clears the
    // diagnostics; the cursor is never rewound.
    NcfFile parse();
    void set_trace(bool on) { trace_ = on; }
    const std::vector<Diagnostic>& get_diagnostics() const { return diagnostics_; }

    // Cursor and reporting operations shared by the grammar rules.
    const Token& current() const { return current_; }
    void advance() { current_ = lexer_.next_token(); }
    // Consumes the current token if it has `kind`; otherwise reports
    // "Expected <spelling>, found '<text>'" and consumes nothing.
    void expect(TokenKind kind, std::string_view spelling) {
        if (at(kind)) {
            advance();
        } else {
            report_expected(spelling);
        }
    }
    std::string expect_string();
    std::int32_t expect_integer();
    double expect_number();
    void report_error(std::string message);

    // Grammar rules, one per construct.
    NcfFile ncf_file();
    std::string language_version();
    NcfNodeDef node_definition();
    NcfGeneralDef general_definition();
    NcfBitrateDefinition bitrate_definition();
    double bitrate_value();
    NcfDiagnosticDef diagnostic_definition();
    std::vector<NcfSingleFrame> frame_definition();
    NcfSingleFrame single_frame();
    NcfFrameProperties frame_properties();
    std::vector<NcfSignalDef> signal_definition();
    NcfSignalDef signal_entry();
    NcfSignalProperties signal_properties();
    std::vector<NcfEncodingEntry> encoding_definition();
    NcfEncodingEntry encoding_entry();
    NcfEncodingValue encoding_value();
    NcfStatusManagement status_management();
    std::string free_text();

private:
    // Writes a trace line on entry to a rule and on every way out of it, and
    // keeps the depth whether or not tracing is on.
    class TraceScope {
    public:
        TraceScope(NcfParser& parser, std::string_view label);
        ~TraceScope();
        TraceScope(const TraceScope&) = delete;
        TraceScope& operator=(const TraceScope&) = delete;

    private:
        NcfParser& parser_;
    };

    bool at(TokenKind kind) const { return current_.kind == kind; }
    void report_expected(std::string_view spelling);
    // The current token's text, taken whatever its kind, then consumed.
    std::string take_text();
    void write_trace_line(std::string_view event);

    void read_optional_general_statements(NcfGeneralDef& general);
    std::optional<bool> wake_up_signal_value();
    void read_optional_diagnostic_statements(NcfDiagnosticDef& diagnostic);
    std::optional<double> optional_time_statement(TokenKind keyword);
    std::optional<std::int32_t> optional_integer_statement(TokenKind keyword);
    NcfInitValue init_value();

    SourceText content_;
    Lexer lexer_;
    Token current_;
    std::string filename_;
    std::vector<Diagnostic> diagnostics_;
    bool trace_ = false;
    std::int32_t trace_depth_ = 0;
};

}  // namespace tolvane
