// The lenient reading of older (LIN 2.0, SAE J2602) and vendor files. Each
// operation is called where the strict grammar reports an error; when the
// reading is lenient it accepts one construct of such a dialect there and
// says so in one Warning, naming what was made of it and what was not kept.
// The strict reading never gets past the first test of any of them.
#include <algorithm>
#include <charconv>
#include <iterator>
#include <set>

#include "parser/grammar.hpp"

namespace tolvane::detail {

namespace {

std::string shortest_text(double value) {
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

// Tokens as one line of text for a message, cut short when long.
void append_token(std::string& text, std::string_view token) {
    constexpr std::size_t longest = 60;
    if (text.size() >= longest) {
        return;
    }
    if (!text.empty()) {
        text.push_back(' ');
    }
    text.append(token);
    if (text.size() >= longest) {
        text.resize(longest - 3);
        text.append("...");
    }
}

}  // namespace

void Grammar::insert_warning(std::size_t index, std::string_view code, Place where, std::string message) {
    report_warning(code, where, std::move(message));
    std::rotate(diagnostics_.begin() + static_cast<std::ptrdiff_t>(index), std::prev(diagnostics_.end()),
                diagnostics_.end());
}

// `bitrate = 19200;`: files without the unit write bits per second (19200,
// 10417). A number below 1000 is no bit rate of LIN in bit/s, so it is taken
// as kbps already.
double Grammar::rate_without_unit(double rate, std::string_view text, Place where) {
    const double kbps = rate >= 1000.0 ? rate / 1000.0 : rate;
    report_warning(
        "dialect-bitrate-unit", where,
        "Bit rate '" + std::string(text) + "' has no unit; read as " + shortest_text(kbps) + " kbps");
    return kbps;
}

std::optional<TokenKind> Grammar::next_statement(StatementsInAnyOrder& section) {
    while (skip_foreign_statement(section)) {
    }
    const auto found = std::find(section.order.begin(), section.order.end(), current_.kind);
    if (found == section.order.end()) {
        return std::nullopt;
    }
    const auto index = static_cast<std::size_t>(found - section.order.begin());
    const std::uint32_t bit = std::uint32_t{1} << index;
    if ((section.read & bit) != 0) {
        return std::nullopt;  // a repeat: the section's "}" reports it, as the strict reading does
    }
    section.read |= bit;
    if (!section.furthest || index > *section.furthest) {
        section.furthest = index;
    } else if (!section.order_reported) {
        section.order_reported = true;
        report_warning("dialect-statement-order", place(),
                       "Statements of " + std::string(section.section) +
                           " in another order than the standard one ('" + std::string(spelling_of(*found)) +
                           "' after '" + std::string(spelling_of(section.order[*section.furthest])) +
                           "'); each is read where it stands");
    }
    return *found;
}

// A mandatory statement that is nowhere in the section is one error, not the
// run of expectations that reading it at the "}" would give.
void Grammar::report_missing_statements(const StatementsInAnyOrder& section) {
    for (std::size_t i = 0; i < section.mandatory; ++i) {
        if ((section.read & (std::uint32_t{1} << i)) == 0) {
            report_expected(spelling_of(section.order[i]));
        }
    }
}

// name "=" tokens ";", for the statements the section knows as foreign. The
// value is whatever stands before the ";" (a number, a unit, a sign).
bool Grammar::skip_foreign_statement(const StatementsInAnyOrder& section) {
    if (!at(TokenKind::Identifier)) {
        return false;
    }
    const auto known = std::find_if(section.foreign.begin(), section.foreign.end(),
                                    [&](const ForeignStatement& s) { return s.name == current_.text; });
    if (known == section.foreign.end()) {
        return false;
    }
    const Place start = place();
    const std::size_t reported = diagnostics_.size();
    std::string text;
    while (!at(TokenKind::Semicolon) && !at(TokenKind::LeftBrace) && !at(TokenKind::RightBrace) &&
           !at(TokenKind::EndOfInput)) {
        append_token(text, current_.text);
        advance();
    }
    expect(TokenKind::Semicolon);
    insert_warning(reported, known->code, start,
                   "Statement '" + text + "' (" + std::string(known->meaning) +
                       ") read and skipped: " + std::string(section.holder) + " has no field for it");
    return true;
}

bool Grammar::skip_foreign_blocks(bool top_level) {
    bool skipped = false;
    while (lenient_ && starts_foreign_block()) {
        skip_foreign_block(top_level);
        skipped = true;
    }
    return skipped;
}

// word "{" or word name "{": a block of another language or tool.
bool Grammar::starts_foreign_block() {
    if (!at(TokenKind::Identifier)) {
        return false;
    }
    const TokenKind next = lexer_.kind_ahead(1);
    return next == TokenKind::LeftBrace ||
           (next == TokenKind::Identifier && lexer_.kind_ahead(2) == TokenKind::LeftBrace);
}

// Skipped by brace balance: braces inside string literals do not count, since
// the lexer reads those as one token.
void Grammar::skip_foreign_block(bool top_level) {
    const Place start = place();
    std::string head;
    while (!at(TokenKind::LeftBrace)) {
        append_token(head, current_.text);
        advance();
    }
    advance();
    std::size_t depth = 1;
    std::uint64_t closing_line = 0;
    while (depth > 0 && !at(TokenKind::EndOfInput)) {
        if (at(TokenKind::LeftBrace)) {
            ++depth;
        } else if (at(TokenKind::RightBrace) && --depth == 0) {
            closing_line = current_.line;
        }
        advance();
    }
    std::string message = top_level ? "Top-level block '" + head + "' is not a node"
                                    : "Block '" + head + "' is not a section of a node";
    message += depth == 0 ? "; skipped to its closing brace on line " + std::to_string(closing_line)
                          : "; skipped to the end of the input";
    message += ", nothing in it is kept";
    report_warning("dialect-foreign-block", start, std::move(message));
    if (depth > 0) {
        expect(TokenKind::RightBrace);
    }
}

// `error_response = name;`, the spelling of LIN 2.0 and of vendors' files.
bool Grammar::accept_error_response_spelling() {
    if (!lenient_ || !at(TokenKind::Identifier) || current_.text != "error_response") {
        return false;
    }
    report_warning("dialect-error-response", place(),
                   "Statement 'error_response' (the spelling of LIN 2.0 and vendors' files) read as "
                   "response_error");
    advance();
    return true;
}

// `length { size = 4; offset = 8; }` in a signals block: a signal that some
// files name by a keyword of the language. Only a keyword right before "{"
// is taken, which no statement of a signals block is.
bool Grammar::accept_keyword_as_signal_name() {
    const auto kind = static_cast<int>(current_.kind);
    if (!lenient_ || kind < first_keyword_kind || kind > last_keyword_kind ||
        lexer_.kind_ahead(1) != TokenKind::LeftBrace) {
        return false;
    }
    report_warning("dialect-keyword-name", place(),
                   "Signal name '" + std::string(current_.text) + "' is a keyword of NCF; read as the name");
    return true;
}

// A node that ends where a mandatory section is due: one error, and the
// node's "}" is left to close the node instead of being read as the
// section's content.
bool Grammar::report_missing_section(TokenKind keyword) {
    if (!lenient_ || !at(TokenKind::RightBrace)) {
        return false;
    }
    report_expected(spelling_of(keyword));
    return true;
}

// `support_sid = 0x22, 0x2e, 0xb2;`, an older form of the list; `keyword`
// is where "support_sid" stood.
bool Grammar::accept_support_sid_assignment(NcfDiagnosticDef& diagnostic, Place keyword) {
    if (!lenient_ || !at(TokenKind::Equals)) {
        return false;
    }
    report_warning("dialect-support-sid-list", keyword,
                   "Older form 'support_sid = ...;' read as the list support_sid { ... }");
    advance();
    read_integer_list(diagnostic.support_sids, diagnostic.positions.support_sids);
    expect(TokenKind::Semicolon);
    return true;
}

// `encoding name { value lines };` in place of a signal's reference, as
// J2602 files have it: an entry of the node's encodings, and the reference.
bool Grammar::read_inline_encoding(NcfSignalProperties& properties) {
    if (!lenient_ || !at(TokenKind::KwEncoding) || lexer_.kind_ahead(1) != TokenKind::Identifier) {
        return false;
    }
    const Place start = place();
    const std::size_t reported = diagnostics_.size();
    advance();
    NcfEncodingEntry entry = encoding_entry();
    stray_entry_ = false;  // a name alone is still the signal's reference
    properties.encoding_name = entry.name;
    properties.positions.encoding_name = entry.positions.start;
    expect(TokenKind::Semicolon);
    insert_warning(reported, "dialect-inline-encoding", start,
                   "Encoding '" + entry.name +
                       "' defined inside a signal; read as an entry of the node's encodings and the signal's "
                       "reference to it");
    inline_encodings_.push_back(std::move(entry));
    return true;
}

// Found in the frames, before the encoding section: they come first.
void Grammar::take_inline_encodings(std::vector<NcfEncodingEntry>& encodings) {
    if (inline_encodings_.empty()) {
        return;
    }
    inline_encodings_.insert(inline_encodings_.end(), std::make_move_iterator(encodings.begin()),
                             std::make_move_iterator(encodings.end()));
    encodings = take_list(inline_encodings_);
}

// Some files declare an event-triggered frame as a frame of its own with
// `length = 0` and no signals, beside the frames that name it as their
// `event_triggered_frame`. The standard names it only through those frames:
// such a declaration leaves the tree, and the frames that name it keep it.
// Only a frame that some other frame of the file names is taken so.
void Grammar::take_event_triggered_declarations(NcfFile& file) {
    std::set<std::string> named;
    for (const NcfNodeDef& node : file.nodes) {
        for (const NcfSingleFrame& frame : node.frames) {
            if (frame.properties.event_triggered_frame &&
                *frame.properties.event_triggered_frame != frame.name) {
                named.insert(*frame.properties.event_triggered_frame);
            }
        }
    }
    const auto is_declaration = [&](const NcfSingleFrame& frame) {
        return frame.properties.length == 0 && frame.signals.empty() && named.contains(frame.name);
    };
    for (NcfNodeDef& node : file.nodes) {
        for (const NcfSingleFrame& frame : node.frames) {
            if (is_declaration(frame)) {
                report_warning(
                    "dialect-event-triggered-declaration",
                    {frame.positions.start.line, frame.positions.start.column},
                    "Frame '" + frame.name +
                        "' of length 0, which other frames name as their event-triggered frame, read as "
                        "the declaration of that event-triggered frame; not kept as a frame");
            }
        }
        std::erase_if(node.frames, is_declaration);
    }
}

}  // namespace tolvane::detail
