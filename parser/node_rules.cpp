// A node definition, its general section and the bit rate.
#include "parser/grammar.hpp"

namespace tolvane::detail {

// node_definition: "node" name "{" general_definition diagnostic_definition
//     frame_definition [encoding_definition] status_management [free_text] "}"
// The sections have a fixed order; a missing one is not skipped, its rule runs
// anyway and reports its own expectations (the recovering reading reports it
// once, and reads on).
NcfNodeDef Grammar::node_definition() {
    static constexpr TokenKind encoding_keyword = TokenKind::KwEncoding;
    static constexpr TokenKind free_text_keyword = TokenKind::KwFreeText;
    TraceScope trace(*this, "node_definition");
    NcfNodeDef node;
    node.positions.start = here();
    expect(TokenKind::KwNode);
    in_node_ = true;
    node.name = take_name(node.positions.name);
    expect(TokenKind::LeftBrace);
    if (!section_missing(TokenKind::KwGeneral)) {
        node.general = general_definition();
    }
    skip_foreign_blocks(false);
    if (!section_missing(TokenKind::KwDiagnostic)) {
        node.diagnostic = diagnostic_definition();
    }
    skip_foreign_blocks(false);
    if (!section_missing(TokenKind::KwFrames)) {
        node.frames = frame_definition();
    }
    skip_foreign_blocks(false);
    skip_stray_before_section();
    if (at(TokenKind::KwEncoding) || misspells_one_of({&encoding_keyword, 1})) {
        node.encodings = encoding_definition();
        skip_foreign_blocks(false);
    }
    take_inline_encodings(node.encodings);
    if (!section_missing(TokenKind::KwStatusManagement)) {
        node.status = status_management();
    }
    skip_stray_before_section();
    if (at(TokenKind::KwFreeText) || misspells_one_of({&free_text_keyword, 1})) {
        node.free_text = free_text(node.positions.free_text);
    }
    rest_of_block(Block::Node, [] {});
    expect(TokenKind::RightBrace);
    in_node_ = false;
    return node;
}

// general_definition: "general" "{"
//     "LIN_protocol_version" "=" string ";"  "supplier" "=" integer ";"
//     "function" "=" integer ";"  "variant" "=" integer ";"
//     "bitrate" "=" bitrate_definition ";"
//     ["sends_wake_up_signal" "=" ("yes" | "no" | string) ";"]
//     ["volt_range" "=" number "," number ";"]  ["temp_range" "=" number "," number ";"]
//     ["conformance" "=" string ";"] "}"
NcfGeneralDef Grammar::general_definition() {
    TraceScope trace(*this, "general_definition");
    NcfGeneralDef general;
    general.positions.start = here();
    expect(TokenKind::KwGeneral);
    expect(TokenKind::LeftBrace);

    if (lenient_) {
        read_general_statements_in_any_order(general);
    } else {
        read_protocol_version_statement(general);
        general.supplier_id = integer_statement(TokenKind::KwSupplier, general.positions.supplier_id);
        general.function_id = integer_statement(TokenKind::KwFunction, general.positions.function_id);
        general.variant_id = integer_statement(TokenKind::KwVariant, general.positions.variant_id);
        read_bitrate_statement(general);
        read_optional_general_statements(general);
    }
    rest_of_block(Block::General, [&] { read_general_statement(current_.kind, general); });
    expect(TokenKind::RightBrace);
    return general;
}

// "LIN_protocol_version" "=" string ";", read whatever the current token is.
void Grammar::read_protocol_version_statement(NcfGeneralDef& general) {
    if (statement_missing(TokenKind::KwLinProtocolVersion)) {
        general.positions.protocol_version = here();
        return;
    }
    expect(TokenKind::KwLinProtocolVersion);
    expect(TokenKind::Equals);
    general.positions.protocol_version = here();
    general.protocol_version = expect_string();
    expect(TokenKind::Semicolon);
    end_statement();
}

// keyword "=" integer ";", read whatever the current token is.
std::int32_t Grammar::integer_statement(TokenKind keyword, SourcePosition& position) {
    if (statement_missing(keyword)) {
        position = here();
        return 0;
    }
    expect(keyword);
    expect(TokenKind::Equals);
    position = here();
    const std::int32_t value = expect_integer();
    expect(TokenKind::Semicolon);
    end_statement();
    return value;
}

// "bitrate" "=" bitrate_definition ";", read whatever the current token is.
void Grammar::read_bitrate_statement(NcfGeneralDef& general) {
    if (statement_missing(TokenKind::KwBitrate)) {
        return;
    }
    expect(TokenKind::KwBitrate);
    expect(TokenKind::Equals);
    general.bitrate = bitrate_definition();
    expect(TokenKind::Semicolon);
    end_statement();
}

// Each optional statement is tested once, in this fixed order.
void Grammar::read_optional_general_statements(NcfGeneralDef& general) {
    for (const TokenKind keyword : {TokenKind::KwSendsWakeUpSignal, TokenKind::KwVoltRange,
                                    TokenKind::KwTempRange, TokenKind::KwConformance}) {
        read_optional_general_statement(keyword, general);
    }
}

// The optional statement that `keyword` opens, read only when it is current.
void Grammar::read_optional_general_statement(TokenKind keyword, NcfGeneralDef& general) {
    NcfGeneralDef::Positions& positions = general.positions;
    switch (keyword) {
        case TokenKind::KwSendsWakeUpSignal:
            read_wake_up_signal_statement(general);
            break;
        case TokenKind::KwVoltRange:
            read_range_statement(keyword, positions.volt_range, general.volt_from, positions.volt_from,
                                 general.volt_to, positions.volt_to);
            break;
        case TokenKind::KwTempRange:
            read_range_statement(keyword, positions.temp_range, general.temp_from, positions.temp_from,
                                 general.temp_to, positions.temp_to);
            break;
        default:
            read_conformance_statement(general);
            break;
    }
}

// Older and vendor files write the statements of `general` in any order, and
// J2602 files add a response tolerance.
void Grammar::read_general_statements_in_any_order(NcfGeneralDef& general) {
    static constexpr TokenKind order[] = {
        TokenKind::KwLinProtocolVersion,
        TokenKind::KwSupplier,
        TokenKind::KwFunction,
        TokenKind::KwVariant,
        TokenKind::KwBitrate,
        TokenKind::KwSendsWakeUpSignal,
        TokenKind::KwVoltRange,
        TokenKind::KwTempRange,
        TokenKind::KwConformance,
    };
    static constexpr ForeignStatement foreign[] = {
        {"response_tolerance", "dialect-response-tolerance", "J2602 response tolerance"},
    };
    StatementsInAnyOrder section("general", "the general section", order, 5, foreign);
    bool stray_reported = false;
    do {
        while (const std::optional<TokenKind> statement = next_statement(section)) {
            read_general_statement(*statement, general);
        }
    } while (skip_stray_in(Block::General, stray_reported));
    if (!stray_reported) {
        report_missing_statements(section);
    }
    place_missing_statements(section, general);
}

// The statement of `general` that `keyword` opens, which is current.
void Grammar::read_general_statement(TokenKind keyword, NcfGeneralDef& general) {
    NcfGeneralDef::Positions& positions = general.positions;
    switch (keyword) {
        case TokenKind::KwLinProtocolVersion:
            read_protocol_version_statement(general);
            break;
        case TokenKind::KwSupplier:
            general.supplier_id = integer_statement(TokenKind::KwSupplier, positions.supplier_id);
            break;
        case TokenKind::KwFunction:
            general.function_id = integer_statement(TokenKind::KwFunction, positions.function_id);
            break;
        case TokenKind::KwVariant:
            general.variant_id = integer_statement(TokenKind::KwVariant, positions.variant_id);
            break;
        case TokenKind::KwBitrate:
            read_bitrate_statement(general);
            break;
        default:
            read_optional_general_statement(keyword, general);
            break;
    }
}

// A mandatory statement that is missing keeps its default value at the
// place where the strict reading would have looked for it, the section's
// "}": positions inside the input for whatever reports about the value. (A
// missing bit rate stays a record the text never gave.)
void Grammar::place_missing_statements(const StatementsInAnyOrder& section, NcfGeneralDef& general) {
    NcfGeneralDef::Positions& positions = general.positions;
    const std::pair<TokenKind, SourcePosition*> mandatory[] = {
        {TokenKind::KwLinProtocolVersion, &positions.protocol_version},
        {TokenKind::KwSupplier, &positions.supplier_id},
        {TokenKind::KwFunction, &positions.function_id},
        {TokenKind::KwVariant, &positions.variant_id},
    };
    for (const auto& [keyword, position] : mandatory) {
        if (section.missing(keyword)) {
            *position = here();
        }
    }
}

// "sends_wake_up_signal" "=" ("yes" | "no" | string) ";", read only when its
// keyword is current.
void Grammar::read_wake_up_signal_statement(NcfGeneralDef& general) {
    if (!accept(TokenKind::KwSendsWakeUpSignal)) {
        return;
    }
    expect(TokenKind::Equals);
    const SourcePosition value_position = here();
    general.sends_wake_up_signal = wake_up_signal_value();
    // A statement read again (the recovering reading reads a repeat) leaves
    // no position of the value it replaced.
    general.positions.sends_wake_up_signal = general.sends_wake_up_signal ? value_position : SourcePosition{};
    expect(TokenKind::Semicolon);
    end_statement();
}

// "conformance" "=" string ";", read only when its keyword is current.
void Grammar::read_conformance_statement(NcfGeneralDef& general) {
    if (!accept(TokenKind::KwConformance)) {
        return;
    }
    expect(TokenKind::Equals);
    general.positions.conformance = here();
    general.conformance = expect_string();
    expect(TokenKind::Semicolon);
    end_statement();
}

// keyword "=" number "," number ";", read only when `keyword` is current.
void Grammar::read_range_statement(TokenKind keyword, SourcePosition& keyword_position,
                                   std::optional<double>& from, SourcePosition& from_position,
                                   std::optional<double>& to, SourcePosition& to_position) {
    if (!at(keyword)) {
        return;
    }
    keyword_position = here();
    advance_within_statement();  // the keyword
    expect(TokenKind::Equals);
    from_position = here();
    from = expect_number();
    expect(TokenKind::Comma);
    to_position = here();
    to = expect_number();
    expect(TokenKind::Semicolon);
    end_statement();
}

// "yes" | "no" | string: a string counts as true only when it is exactly yes.
// Anything else is reported and left in place, and the value stays absent.
std::optional<bool> Grammar::wake_up_signal_value() {
    std::optional<bool> value;
    if (at(TokenKind::KwYes)) {
        value = true;
    } else if (at(TokenKind::KwNo)) {
        value = false;
    } else if (at(TokenKind::String)) {
        value = current_.text == "yes";
    } else if (static constexpr TokenKind answers[] = {TokenKind::KwYes, TokenKind::KwNo};
               misspells_one_of(answers)) {
        value = at(TokenKind::KwYes);
    } else {
        report_error("Expected 'yes' or 'no'");
        return value;
    }
    advance_within_statement();  // the value
    return value;
}

// bitrate_definition: "automatic" ["min" bitrate_value] ["max" bitrate_value]
//                   | "select" "{" bitrate_value {"," bitrate_value} "}"
//                   | bitrate_value
NcfBitrateDefinition Grammar::bitrate_definition() {
    TraceScope trace(*this, "bitrate_definition");
    NcfBitrateDefinition bitrate;
    bitrate.positions.start = here();
    static constexpr TokenKind kinds[] = {TokenKind::KwAutomatic, TokenKind::KwSelect};
    misspells_one_of(kinds);
    if (accept(TokenKind::KwAutomatic)) {
        bitrate.type = "automatic";
        static constexpr TokenKind bounds[] = {TokenKind::KwMin, TokenKind::KwMax};
        misspells_one_of(bounds);
        if (accept(TokenKind::KwMin)) {
            bitrate.positions.min_br = here();
            bitrate.min_br = bitrate_value();
            misspells_one_of({&bounds[1], 1});
        }
        if (accept(TokenKind::KwMax)) {
            bitrate.positions.max_br = here();
            bitrate.max_br = bitrate_value();
        }
    } else if (accept(TokenKind::KwSelect)) {
        bitrate.type = "select";
        expect(TokenKind::LeftBrace);
        do {
            bitrate.positions.rates.push_back(here());
            bitrate.rates.push_back(bitrate_value());
        } while (list_goes_on(TokenKind::RightBrace));
        expect_list_end();
    } else {
        bitrate.type = "fixed";
        bitrate.fixed_rate = bitrate_value();
    }
    return bitrate;
}

// bitrate_value: number "kbps"   (no trace scope of its own)
double Grammar::bitrate_value() {
    const bool is_number = at(TokenKind::Integer) || at(TokenKind::Real);
    const Token number = current_;
    const double rate = expect_number();
    // Only where the statement or the list goes on: "19.2 kbs" is a wrong
    // unit, not a missing one.
    const bool rate_ends =
        at(TokenKind::Semicolon) || at(TokenKind::Comma) || at(TokenKind::RightBrace) || at(TokenKind::KwMax);
    if (lenient_ && is_number && rate_ends) {
        return rate_without_unit(rate, number.text, {number.line, number.column});
    }
    expect(TokenKind::KwKbps);
    return rate;
}

}  // namespace tolvane::detail
