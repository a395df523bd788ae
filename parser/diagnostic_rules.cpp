// The diagnostic section of a node.
#include "parser/grammar.hpp"

namespace tolvane::detail {

// diagnostic_definition: "diagnostic" "{"
//     "NAD" "=" integer [ "to" integer | { "," integer } ] ";"
//     ["diagnostic_class" "=" integer ";"]
//     ["P2_min" "=" number "ms" ";"]  ["ST_min" "=" number "ms" ";"]
//     ["N_As_timeout" "=" number "ms" ";"]  ["N_Cr_timeout" "=" number "ms" ";"]
//     ["support_sid" "{" integer { "," integer } "}" ";"]
//     ["max_message_length" "=" integer ";"] "}"
NcfDiagnosticDef Grammar::diagnostic_definition() {
    TraceScope trace(*this, "diagnostic_definition");
    NcfDiagnosticDef diagnostic;
    NcfDiagnosticDef::Positions& positions = diagnostic.positions;
    positions.start = here();
    expect(TokenKind::KwDiagnostic);
    expect(TokenKind::LeftBrace);
    positions.nad = here();
    expect(TokenKind::KwNad);
    expect(TokenKind::Equals);
    positions.nad_lhs = here();
    diagnostic.nad_lhs = expect_integer();
    // A range and a list exclude each other: after a range no "," is looked for.
    if (accept(TokenKind::KwTo)) {
        positions.nad_rhs = here();
        diagnostic.nad_rhs = expect_integer();
    } else {
        while (accept(TokenKind::Comma)) {
            positions.nad_list.push_back(here());
            diagnostic.nad_list.push_back(expect_integer());
        }
    }
    expect(TokenKind::Semicolon);
    read_optional_diagnostic_statements(diagnostic);
    expect(TokenKind::RightBrace);
    return diagnostic;
}

// Each optional statement is tested once, in this fixed order.
void Grammar::read_optional_diagnostic_statements(NcfDiagnosticDef& diagnostic) {
    NcfDiagnosticDef::Positions& positions = diagnostic.positions;
    if (auto value = optional_integer_statement(TokenKind::KwDiagnosticClass, positions.diagnostic_class)) {
        diagnostic.diagnostic_class = value;
    }
    if (auto value = optional_time_statement(TokenKind::KwP2Min, positions.p2_min)) {
        diagnostic.p2_min = value;
    }
    if (auto value = optional_time_statement(TokenKind::KwStMin, positions.st_min)) {
        diagnostic.st_min = value;
    }
    if (auto value = optional_time_statement(TokenKind::KwNAsTimeout, positions.n_as_timeout)) {
        diagnostic.n_as_timeout = value;
    }
    if (auto value = optional_time_statement(TokenKind::KwNCrTimeout, positions.n_cr_timeout)) {
        diagnostic.n_cr_timeout = value;
    }
    if (at(TokenKind::KwSupportSid)) {
        positions.support_sid = here();
        advance();
        expect(TokenKind::LeftBrace);
        read_integer_list(diagnostic.support_sids, positions.support_sids);
        expect(TokenKind::RightBrace);
        expect(TokenKind::Semicolon);
    }
    if (auto value =
            optional_integer_statement(TokenKind::KwMaxMessageLength, positions.max_message_length)) {
        diagnostic.max_message_length = value;
    }
}

// integer { "," integer }: the first integer is read whatever the token is.
void Grammar::read_integer_list(std::vector<std::int32_t>& values, std::vector<SourcePosition>& positions) {
    do {
        integer_positions_buffer_.push_back(here());
        integers_buffer_.push_back(expect_integer());
    } while (accept(TokenKind::Comma));
    values = take_list(integers_buffer_);
    positions = take_list(integer_positions_buffer_);
}

// keyword "=" integer ";", read only when `keyword` is current.
std::optional<std::int32_t> Grammar::optional_integer_statement(TokenKind keyword, SourcePosition& position) {
    if (!accept(keyword)) {
        return std::nullopt;
    }
    expect(TokenKind::Equals);
    position = here();
    const std::int32_t value = expect_integer();
    expect(TokenKind::Semicolon);
    return value;
}

// keyword "=" number "ms" ";", read only when `keyword` is current.
std::optional<double> Grammar::optional_time_statement(TokenKind keyword, SourcePosition& position) {
    if (!accept(keyword)) {
        return std::nullopt;
    }
    expect(TokenKind::Equals);
    position = here();
    const double value = expect_number();
    expect(TokenKind::KwMs);
    expect(TokenKind::Semicolon);
    return value;
}

}  // namespace tolvane::detail
