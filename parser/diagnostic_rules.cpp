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
    diagnostic.positions.start = here();
    expect(TokenKind::KwDiagnostic);
    expect(TokenKind::LeftBrace);
    if (lenient_) {
        read_diagnostic_statements_in_any_order(diagnostic);
    } else {
        read_nad_statement(diagnostic);
        read_optional_diagnostic_statements(diagnostic);
    }
    rest_of_block(Block::Diagnostic, [&] { read_diagnostic_statement(current_.kind, diagnostic); });
    expect(TokenKind::RightBrace);
    return diagnostic;
}

// "NAD" "=" integer [ "to" integer | { "," integer } ] ";", read whatever the
// current token is.
void Grammar::read_nad_statement(NcfDiagnosticDef& diagnostic) {
    NcfDiagnosticDef::Positions& positions = diagnostic.positions;
    positions.nad = here();
    if (statement_missing(TokenKind::KwNad)) {
        positions.nad_lhs = here();
        return;
    }
    expect(TokenKind::KwNad);
    expect(TokenKind::Equals);
    // A statement read again (the recovering reading reads a repeat)
    // replaces the whole value, a range or a list.
    diagnostic.nad_rhs.reset();
    positions.nad_rhs = {};
    diagnostic.nad_list.clear();
    positions.nad_list.clear();
    positions.nad_lhs = here();
    diagnostic.nad_lhs = expect_integer();
    static constexpr TokenKind range = TokenKind::KwTo;
    misspells_one_of({&range, 1});
    // A range and a list exclude each other: after a range no "," is looked for.
    if (accept(TokenKind::KwTo)) {
        positions.nad_rhs = here();
        diagnostic.nad_rhs = expect_integer();
    } else {
        while (list_goes_on(TokenKind::Semicolon)) {
            positions.nad_list.push_back(here());
            diagnostic.nad_list.push_back(expect_integer());
        }
    }
    expect(TokenKind::Semicolon);
    end_statement();
}

// Each optional statement is tested once, in this fixed order.
void Grammar::read_optional_diagnostic_statements(NcfDiagnosticDef& diagnostic) {
    for (const TokenKind keyword :
         {TokenKind::KwDiagnosticClass, TokenKind::KwP2Min, TokenKind::KwStMin, TokenKind::KwNAsTimeout,
          TokenKind::KwNCrTimeout, TokenKind::KwSupportSid, TokenKind::KwMaxMessageLength}) {
        read_optional_diagnostic_statement(keyword, diagnostic);
    }
}

// The optional statement that `keyword` opens, read only when it is current.
void Grammar::read_optional_diagnostic_statement(TokenKind keyword, NcfDiagnosticDef& diagnostic) {
    NcfDiagnosticDef::Positions& positions = diagnostic.positions;
    switch (keyword) {
        case TokenKind::KwDiagnosticClass:
            if (auto value = optional_integer_statement(keyword, positions.diagnostic_class)) {
                diagnostic.diagnostic_class = value;
            }
            break;
        case TokenKind::KwP2Min:
            if (auto value = optional_time_statement(keyword, positions.p2_min)) {
                diagnostic.p2_min = value;
            }
            break;
        case TokenKind::KwStMin:
            if (auto value = optional_time_statement(keyword, positions.st_min)) {
                diagnostic.st_min = value;
            }
            break;
        case TokenKind::KwNAsTimeout:
            if (auto value = optional_time_statement(keyword, positions.n_as_timeout)) {
                diagnostic.n_as_timeout = value;
            }
            break;
        case TokenKind::KwNCrTimeout:
            if (auto value = optional_time_statement(keyword, positions.n_cr_timeout)) {
                diagnostic.n_cr_timeout = value;
            }
            break;
        case TokenKind::KwSupportSid:
            read_support_sid_statement(diagnostic);
            break;
        default:
            if (auto value = optional_integer_statement(keyword, positions.max_message_length)) {
                diagnostic.max_message_length = value;
            }
            break;
    }
}

// "support_sid" "{" integer { "," integer } "}" ";", read only when its
// keyword is current.
void Grammar::read_support_sid_statement(NcfDiagnosticDef& diagnostic) {
    if (!at(TokenKind::KwSupportSid)) {
        return;
    }
    const Place keyword = place();
    diagnostic.positions.support_sid = here();
    advance_within_statement();  // the keyword
    if (accept_support_sid_assignment(diagnostic, keyword)) {
        end_statement();
        return;
    }
    expect(TokenKind::LeftBrace);
    read_integer_list(diagnostic.support_sids, diagnostic.positions.support_sids);
    expect_list_end();
    expect(TokenKind::Semicolon);
    end_statement();
}

// Older and vendor files write the statements of `diagnostic` in any order.
void Grammar::read_diagnostic_statements_in_any_order(NcfDiagnosticDef& diagnostic) {
    static constexpr TokenKind order[] = {
        TokenKind::KwNad,        TokenKind::KwDiagnosticClass,  TokenKind::KwP2Min,
        TokenKind::KwStMin,      TokenKind::KwNAsTimeout,       TokenKind::KwNCrTimeout,
        TokenKind::KwSupportSid, TokenKind::KwMaxMessageLength,
    };
    StatementsInAnyOrder section("diagnostic", "the diagnostic section", order, 1);
    bool stray_reported = false;
    do {
        while (const std::optional<TokenKind> statement = next_statement(section)) {
            read_diagnostic_statement(*statement, diagnostic);
        }
    } while (skip_stray_in(Block::Diagnostic, stray_reported));
    if (!stray_reported) {
        report_missing_statements(section);
    }
    if (section.missing(TokenKind::KwNad)) {
        // Where the strict reading would have looked for it.
        diagnostic.positions.nad = diagnostic.positions.nad_lhs = here();
    }
}

// The statement of `diagnostic` that `keyword` opens, which is current.
void Grammar::read_diagnostic_statement(TokenKind keyword, NcfDiagnosticDef& diagnostic) {
    if (keyword == TokenKind::KwNad) {
        read_nad_statement(diagnostic);
    } else {
        read_optional_diagnostic_statement(keyword, diagnostic);
    }
}

// integer { "," integer }: the first integer is read whatever the token is.
void Grammar::read_integer_list(std::vector<std::int32_t>& values, std::vector<SourcePosition>& positions) {
    do {
        integer_positions_buffer_.push_back(here());
        integers_buffer_.push_back(expect_integer());
    } while (list_goes_on(TokenKind::RightBrace));
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
    end_statement();
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
    end_statement();
    return value;
}

}  // namespace tolvane::detail
