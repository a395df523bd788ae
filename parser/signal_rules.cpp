// The signals block of a frame.
#include "parser/grammar.hpp"

namespace tolvane::detail {

// signal_definition: "signals" "{" { signal_entry } "}"
std::vector<NcfSignalDef> Grammar::signal_definition() {
    TraceScope trace(*this, "signal_definition");
    expect(TokenKind::KwSignals);
    expect(TokenKind::LeftBrace);
    while (at(TokenKind::Identifier) || accept_keyword_as_signal_name()) {
        add_entry(signals_buffer_, signal_entry());
    }
    rest_of_block(Block::Signals, [&] { add_entry(signals_buffer_, signal_entry()); });
    expect(TokenKind::RightBrace);
    return take_list(signals_buffer_);
}

// signal_entry: identifier "{" signal_properties "}"
NcfSignalDef Grammar::signal_entry() {
    TraceScope trace(*this, "signal_entry");
    NcfSignalDef signal;
    const Token name = current_;
    signal.name = take_text(signal.positions.start);
    if (name_was_a_stray(name)) {
        signal.name = take_text(signal.positions.start);
    }
    if (stray_entry_) {
        return signal;
    }
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
// The recovering reading skips it instead, unless it begins the next
// signal, and reads a statement after the reference, reported.
NcfSignalProperties Grammar::signal_properties() {
    TraceScope trace(*this, "signal_properties");
    NcfSignalProperties properties;
    NcfSignalProperties::Positions& positions = properties.positions;
    positions.start = here();
    bool read_init_value = false;
    bool read_size = false;
    bool read_offset = false;
    bool stray_reported = false;
    bool reference_read = false;
    const auto integer_statement = [this](std::int32_t& field, SourcePosition& position, bool& read) {
        advance_within_statement();  // the keyword
        expect(TokenKind::Equals);
        position = here();
        field = expect_integer();
        expect_signal_statement_end();
        read = true;
    };
    for (;;) {
        if (reference_read && (at(TokenKind::RightBrace) || !statement_after_reference(stray_reported))) {
            break;
        }
        if (at(TokenKind::KwInitValue) && !read_init_value) {
            properties.init_value = init_value();
            read_init_value = true;
        } else if (at(TokenKind::KwSize) && !read_size) {
            integer_statement(properties.size, positions.size, read_size);
        } else if (at(TokenKind::KwOffset) && !read_offset) {
            integer_statement(properties.offset, positions.offset, read_offset);
        } else if (at(TokenKind::Identifier)) {
            if (recover_ && (reference_read || !ends_encoding_reference())) {
                if (lexer_.kind_ahead(1) == TokenKind::LeftBrace) {
                    break;  // the next signal: this one's "}" is missing
                }
                skip_stray(Block::Signal, stray_reported);  // a misspelt statement
                continue;
            }
            properties.encoding_name = take_text(positions.encoding_name);
            expect(TokenKind::Semicolon);
            end_statement();
            if (!recover_) {
                break;
            }
            reference_read = true;
        } else if (read_inline_encoding(properties)) {
            if (!recover_) {
                break;  // the reference comes last, as above
            }
            reference_read = true;
        } else if (recover_ && !at(TokenKind::RightBrace) && !begins_outside(Block::Signal)) {
            skip_stray(Block::Signal, stray_reported);  // a repeated statement, or a token out of place
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
    advance_within_statement();  // the keyword
    expect(TokenKind::Equals);
    if (accept(TokenKind::LeftBrace)) {
        value.is_array = true;
        read_integer_list(value.array_values, value.positions.array_values);
        expect_list_end();
    } else {
        const Place value_place = place();
        value.positions.scalar = here();
        value.scalar = expect_integer();
        if (recover_ && at(TokenKind::Comma) && lexer_.kind_ahead(1) == TokenKind::Integer) {
            // A list whose "{" is missing.
            report_missing_after(spelling_of(TokenKind::LeftBrace),
                                 token_before({value_place.line, value_place.column}).end);
            read_rest_of_array(value);
            expect_list_end();
        }
    }
    expect_signal_statement_end();
    return value;
}

// Where the ";" of a statement of a signal is due, which the signal's
// encoding reference may follow: whether a name that stands in its place,
// last before the signal's "}", is that reference (the ";" is missing, and
// reported), not a token that does not belong.
bool Grammar::signal_reference_follows() {
    const auto last_before_the_end = [this] {
        const TokenKind next = lexer_.kind_ahead(1);
        return next == TokenKind::RightBrace ||
               (next == TokenKind::Semicolon && lexer_.kind_ahead(2) == TokenKind::RightBrace);
    };
    if (panic_ || !at(TokenKind::Identifier) || !last_before_the_end()) {
        return false;
    }
    report_missing_after(spelling_of(TokenKind::Semicolon));
    return true;
}

// The scalar read so far is the first byte of a list whose "{" is missing:
// the rest of the list, from its first ",".
void Grammar::read_rest_of_array(NcfInitValue& value) {
    value.is_array = true;
    value.array_values = {value.scalar};
    value.positions.array_values = {value.positions.scalar};
    value.scalar = 0;
    value.positions.scalar = {};
    while (list_goes_on(TokenKind::RightBrace)) {
        value.positions.array_values.push_back(here());
        value.array_values.push_back(expect_integer());
    }
}

}  // namespace tolvane::detail
