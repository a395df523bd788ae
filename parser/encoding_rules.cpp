// The encoding section of a node.
#include "parser/grammar.hpp"

namespace tolvane::detail {

namespace {

bool is_value_keyword(TokenKind kind) {
    return kind == TokenKind::KwLogicalValue || kind == TokenKind::KwPhysicalValue ||
           kind == TokenKind::KwBcdValue || kind == TokenKind::KwAsciiValue;
}

}  // namespace

// encoding_definition: "encoding" "{" { encoding_entry } "}"
std::vector<NcfEncodingEntry> Grammar::encoding_definition() {
    TraceScope trace(*this, "encoding_definition");
    expect(TokenKind::KwEncoding);
    expect(TokenKind::LeftBrace);
    while (at(TokenKind::Identifier)) {
        add_entry(entries_buffer_, encoding_entry());
    }
    rest_of_block(Block::Encodings, [&] { add_entry(entries_buffer_, encoding_entry()); });
    expect(TokenKind::RightBrace);
    return take_list(entries_buffer_);
}

// encoding_entry: identifier "{" { encoding_value } "}"
NcfEncodingEntry Grammar::encoding_entry() {
    TraceScope trace(*this, "encoding_entry");
    NcfEncodingEntry entry;
    const Token name = current_;
    entry.name = take_text(entry.positions.start);
    if (name_was_a_stray(name)) {
        entry.name = take_text(entry.positions.start);
    }
    if (stray_entry_) {
        return entry;
    }
    expect(TokenKind::LeftBrace);
    while (is_value_keyword(current_.kind)) {
        values_buffer_.push_back(encoding_value());
    }
    rest_of_block(Block::Encoding, [&] { values_buffer_.push_back(encoding_value()); });
    entry.values = take_list(values_buffer_);
    expect(TokenKind::RightBrace);
    return entry;
}

// encoding_value: "logical_value" "," integer ["," string] ";"
//               | "physical_value" "," integer "," integer "," number "," number ["," string] ";"
//               | "bcd_value" ";"
//               | "ascii_value" ";"
// The logical value or physical range of a line begins at its keyword.
NcfEncodingValue Grammar::encoding_value() {
    TraceScope trace(*this, "encoding_value");
    NcfEncodingValue value;
    const SourcePosition start = here();
    value.positions.start = start;
    switch (current_.kind) {
        case TokenKind::KwLogicalValue:
            value.type = "logical";
            advance_within_statement();
            value.logical_value = logical_value(start);
            break;
        case TokenKind::KwPhysicalValue:
            value.type = "physical";
            advance_within_statement();
            value.physical_range = physical_range(start);
            break;
        case TokenKind::KwBcdValue:
            value.type = "bcd";
            advance_within_statement();
            expect(TokenKind::Semicolon);
            break;
        case TokenKind::KwAsciiValue:
            value.type = "ascii";
            advance_within_statement();
            expect(TokenKind::Semicolon);
            break;
        default:
            break;  // only entered on a value keyword
    }
    end_statement();
    return value;
}

// "," integer ["," string] ";", after the `logical_value` keyword.
NcfLogicalValue Grammar::logical_value(SourcePosition start) {
    NcfLogicalValue logical;
    logical.positions.start = start;
    expect(TokenKind::Comma);
    logical.signal_value = expect_integer();
    logical.text_info = optional_text_info();
    expect(TokenKind::Semicolon);
    return logical;
}

// "," integer "," integer "," number "," number ["," string] ";", after the
// `physical_value` keyword.
NcfPhysicalRange Grammar::physical_range(SourcePosition start) {
    NcfPhysicalRange range;
    range.positions.start = start;
    expect(TokenKind::Comma);
    range.min_value = expect_integer();
    expect(TokenKind::Comma);
    range.max_value = expect_integer();
    expect(TokenKind::Comma);
    range.scale = expect_number();
    expect(TokenKind::Comma);
    range.offset_val = expect_number();
    range.text_info = optional_text_info();
    expect(TokenKind::Semicolon);
    return range;
}

// ["," string]: the text of a value line, when a comma announces one.
std::optional<std::string> Grammar::optional_text_info() {
    if (recover_ && at(TokenKind::String)) {
        report_missing_after(spelling_of(TokenKind::Comma));
        return take_text();
    }
    if (!accept(TokenKind::Comma) && !(recover_ && skip_stray_before_comma(TokenKind::Semicolon))) {
        return std::nullopt;
    }
    return expect_string();
}

}  // namespace tolvane::detail
