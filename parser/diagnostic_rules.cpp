// The diagnostic section of a node.
#include "parser/ncf_parser.hpp"

namespace tolvane {

// diagnostic_definition: "diagnostic" "{"
//     "NAD" "=" integer [ "to" integer | { "," integer } ] ";"
//     ["diagnostic_class" "=" integer ";"]
//     ["P2_min" "=" number "ms" ";"]  ["ST_min" "=" number "ms" ";"]
//     ["N_As_timeout" "=" number "ms" ";"]  ["N_Cr_timeout" "=" number "ms" ";"]
//     ["support_sid" "{" integer { "," integer } "}" ";"]
//     ["max_message_length" "=" integer ";"] "}"
NcfDiagnosticDef NcfParser::diagnostic_definition() {
    TraceScope trace(*this, "diagnostic_definition");
    NcfDiagnosticDef diagnostic;
    expect(TokenKind::KwDiagnostic, "diagnostic");
    expect(TokenKind::LeftBrace, "{");
    expect(TokenKind::KwNad, "NAD");
    expect(TokenKind::Equals, "=");
    diagnostic.nad_lhs = expect_integer();
    // A range and a list exclude each other: after a range no "," is looked for.
    if (at(TokenKind::KwTo)) {
        advance();
        diagnostic.nad_rhs = expect_integer();
    } else {
        while (at(TokenKind::Comma)) {
            advance();
            diagnostic.nad_list.push_back(expect_integer());
        }
    }
    expect(TokenKind::Semicolon, ";");
    read_optional_diagnostic_statements(diagnostic);
    expect(TokenKind::RightBrace, "}");
    return diagnostic;
}

// Each optional statement is tested once, in this fixed order.
void NcfParser::read_optional_diagnostic_statements(NcfDiagnosticDef& diagnostic) {
    if (auto value = optional_integer_statement(TokenKind::KwDiagnosticClass)) {
        diagnostic.diagnostic_class = value;
    }
    if (auto value = optional_time_statement(TokenKind::KwP2Min)) {
        diagnostic.p2_min = value;
    }
    if (auto value = optional_time_statement(TokenKind::KwStMin)) {
        diagnostic.st_min = value;
    }
    if (auto value = optional_time_statement(TokenKind::KwNAsTimeout)) {
        diagnostic.n_as_timeout = value;
    }
    if (auto value = optional_time_statement(TokenKind::KwNCrTimeout)) {
        diagnostic.n_cr_timeout = value;
    }
    if (at(TokenKind::KwSupportSid)) {
        advance();
        expect(TokenKind::LeftBrace, "{");
        diagnostic.support_sids.push_back(expect_integer());
        while (at(TokenKind::Comma)) {
            advance();
            diagnostic.support_sids.push_back(expect_integer());
        }
        expect(TokenKind::RightBrace, "}");
        expect(TokenKind::Semicolon, ";");
    }
    if (auto value = optional_integer_statement(TokenKind::KwMaxMessageLength)) {
        diagnostic.max_message_length = value;
    }
}

// keyword "=" integer ";", read only when `keyword` is current.
std::optional<std::int32_t> NcfParser::optional_integer_statement(TokenKind keyword) {
    if (!at(keyword)) {
        return std::nullopt;
    }
    advance();
    expect(TokenKind::Equals, "=");
    const std::int32_t value = expect_integer();
    expect(TokenKind::Semicolon, ";");
    return value;
}

// keyword "=" number "ms" ";", read only when `keyword` is current.
std::optional<double> NcfParser::optional_time_statement(TokenKind keyword) {
    if (!at(keyword)) {
        return std::nullopt;
    }
    advance();
    expect(TokenKind::Equals, "=");
    const double value = expect_number();
    expect(TokenKind::KwMs, "ms");
    expect(TokenKind::Semicolon, ";");
    return value;
}

}  // namespace tolvane
