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
    if (!accept_error_response_spelling()) {
        expect(TokenKind::KwResponseError);
    }
    expect(TokenKind::Equals);
    status.response_error = take_text(status.positions.response_error);
    expect(TokenKind::Semicolon);
    if (accept(TokenKind::KwFaultStateSignals)) {
        expect(TokenKind::Equals);
        do {
            status.positions.fault_state_signals.push_back(here());
            status.fault_state_signals.push_back(take_text());
        } while (accept(TokenKind::Comma));
        expect(TokenKind::Semicolon);
    }
    expect(TokenKind::RightBrace);
    return status;
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
