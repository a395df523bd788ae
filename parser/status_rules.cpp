// Status management and free text, the last sections of a node.
#include "parser/grammar.hpp"

namespace tolvane::detail {

// status_management: "status_management" "{" "response_error" "=" name ";"
//     ["fault_state_signals" "=" name { "," name } ";"] "}"
// A name is any single token, whatever its kind.
NcfStatusManagement Grammar::status_management() {
    TraceScope trace(*this, "status_management");
    NcfStatusManagement status;
    status.positions.start = here();
    if (report_missing_section(TokenKind::KwStatusManagement)) {
        return status;
    }
    expect(TokenKind::KwStatusManagement);
    expect(TokenKind::LeftBrace);
    read_response_error_statement(status);
    read_fault_state_signals_statement(status);
    rest_of_block(Block::Status, [&] {
        if (at(TokenKind::KwResponseError)) {
            read_response_error_statement(status);
        } else {
            read_fault_state_signals_statement(status);
        }
    });
    expect(TokenKind::RightBrace);
    return status;
}

// "response_error" "=" name ";", read whatever the current token is.
void Grammar::read_response_error_statement(NcfStatusManagement& status) {
    if (!accept_error_response_spelling()) {
        if (statement_missing(TokenKind::KwResponseError)) {
            status.positions.response_error = here();
            return;
        }
        expect(TokenKind::KwResponseError);
    }
    expect(TokenKind::Equals);
    status.response_error = take_name(status.positions.response_error);
    expect(TokenKind::Semicolon);
    end_statement();
}

// "fault_state_signals" "=" name { "," name } ";", read only when its
// keyword is current.
void Grammar::read_fault_state_signals_statement(NcfStatusManagement& status) {
    if (!accept(TokenKind::KwFaultStateSignals)) {
        return;
    }
    expect(TokenKind::Equals);
    // A statement read again (the recovering reading reads a repeat)
    // replaces the list.
    status.fault_state_signals.clear();
    status.positions.fault_state_signals.clear();
    do {
        SourcePosition& position = status.positions.fault_state_signals.emplace_back();
        status.fault_state_signals.push_back(take_name(position));
    } while (list_goes_on(TokenKind::Semicolon));
    expect(TokenKind::Semicolon);
    end_statement();
}

// free_text: "free_text" "{" string "}"
std::string Grammar::free_text(SourcePosition& position) {
    TraceScope trace(*this, "free_text");
    expect(TokenKind::KwFreeText);
    expect(TokenKind::LeftBrace);
    position = here();
    std::string text = expect_string();
    expect(TokenKind::RightBrace);
    return text;
}

}  // namespace tolvane::detail
