// The recursive-descent grammar of node capability files, behind the public
// NcfParser: the cursor, the one way of reporting, the trace, and one member
// operation per construct of the language, each returning its record by
// value.
//
// Recovery is deliberately minimal and uniform: a failed keyword or
// punctuation expectation reports and consumes nothing; a failed value read
// reports and consumes one token; no rule skips ahead.
//
// Internal: not installed with the public headers. The cursor and the rules
// are public members only so that the C++ tests can drive them one by one.
#pragma once

#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lexer/lexer.hpp"
#include "lexer/token.hpp"
#include "model/ncf_records.hpp"
#include "parser/ncf_parser.hpp"
#include "parser/source_text.hpp"

namespace tolvane::detail {

// A list gathered in `buffer`, handed over at exactly its size; the buffer is
// left empty with its capacity, for the next list of the same kind.
template <class T>
std::vector<T> take_list(std::vector<T>& buffer) {
    std::vector<T> list(std::make_move_iterator(buffer.begin()), std::make_move_iterator(buffer.end()));
    buffer.clear();
    return list;
}

class Grammar {
public:
    // Parses `content` (never a file); `filename` is the name every
    // diagnostic and the parsed file report.
    Grammar(std::string filename, SourceText content);
    Grammar(const Grammar&) = delete;
    Grammar& operator=(const Grammar&) = delete;

    // Reads the whole input from the current token on. Each call clears the
    // diagnostics; the cursor is never rewound.
    NcfFile parse();
    void set_trace(bool on) { trace_ = on; }
    void set_trace_sink(TraceSink sink) { trace_sink_ = std::move(sink); }
    const std::vector<Diagnostic>& get_diagnostics() const { return diagnostics_; }

    // --- the cursor and reporting ---------------------------------------------
    const Token& current() const { return current_; }
    bool at(TokenKind kind) const { return current_.kind == kind; }
    void advance() { current_ = lexer_.next_token(); }
    // Consumes the current token if it has `kind`, and says whether it did.
    bool accept(TokenKind kind) {
        if (!at(kind)) {
            return false;
        }
        advance();
        return true;
    }
    // Consumes the current token if it has `kind`; otherwise reports
    // "Expected <spelling of kind>, found '<text>'" and consumes nothing.
    void expect(TokenKind kind) {
        if (!accept(kind)) {
            report_expected(spelling_of(kind));
        }
    }
    std::string expect_string();
    std::int32_t expect_integer();
    double expect_number();
    void report_error(std::string message);
    // Where the current token begins, as the records keep it.
    SourcePosition here() const { return SourcePosition::at(current_.line, current_.column); }

    // --- grammar rules, one per construct -------------------------------------
    NcfFile ncf_file();
    // The rules that return a bare text also give where it stood.
    std::string language_version(SourcePosition& position);
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
    std::string free_text(SourcePosition& position);

private:
    // Writes a trace line on entry to a rule and on every way out of it, and
    // keeps the depth whether or not tracing is on.
    class TraceScope {
    public:
        TraceScope(Grammar& grammar, std::string_view label);
        ~TraceScope();
        TraceScope(const TraceScope&) = delete;
        TraceScope& operator=(const TraceScope&) = delete;

    private:
        Grammar& grammar_;
    };

    void report_expected(std::string_view spelling);
    // The current token's text, taken whatever its kind, then consumed.
    std::string take_text();
    // The same, noting where the token stood.
    std::string take_text(SourcePosition& position) {
        position = here();
        return take_text();
    }
    void write_trace_line(std::string_view event);
    void release_list_buffers();

    std::int32_t integer_statement(TokenKind keyword, SourcePosition& position);
    void read_optional_general_statements(NcfGeneralDef& general);
    std::optional<bool> wake_up_signal_value();
    void read_range_statement(TokenKind keyword, SourcePosition& keyword_position,
                              std::optional<double>& from, SourcePosition& from_position,
                              std::optional<double>& to, SourcePosition& to_position);
    void read_optional_diagnostic_statements(NcfDiagnosticDef& diagnostic);
    std::optional<std::int32_t> optional_integer_statement(TokenKind keyword, SourcePosition& position);
    std::optional<double> optional_time_statement(TokenKind keyword, SourcePosition& position);
    void read_integer_list(std::vector<std::int32_t>& values, std::vector<SourcePosition>& positions);
    void read_period_statement(TokenKind keyword, std::optional<std::int32_t>& period,
                               SourcePosition& position);
    NcfInitValue init_value();
    std::optional<std::string> optional_text_info();
    NcfLogicalValue logical_value(SourcePosition start);
    NcfPhysicalRange physical_range(SourcePosition start);

    SourceText content_;
    Lexer lexer_;
    Token current_;
    std::string filename_;
    std::vector<Diagnostic> diagnostics_;
    bool trace_ = false;
    std::int32_t trace_depth_ = 0;
    TraceSink trace_sink_;  // empty: the process's standard output

    // Where the lists of the tree are gathered: one buffer per kind of list,
    // each kept with its capacity from one list to the next, so that a list
    // costs one allocation of its exact size and the tree, which outlives
    // the parse, holds no spare capacity. No rule reads a list of its own
    // kind inside another, so one buffer per kind is enough.
    std::vector<NcfSingleFrame> frames_buffer_;
    std::vector<NcfSignalDef> signals_buffer_;
    std::vector<NcfEncodingEntry> entries_buffer_;
    std::vector<NcfEncodingValue> values_buffer_;
    std::vector<std::int32_t> integers_buffer_;
    std::vector<SourcePosition> integer_positions_buffer_;
};

}  // namespace tolvane::detail
