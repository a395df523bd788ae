// A node definition, its general section and the bit rate.
#include "parser/grammar.hpp"

namespace tolvane::detail {

// node_definition: "node" name "{" general_definition diagnostic_definition
//     frame_definition [encoding_definition] status_management [free_text] "}"
// The sections have a fixed order; a missing one is not skipped, its rule runs
// anyway and reports its own expectations.
NcfNodeDef Grammar::node_definition() {
    TraceScope trace(*this, "node_definition");
    NcfNodeDef node;
    node.positions.start = here();
    expect(TokenKind::KwNode);
    node.name = take_text(node.positions.name);
    expect(TokenKind::LeftBrace);
    node.general = general_definition();
    node.diagnostic = diagnostic_definition();
    node.frames = frame_definition();
    if (at(TokenKind::KwEncoding)) {
        node.encodings = encoding_definition();
    }
    node.status = status_management();
    if (at(TokenKind::KwFreeText)) {
        node.free_text = free_text(node.positions.free_text);
    }
    expect(TokenKind::RightBrace);
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

    expect(TokenKind::KwLinProtocolVersion);
    expect(TokenKind::Equals);
    general.positions.protocol_version = here();
    general.protocol_version = expect_string();
    expect(TokenKind::Semicolon);

    general.supplier_id = integer_statement(TokenKind::KwSupplier, general.positions.supplier_id);
    general.function_id = integer_statement(TokenKind::KwFunction, general.positions.function_id);
    general.variant_id = integer_statement(TokenKind::KwVariant, general.positions.variant_id);

    expect(TokenKind::KwBitrate);
    expect(TokenKind::Equals);
    general.bitrate = bitrate_definition();
    expect(TokenKind::Semicolon);

    read_optional_general_statements(general);
    expect(TokenKind::RightBrace);
    return general;
}

// keyword "=" integer ";", read whatever the current token is.
std::int32_t Grammar::integer_statement(TokenKind keyword, SourcePosition& position) {
    expect(keyword);
    expect(TokenKind::Equals);
    position = here();
    const std::int32_t value = expect_integer();
    expect(TokenKind::Semicolon);
    return value;
}

// Each optional statement is tested once, in this fixed order.
void Grammar::read_optional_general_statements(NcfGeneralDef& general) {
    NcfGeneralDef::Positions& positions = general.positions;
    if (accept(TokenKind::KwSendsWakeUpSignal)) {
        expect(TokenKind::Equals);
        const SourcePosition value_position = here();
        general.sends_wake_up_signal = wake_up_signal_value();
        if (general.sends_wake_up_signal) {
            positions.sends_wake_up_signal = value_position;
        }
        expect(TokenKind::Semicolon);
    }
    read_range_statement(TokenKind::KwVoltRange, positions.volt_range, general.volt_from, positions.volt_from,
                         general.volt_to, positions.volt_to);
    read_range_statement(TokenKind::KwTempRange, positions.temp_range, general.temp_from, positions.temp_from,
                         general.temp_to, positions.temp_to);
    if (accept(TokenKind::KwConformance)) {
        expect(TokenKind::Equals);
        positions.conformance = here();
        general.conformance = expect_string();
        expect(TokenKind::Semicolon);
    }
}

// keyword "=" number "," number ";", read only when `keyword` is current.
void Grammar::read_range_statement(TokenKind keyword, SourcePosition& keyword_position,
                                   std::optional<double>& from, SourcePosition& from_position,
                                   std::optional<double>& to, SourcePosition& to_position) {
    if (!at(keyword)) {
        return;
    }
    keyword_position = here();
    advance();
    expect(TokenKind::Equals);
    from_position = here();
    from = expect_number();
    expect(TokenKind::Comma);
    to_position = here();
    to = expect_number();
    expect(TokenKind::Semicolon);
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
    } else {
        report_error("Expected 'yes' or 'no'");
        return value;
    }
    advance();
    return value;
}

// bitrate_definition: "automatic" ["min" bitrate_value] ["max" bitrate_value]
//                   | "select" "{" bitrate_value {"," bitrate_value} "}"
//                   | bitrate_value
NcfBitrateDefinition Grammar::bitrate_definition() {
    TraceScope trace(*this, "bitrate_definition");
    NcfBitrateDefinition bitrate;
    bitrate.positions.start = here();
    if (accept(TokenKind::KwAutomatic)) {
        bitrate.type = "automatic";
        if (accept(TokenKind::KwMin)) {
            bitrate.positions.min_br = here();
            bitrate.min_br = bitrate_value();
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
        } while (accept(TokenKind::Comma));
        expect(TokenKind::RightBrace);
    } else {
        bitrate.type = "fixed";
        bitrate.fixed_rate = bitrate_value();
    }
    return bitrate;
}

// bitrate_value: number "kbps"   (no trace scope of its own)
double Grammar::bitrate_value() {
    const double rate = expect_number();
    expect(TokenKind::KwKbps);
    return rate;
}

}  // namespace tolvane::detail
