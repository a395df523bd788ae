// The top-level rule: header, language version and the node definitions.
#include "parser/grammar.hpp"

namespace tolvane::detail {

NcfFile Grammar::parse() {
    diagnostics_.clear();
    NcfFile file = ncf_file();
    // The lexer's own reports come after the grammar's, every time: its list
    // is never cleared.
    const std::vector<Diagnostic>& lexer_reports = lexer_.diagnostics();
    const std::size_t grammar_reports = diagnostics_.size();
    diagnostics_.insert(diagnostics_.end(), lexer_reports.begin(), lexer_reports.end());
    if (recover_) {
        finish_recovering(grammar_reports);
    }
    release_list_buffers();
    return file;
}

// A parser that is kept after its parse keeps no room for lists it will not
// read.
void Grammar::release_list_buffers() {
    frames_buffer_ = {};
    signals_buffer_ = {};
    entries_buffer_ = {};
    values_buffer_ = {};
    integers_buffer_ = {};
    integer_positions_buffer_ = {};
    inline_encodings_ = {};
}

// ncf_file: "node_capability_file" ";" language_version { node_definition }
// Any top-level token other than `node` is reported and ends the parse (the
// recovering reading goes on at the next `node`).
NcfFile Grammar::ncf_file() {
    NcfFile file;
    file.filename = filename_;
    file.positions.start = here();
    TraceScope trace(*this, "ncf_file");
    expect(TokenKind::KwNodeCapabilityFile);
    expect(TokenKind::Semicolon);
    end_statement();
    file.language_version = language_version(file.positions.language_version);
    for (;;) {
        static constexpr TokenKind node_keyword = TokenKind::KwNode;
        if (at(TokenKind::KwNode) || misspells_one_of({&node_keyword, 1})) {
            file.nodes.push_back(node_definition());
        } else if (!skip_foreign_blocks(true) && !(recover_ && !at(TokenKind::EndOfInput) && skip_to_next_node())) {
            break;
        }
    }
    if (lenient_) {
        take_event_triggered_declarations(file);
    }
    // The tree outlives the parse: give back what the list grew beyond its size.
    file.nodes.shrink_to_fit();
    if (!at(TokenKind::EndOfInput)) {
        report_error("Unexpected token at top level: '" + std::string(current_.text) + "'");
    }
    return file;
}

// language_version: "LIN_language_version" "=" string ";"
std::string Grammar::language_version(SourcePosition& position) {
    TraceScope trace(*this, "language_version");
    expect(TokenKind::KwLinLanguageVersion);
    expect(TokenKind::Equals);
    position = here();
    std::string version = expect_string();
    expect(TokenKind::Semicolon);
    end_statement();
    return version;
}

}  // namespace tolvane::detail
