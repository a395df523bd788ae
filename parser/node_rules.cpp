// A node definition, its general section and the bit rate.
#include "parser/ncf_parser.hpp"

namespace tolvane {

// node_definition: "node" name "{" general_definition diagnostic_definition
//     frame_definition [encoding_definition] status_management [free_text] "}"
// The sections have a fixed order; a missing one is not skipped, its rule runs
// anyway and reports its own expectations.
NcfNodeDef NcfParser::node_definition() {
    TraceScope trace(*this, "node_definition");
    NcfNodeDef node;
    expect(TokenKind::KwNode, "node");
    node.name = take_text();
    expect(TokenKind::LeftBrace, "{");
    node.general = general_definition();
    node.diagnostic = diagnostic_definition();
    node.frames = frame_definition();
    if (at(TokenKind::KwEncoding)) {
        node.encodings = encoding_definition();
    }
    node.status = status_management();
    if (at(TokenKind::KwFreeText)) {
        node.free_text = free_text();
    }
    expect(TokenKind::RightBrace, "}");
    return node;
}

// general_definition: "general" "{"
//     "LIN_protocol_version" "=" string ";"  "supplier" "=" integer ";"
//     "function" "=" integer ";"  "variant" "=" integer ";"
//     "bitrate" "=" bitrate_definition ";"
//     ["sends_wake_up_signal" "=" ("yes" | "no" | string) ";"]
//     ["volt_range" "=" number "," number ";"]  ["temp_range" "=" number "," number ";"]
//     ["conformance" "=" string ";"] "}"
NcfGeneralDef NcfParser::general_definition() {
    TraceScope trace(*this, "general_definition");
    NcfGeneralDef general;
    expect(TokenKind::KwGeneral, "general");
    expect(TokenKind::LeftBrace, "{");

    expect(TokenKind::KwLinProtocolVersion, "LIN_protocol_version");
    expect(TokenKind::Equals, "=");
    general.protocol_version = expect_string();
    expect(TokenKind::Semicolon, ";");

    const auto integer_statement = [this](TokenKind keyword, std::string_view spelling) {
        expect(keyword, spelling);
        expect(TokenKind::Equals, "=");
        const std::int32_t value = expect_integer();
        expect(TokenKind::Semicolon, ";");
        return value;
    };
    general.supplier_id = integer_statement(TokenKind::KwSupplier, "supplier");
    general.function_id = integer_statement(TokenKind::KwFunction, "function");
    general.variant_id = integer_statement(TokenKind::KwVariant, "variant");

    expect(TokenKind::KwBitrate, "bitrate");
    expect(TokenKind::Equals, "=");
    general.bitrate = bitrate_definition();
    expect(TokenKind::Semicolon, ";");

    read_optional_general_statements(general);
    expect(TokenKind::RightBrace, "}");
    return general;
}

// Each optional statement is tested once, in this fixed order.
void NcfParser::read_optional_general_statements(NcfGeneralDef& general) {
    if (at(TokenKind::KwSendsWakeUpSignal)) {
        advance();
        expect(TokenKind::Equals, "=");
        general.sends_wake_up_signal = wake_up_signal_value();
        expect(TokenKind::Semicolon, ";");
    }
    const auto range_statement = [this](TokenKind keyword, std::optional<double>& from,
                                        std::optional<double>& to) {
        if (!at(keyword)) {
            return;
        }
        advance();
        expect(TokenKind::Equals, "=");
        from = expect_number();
        expect(TokenKind::Comma, ",");
        to = expect_number();
        expect(TokenKind::Semicolon, ";");
    };
    range_statement(TokenKind::KwVoltRange, general.volt_from, general.volt_to);
    range_statement(TokenKind::KwTempRange, general.temp_from, general.temp_to);
    if (at(TokenKind::KwConformance)) {
        advance();
        expect(TokenKind::Equals, "=");
        general.conformance = expect_string();
        expect(TokenKind::Semicolon, ";");
    }
}

// "yes" | "no" | string: a string counts as true only when it is exactly yes.
// Anything else is reported and left in place, and the value stays absent.
std::optional<bool> NcfParser::wake_up_signal_value() {
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
NcfBitrateDefinition NcfParser::bitrate_definition() {
    TraceScope trace(*this, "bitrate_definition");
    NcfBitrateDefinition bitrate;
    if (at(TokenKind::KwAutomatic)) {
        bitrate.type = "automatic";
        advance();
        if (at(TokenKind::KwMin)) {
            advance();
            bitrate.min_br = bitrate_value();
        }
        if (at(TokenKind::KwMax)) {
            advance();
            bitrate.max_br = bitrate_value();
        }
    } else if (at(TokenKind::KwSelect)) {
        bitrate.type = "select";
        advance();
        expect(TokenKind::LeftBrace, "{");
        bitrate.rates.push_back(bitrate_value());
        while (at(TokenKind::Comma)) {
            advance();
            bitrate.rates.push_back(bitrate_value());
        }
        expect(TokenKind::RightBrace, "}");
    } else {
        bitrate.type = "fixed";
        bitrate.fixed_rate = bitrate_value();
    }
    return bitrate;
}

// bitrate_value: number "kbps"   (no trace scope of its own)
double NcfParser::bitrate_value() {
    const double rate = expect_number();
    expect(TokenKind::KwKbps, "kbps");
    return rate;
}

}  // namespace tolvane
