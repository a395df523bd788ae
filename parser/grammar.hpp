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
#include <span>
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

// A statement of older or vendor files that the lenient reading skips
// inside one section: its name, the warning's code, and what it is.
struct ForeignStatement {
    std::string_view name;
    std::string_view code;
    std::string_view meaning;
};

// The lenient reading of a section whose statements may stand in any order:
// its statements in the standard order (the mandatory ones first) and what
// has been read so far.
struct StatementsInAnyOrder {
    StatementsInAnyOrder(std::string_view section_name, std::string_view record_holder,
                         std::span<const TokenKind> standard_order, std::size_t mandatory_count,
                         std::span<const ForeignStatement> foreign_statements = {})
        : section(section_name),
          holder(record_holder),
          order(standard_order),
          mandatory(mandatory_count),
          foreign(foreign_statements) {}

    std::string_view section;  // as the warnings name it: "general", "diagnostic", "frame"
    std::string_view holder;   // what has no field for a skipped statement
    std::span<const TokenKind> order;
    std::size_t mandatory;
    std::span<const ForeignStatement> foreign;
    std::uint32_t read = 0;               // bit i: order[i] has been read
    std::optional<std::size_t> furthest;  // the latest statement in the standard order read so far
    bool order_reported = false;

    // Whether the section ended without the statement `keyword`.
    bool missing(TokenKind keyword) const {
        for (std::size_t i = 0; i < order.size(); ++i) {
            if (order[i] == keyword) {
                return (read & (std::uint32_t{1} << i)) == 0;
            }
        }
        return false;
    }
};

class Grammar {
public:
    // Parses `content` (never a file); `filename` is the name every
    // diagnostic and the parsed file report.
    Grammar(std::string filename, SourceText content, ParseOptions options = {});
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
    // Where the current token begins, as diagnostics keep it.
    struct Place {
        std::uint64_t line;
        std::uint64_t column;
    };
    Place place() const { return {current_.line, current_.column}; }
    // Only the lenient reading warns, each time it accepts a construct of an
    // older or vendor dialect.
    void report_warning(std::string_view code, Place where, std::string message);
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

    void read_protocol_version_statement(NcfGeneralDef& general);
    std::int32_t integer_statement(TokenKind keyword, SourcePosition& position);
    void read_bitrate_statement(NcfGeneralDef& general);
    void read_general_statements_in_any_order(NcfGeneralDef& general);
    void read_optional_general_statements(NcfGeneralDef& general);
    void read_optional_general_statement(TokenKind keyword, NcfGeneralDef& general);
    void read_wake_up_signal_statement(NcfGeneralDef& general);
    void read_conformance_statement(NcfGeneralDef& general);
    std::optional<bool> wake_up_signal_value();
    void read_range_statement(TokenKind keyword, SourcePosition& keyword_position,
                              std::optional<double>& from, SourcePosition& from_position,
                              std::optional<double>& to, SourcePosition& to_position);
    void read_nad_statement(NcfDiagnosticDef& diagnostic);
    void read_diagnostic_statements_in_any_order(NcfDiagnosticDef& diagnostic);
    void read_optional_diagnostic_statements(NcfDiagnosticDef& diagnostic);
    void read_optional_diagnostic_statement(TokenKind keyword, NcfDiagnosticDef& diagnostic);
    void read_support_sid_statement(NcfDiagnosticDef& diagnostic);
    std::optional<std::int32_t> optional_integer_statement(TokenKind keyword, SourcePosition& position);
    std::optional<double> optional_time_statement(TokenKind keyword, SourcePosition& position);
    void read_integer_list(std::vector<std::int32_t>& values, std::vector<SourcePosition>& positions);
    void read_length_statement(NcfFrameProperties& properties);
    void read_frame_statements_in_any_order(NcfFrameProperties& properties);
    void read_period_statement(TokenKind keyword, std::optional<std::int32_t>& period,
                               SourcePosition& position);
    void read_event_triggered_frame_statement(NcfFrameProperties& properties);
    NcfInitValue init_value();
    std::optional<std::string> optional_text_info();
    NcfLogicalValue logical_value(SourcePosition start);
    NcfPhysicalRange physical_range(SourcePosition start);

    // --- the lenient reading of older and vendor files (dialect_rules.cpp) ---
    // A warning placed before the diagnostics from `index` on, for a
    // construct whose reading reported problems before it was recognised.
    void insert_warning(std::size_t index, std::string_view code, Place where, std::string message);
    // Each is called where the strict grammar would report an error, and does
    // nothing unless the reading is lenient.
    double rate_without_unit(double rate, std::string_view text, Place where);
    // The kind of the next statement of `section` to read, or none when the
    // current token starts none (or one already read). Skips the section's
    // foreign statements and warns once when the order is not the standard
    // one.
    std::optional<TokenKind> next_statement(StatementsInAnyOrder& section);
    void report_missing_statements(const StatementsInAnyOrder& section);
    void place_missing_statements(const StatementsInAnyOrder& section, NcfGeneralDef& general);
    bool skip_foreign_statement(const StatementsInAnyOrder& section);
    // Skips, by brace balance, blocks that are neither nodes (at the top
    // level) nor sections (inside a node); says whether there was one.
    bool skip_foreign_blocks(bool top_level);
    bool starts_foreign_block();
    void skip_foreign_block(bool top_level);
    bool accept_error_response_spelling();
    bool accept_keyword_as_signal_name();
    bool report_missing_section(TokenKind keyword);
    bool accept_support_sid_assignment(NcfDiagnosticDef& diagnostic, Place keyword);
    bool read_inline_encoding(NcfSignalProperties& properties);
    void take_inline_encodings(std::vector<NcfEncodingEntry>& encodings);
    void take_event_triggered_declarations(NcfFile& file);

    SourceText content_;
    bool lenient_;
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
    // Encodings defined inside the signals of the node being read (lenient
    // reading only); they join the node's encodings.
    std::vector<NcfEncodingEntry> inline_encodings_;
};

}  // namespace tolvane::detail
