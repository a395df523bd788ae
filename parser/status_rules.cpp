// Status management and free text, the last sections of a node.
#include "parser/ncf_parser.hpp"

namespace tolvane {

// status_management: "status_management" "{" "response_error" "=" name ";"
//     ["fault_state_signals" "=" name { "," name } ";"] "}"
// A name is any single token, whatever its kind.
NcfStatusManagement NcfParser::status_management() {
    TraceScope trace(*this, "status_management");
    NcfStatusManagement status;
    expect(TokenKind::KwStatusManagement, "status_management");
    expect(TokenKind::LeftBrace, "{");
    expect(TokenKind::KwResponseError, "response_error");
    expect(TokenKind::Equals, "=");
    status.response_error = take_text();
    expect(TokenKind::Semicolon, ";");
    if (at(TokenKind::KwFaultStateSignals)) {
        advance();
        expect(TokenKind::Equals, "=");
        status.fault_state_signals.push_back(take_text());
        while (at(TokenKind::Comma)) {
            advance();
            status.fault_state_signals.push_back(take_text());
        }
        expect(TokenKind::Semicolon, ";");
    }
    expect(TokenKind::RightBrace, "}");
    return status;
}

// free_text: "free_text" "{" string "}"
std::string NcfParser::free_text() {
    TraceScope trace(*this, "free_text");
    expect(TokenKind::KwFreeText, "free_text");
    expect(TokenKind::LeftBrace, "{");
    std::string text = expect_string();
    expect(TokenKind::RightBrace, "}");
    return text;
}

}  // namespace tolvane
