// The encoding section of a node.
#include "parser/ncf_parser.hpp"

namespace tolvane {

namespace {

bool is_value_keyword(TokenKind kind) {
    return kind == TokenKind::KwLogicalValue || kind == TokenKind::KwPhysicalValue ||
           kind == TokenKind::KwBcdValue || kind == TokenKind::KwAsciiValue;
}

}  // namespace

// encoding_definition: "encoding" "{" { encoding_entry } "}"
std::vector<NcfEncodingEntry> NcfParser::encoding_definition() {
    TraceScope trace(*this, "encoding_definition");
    std::vector<NcfEncodingEntry> entries;
    expect(TokenKind::KwEncoding, "encoding");
    expect(TokenKind::LeftBrace, "{");
    while (at(TokenKind::Identifier)) {
        entries.push_back(encoding_entry());
    }
    expect(TokenKind::RightBrace, "}");
    // The tree outlives the parse: give back what the list grew beyond its size.
    entries.shrink_to_fit();
    return entries;
}

// encoding_entry: identifier "{" { encoding_value } "}"
NcfEncodingEntry NcfParser::encoding_entry() {
    TraceScope trace(*this, "encoding_entry");
    NcfEncodingEntry entry;
    entry.name = take_text();
    expect(TokenKind::LeftBrace, "{");
    while (is_value_keyword(current_.kind)) {
        entry.values.push_back(encoding_value());
    }
    expect(TokenKind::RightBrace, "}");
    entry.values.shrink_to_fit();
    return entry;
}

// encoding_value: "logical_value" "," integer ["," string] ";"
//               | "physical_value" "," integer "," integer "," number "," number ["," string] ";"
//               | "bcd_value" ";"
//               | "ascii_value" ";"
NcfEncodingValue NcfParser::encoding_value() {
    TraceScope trace(*this, "encoding_value");
    NcfEncodingValue value;
    const auto optional_text = [this]() -> std::optional<std::string> {
        if (!at(TokenKind::Comma)) {
            return std::nullopt;
        }
        advance();
        return expect_string();
    };
    switch (current_.kind) {
        case TokenKind::KwLogicalValue: {
            value.type = "logical";
            advance();
            NcfLogicalValue logical;
            expect(TokenKind::Comma, ",");
            logical.signal_value = expect_integer();
            logical.text_info = optional_text();
            expect(TokenKind::Semicolon, ";");
            value.logical_value = std::move(logical);
            break;
        }
        case TokenKind::KwPhysicalValue: {
            value.type = "physical";
            advance();
            NcfPhysicalRange range;
            expect(TokenKind::Comma, ",");
            range.min_value = expect_integer();
            expect(TokenKind::Comma, ",");
            range.max_value = expect_integer();
            expect(TokenKind::Comma, ",");
            range.scale = expect_number();
            expect(TokenKind::Comma, ",");
            range.offset_val = expect_number();
            range.text_info = optional_text();
            expect(TokenKind::Semicolon, ";");
            value.physical_range = std::move(range);
            break;
        }
        case TokenKind::KwBcdValue:
            value.type = "bcd";
            advance();
            expect(TokenKind::Semicolon, ";");
            break;
        case TokenKind::KwAsciiValue:
            value.type = "ascii";
            advance();
            expect(TokenKind::Semicolon, ";");
            break;
        default:
            break;  // only entered on a value keyword
    }
    return value;
}

}  // namespace tolvane
