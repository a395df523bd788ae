// The recursive-descent grammar of node capability files, behind the public
// NcfParser: the cursor, the one way of reporting, the trace, and one member
// operation per construct of the language, each returning its record by
// value.
//
// Recovery is deliberately minimal and uniform: a failed keyword or
// punctuation expectation reports and consumes nothing; a failed value read
// reports and consumes one token; no rule skips ahead. The recovering
// reading (ParseOptions::recover, recovery.cpp) adds what a compiler does:
// each fault reported once, and reading on after it.
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
    // Every comment of the text, found by reading it again the first time
    // they are asked for: the reading itself keeps none.
    const std::vector<Comment>& comments() const;
    std::string_view text() const { return content_.view(); }

    // --- the cursor and reporting ---------------------------------------------
    const Token& current() const { return current_; }
    bool at(TokenKind kind) const { return current_.kind == kind; }
    void advance() {
        if (recover_ && ends_statement(current_.kind)) {
            note_statement_end();
        }
        current_ = lexer_.next_token();
    }
    // Moves past a token that ends no statement (a keyword, a name, a
    // value), which the recovering reading need not note.
    void advance_within_statement() { current_ = lexer_.next_token(); }
    // Consumes the current token if it has `kind`, and says whether it did.
    bool accept(TokenKind kind) {
        if (!at(kind)) {
            return false;
        }
        if (recover_ && ends_statement(kind)) {  // a test the compiler folds, `kind` being known
            note_statement_end();
        }
        current_ = lexer_.next_token();
        return true;
    }
    // Consumes the current token if it has `kind`; otherwise reports
    // "Expected <spelling of kind>, found '<text>'" and consumes nothing.
    // The recovering reading first tries to explain the fault by one token
    // that is missing or does not belong.
    void expect(TokenKind kind) {
        if (!accept(kind)) {
            if (recover_) {
                recover_expected(kind);
            } else {
                report_expected(spelling_of(kind));
            }
        }
    }
    // In a list of values that `end` ends: whether another item follows (a
    // "," is taken), past one token that does not belong before that ","
    // (reported, when the reading recovers).
    bool list_goes_on(TokenKind end) {
        return accept(TokenKind::Comma) || (recover_ && skip_stray_before_comma(end));
    }
    // The "}" that ends a list of values. The recovering reading reports
    // what stands before it, and skips it up to the "}" or to where the
    // statement has plainly ended.
    void expect_list_end() {
        if (!recover_ || at(TokenKind::RightBrace)) {
            expect(TokenKind::RightBrace);
        } else {
            skip_to_list_end();
        }
    }
    void skip_to_list_end();
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

    // --- the recovering reading (recovery.cpp) -----------------------------------
    // After a fault, what the rules would report is its consequence and is
    // dropped, and a value that cannot be read takes no token, until the
    // statement or block that the fault damaged ends. Each operation here
    // does nothing unless the reading recovers.
    enum class Block { Node, General, Diagnostic, Frames, Frame, Signals, Signal, Encodings, Encoding, Status };
    // Skips what is left of a statement that a fault damaged. Inline, as
    // every statement ends here.
    void end_statement() {
        if (recover_ && panic_) {
            skip_statement_rest();
            panic_ = false;
        }
    }
    // Reads what is left before the "}" of a block of kind `block`: a member
    // of the block where its grammar did not look for one (read_member()
    // reads it), or a token that does not belong, skipped with its statement
    // or block; the first of them is reported, the rest are its
    // consequences. Stops where a construct outside the block begins: the
    // block's "}" is missing there.
    template <class ReadMember>
    void rest_of_block(Block block, ReadMember read_member) {
        if (!recover_) {
            return;
        }
        end_statement();
        bool reported = false;
        while (!at(TokenKind::RightBrace) && !begins_outside(block)) {
            if (!begins_member(block)) {
                skip_stray(block, reported);
                continue;
            }
            if (!reported) {
                report_out_of_place(current_);
                reported = true;
            }
            read_member();
            end_statement();
        }
    }
    // A token that does not belong where a member of `block` is due:
    // reported unless `reported` (then set), and skipped with the statement
    // or block it begins.
    void skip_stray(Block block, bool& reported);
    // The same inside a section whose statements the lenient reading takes
    // in any order: only what is neither the block's end nor a member of it.
    // Says whether it skipped.
    bool skip_stray_in(Block block, bool& reported) {
        return recover_ && skip_stray_in_any_order(block, reported);
    }
    bool skip_stray_in_any_order(Block block, bool& reported);
    // After a signal's encoding reference, which comes last: whether the
    // signal goes on all the same, reported unless `reported` (then set).
    bool statement_after_reference(bool& reported);
    // An identifier one or two edits away from `keyword`, where the grammar
    // needs that keyword, is taken as it: "Expected <keyword>, found
    // '<identifier>'". Says whether it was.
    bool misspells(TokenKind keyword);
    // The same where one of `keywords` may stand, and it is not known which
    // was meant: "Unknown keyword '<identifier>'; did you mean
    // '<keyword>'?", unless `quiet`.
    bool misspells_one_of(std::span<const TokenKind> keywords, bool quiet = false);
    // The statement `keyword` opens, which the grammar needs here, is
    // missing: reported once, and a statement of an unknown name in its
    // place is skipped (a misspelt `keyword` is taken as it). Says whether it
    // was missing.
    bool statement_missing(TokenKind keyword) {
        return recover_ && !panic_ && !at(keyword) && keyword_statement_missing(keyword);
    }
    bool keyword_statement_missing(TokenKind keyword);
    // The same for the section `keyword` opens; a block of an unknown name
    // in its place is skipped by brace balance.
    bool section_missing(TokenKind keyword);
    // A token that does not belong before a section: reported, and skipped.
    void skip_stray_before_section() {
        if (recover_) {
            skip_stray_before_a_section();
        }
    }
    void skip_stray_before_a_section();
    // After the name of an entry of a list (a signal, an encoding), whether
    // that name was a stray before the next entry's name, reported once; the
    // caller reads the name again. A name right before the list's "}" is a
    // stray too: reported, and the entry is left out of the list.
    bool name_was_a_stray(const Token& name) {
        return recover_ && (at(TokenKind::RightBrace) || at(TokenKind::Identifier)) && entry_name_was_a_stray(name);
    }
    bool entry_name_was_a_stray(const Token& name);
    template <class Entry>
    void add_entry(std::vector<Entry>& list, Entry entry) {
        if (stray_entry_) {
            stray_entry_ = false;
        } else {
            list.push_back(std::move(entry));
        }
    }
    // At the top level, after a token that is not `node`: reported once, and
    // reading goes on at the next `node`. Says whether there is one.
    bool skip_to_next_node();

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
    // A value that cannot be represented: reported, but it does not derail
    // the reading.
    void report_value_error(std::string message);

    // The recovering reading's own cursor work (recovery.cpp). It notes the
    // tokens that end a statement or open a block as they are taken, and
    // nothing else: the token before the current one is read again from the
    // latest of them, only when a fault asks where it was.
    static constexpr bool ends_statement(TokenKind kind) {
        return kind == TokenKind::Semicolon || kind == TokenKind::LeftBrace || kind == TokenKind::RightBrace;
    }
    void note_statement_end() {
        last_statement_end_ = {current_.kind, {current_.line, current_.column}, lexer_.mark()};
        statement_start_offset_ = last_statement_end_.end.offset;
        // A statement or block that ended takes the consequences of its
        // fault with it.
        panic_ = panic_ && current_.kind == TokenKind::LeftBrace;
    }
    void recover_expected(TokenKind kind);
    bool plainly_missing(TokenKind kind) const;
    void push_error(std::uint64_t line, std::uint64_t column, std::string message);
    void report_at(const Token& token, std::string message);
    // A token that has been taken: its kind, where it begins, and where the
    // lexer stood just past it.
    struct TakenToken {
        TokenKind kind = TokenKind::Unknown;
        std::pair<std::uint64_t, std::uint64_t> start{1, 1};
        Lexer::Mark end;
    };
    // The token taken just before the token at `place` (by default, the
    // current one), which none of the tokens that ends a statement noted
    // since is.
    TakenToken token_before(std::pair<std::uint64_t, std::uint64_t> place) const;
    TakenToken previous_token() const { return token_before({current_.line, current_.column}); }
    // "Expected '<spelling>' after '<the statement so far>'", just past the
    // latest token taken or past `end`.
    void report_missing_after(std::string_view spelling);
    void report_missing_after(std::string_view spelling, Lexer::Mark end);
    void report_out_of_place(const Token& token);
    std::string expected_found(std::string_view spelling) const;
    bool begins_outside(Block block);
    bool begins_member(Block block) const;
    bool starts_statement() const;
    // The kind of the token after the current one, which the current one
    // would be a stray before; Unknown when the current one cannot be a
    // stray (it ends a statement or a block, or starts one).
    TokenKind kind_after_a_stray();
    bool ends_statement_here() const;
    bool skip_stray_before_comma(TokenKind end);
    // Whether the name that is current is a signal's encoding reference (and
    // not a misspelt statement or the next signal's name).
    bool ends_encoding_reference();
    bool begins_value() const;
    // Whether the current token may be a misspelt keyword: an identifier,
    // and not the name of a block that the lenient reading skips.
    bool may_be_misspelt();
    void skip_statement_rest();
    void skip_braced_block();
    void skip_to_next_member();
    // A name, which the strict reading takes whatever the token is; the
    // recovering one leaves punctuation to what follows, and reports it.
    std::string take_name(SourcePosition& position) {
        if (recover_ && is_punctuation(current_.kind) && !take_stray_before_name()) {
            position = here();
            return {};  // the token is left to what follows
        }
        position = here();
        return take_text();
    }
    static constexpr bool is_punctuation(TokenKind kind) {
        return kind == TokenKind::LeftBrace || kind == TokenKind::RightBrace || kind == TokenKind::Semicolon ||
               kind == TokenKind::Equals || kind == TokenKind::Comma || kind == TokenKind::EndOfInput;
    }
    // Before a name, punctuation that does not belong, reported; skipped
    // when a name follows it. Says whether a name is there to take.
    bool take_stray_before_name();
    // The parse's diagnostics in the order of their places, without the
    // errors after a string literal that is not closed (the lexer's reports
    // begin at `lexer_reports`): that string ran to the end of the input.
    void finish_recovering(std::size_t lexer_reports);
    // The current token's text, then consumed: a name or a value, which the
    // recovering reading never takes at a token that ends a statement.
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
    void read_general_statement(TokenKind keyword, NcfGeneralDef& general);
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
    void read_diagnostic_statement(TokenKind keyword, NcfDiagnosticDef& diagnostic);
    void read_optional_diagnostic_statements(NcfDiagnosticDef& diagnostic);
    void read_optional_diagnostic_statement(TokenKind keyword, NcfDiagnosticDef& diagnostic);
    void read_support_sid_statement(NcfDiagnosticDef& diagnostic);
    std::optional<std::int32_t> optional_integer_statement(TokenKind keyword, SourcePosition& position);
    std::optional<double> optional_time_statement(TokenKind keyword, SourcePosition& position);
    void read_integer_list(std::vector<std::int32_t>& values, std::vector<SourcePosition>& positions);
    void read_length_statement(NcfFrameProperties& properties);
    void read_frame_statements_in_any_order(NcfFrameProperties& properties);
    void read_frame_statement(NcfSingleFrame& frame);
    void read_period_statement(TokenKind keyword, std::optional<std::int32_t>& period,
                               SourcePosition& position);
    void read_event_triggered_frame_statement(NcfFrameProperties& properties);
    void read_response_error_statement(NcfStatusManagement& status);
    void read_fault_state_signals_statement(NcfStatusManagement& status);
    NcfInitValue init_value();
    void read_rest_of_array(NcfInitValue& value);
    void expect_signal_statement_end() {
        if (!recover_ || panic_ || !at(TokenKind::Identifier) || !signal_reference_follows()) {
            expect(TokenKind::Semicolon);
        }
        end_statement();
    }
    bool signal_reference_follows();
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
    bool recover_;
    // The recovering reading's state: a fault reported and not yet ended;
    // an entry of a list found to be a stray name (left out of its list);
    // whether a node is being read; the latest token taken that ends a
    // statement or opens a block, and the token that token_before() found
    // last (where it reads on from next time); and where the statement
    // being read begins.
    bool panic_ = false;
    bool stray_entry_ = false;
    bool in_node_ = false;
    TakenToken last_statement_end_;
    mutable TakenToken found_before_;
    std::size_t statement_start_offset_ = 0;
    Lexer lexer_;
    Token current_;
    std::string filename_;
    std::vector<Diagnostic> diagnostics_;
    mutable std::optional<std::vector<Comment>> comments_;
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
