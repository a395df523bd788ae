// The signals block of a frame.
#include "parser/grammar.hpp"

namespace tolvane::detail {

// signal_definition: "signals" "{" { signal_entry } "}"
std::vector<NcfSignalDef> Grammar::signal_definition() {
    TraceScope trace(*this, "signal_definition");
    expect(TokenKind::KwSignals);
    expect(TokenKind::LeftBrace);
    while (at(TokenKind::Identifier) || accept_keyword_as_signal_name()) {
        signals_buffer_.push_back(signal_entry());
    }
    expect(TokenKind::RightBrace);
    return take_list(signals_buffer_);
}

// signal_entry: identifier "{" signal_properties "}"
NcfSignalDef Grammar::signal_entry() {
    TraceScope trace(*this, "signal_entry");
    NcfSignalDef signal;
    signal.name = take_text(signal.positions.start);
    expect(TokenKind::LeftBrace);
    signal.properties = signal_properties();
    expect(TokenKind::RightBrace);
    return signal;
}

// signal_properties: in any order, each at most once,
//     "init_value" "=" (integer | "{" integer { "," integer } "}") ";"
//     "size" "=" integer ";"   "offset" "=" integer ";"
// then optionally an encoding name: identifier ";".
// A statement the loop does not take ends it and is left for the caller.
NcfSignalProperties Grammar::signal_properties() {
    TraceScope trace(*this, "signal_properties");
    NcfSignalProperties properties;
    NcfSignalProperties::Positions& positions = properties.positions;
    positions.start = here();
    bool read_init_value = false;
    bool read_size = false;
    bool read_offset = false;
    const auto integer_statement = [this](std::int32_t& field, SourcePosition& position, bool& read) {
        advance();
        expect(TokenKind::Equals);
        position = here();
        field = expect_integer();
        expect(TokenKind::Semicolon);
        read = true;
    };
    for (;;) {
        if (at(TokenKind::KwInitValue) && !read_init_value) {
            properties.init_value = init_value();
            read_init_value = true;
        } else if (at(TokenKind::KwSize) && !read_size) {
            integer_statement(properties.size, positions.size, read_size);
        } else if (at(TokenKind::KwOffset) && !read_offset) {
            integer_statement(properties.offset, positions.offset, read_offset);
        } else if (at(TokenKind::Identifier)) {
            properties.encoding_name = take_text(positions.encoding_name);
            expect(TokenKind::Semicolon);
            break;
        } else if (read_inline_encoding(properties)) {
            break;  // the reference comes last, as above
        } else {
            break;  // "}", the end of input, a repeated statement or anything else
        }
    }
    return properties;
}

// "init_value" "=" (integer | "{" integer { "," integer } "}") ";"
// Replaces the whole value, so it is always in exactly one of its two forms.
NcfInitValue Grammar::init_value() {
    NcfInitValue value;
    value.positions.start = here();
    advance();
    expect(TokenKind::Equals);
    if (accept(TokenKind::LeftBrace)) {
        value.is_array = true;
        read_integer_list(value.array_values, value.positions.array_values);
        expect(TokenKind::RightBrace);
    } else {
        value.positions.scalar = here();
        value.scalar = expect_integer();
    }
    expect(TokenKind::Semicolon);
    return value;
}

}  // namespace tolvane::detail
