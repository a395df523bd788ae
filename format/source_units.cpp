#include "format/source_units.hpp"

#include <algorithm>

namespace tolvane::format {

namespace {

// A "{" after these opens a list of values inside a statement, not a block.
bool opens_a_list_after(TokenKind previous) {
    return previous == TokenKind::Equals || previous == TokenKind::KwSupportSid ||
           previous == TokenKind::KwSelect;
}

}  // namespace

UnitReader::UnitReader(std::string_view text) {
    // Every unit but the last ends at one of these bytes: the list grows
    // once.
    std::size_t ends = 1;
    for (const char c : text) {
        ends += static_cast<std::size_t>(c == ';' || c == '{' || c == '}');
    }
    units_.reserve(ends);
}

void UnitReader::take(const Token& token, Place end) {
    const Place start{token.line, token.column};
    if (token.kind == TokenKind::RightBrace && list_depth_ == 0) {
        close_block(start, end);
    } else {
        extend(start, end);
        if (token.kind == TokenKind::LeftBrace) {
            if (list_depth_ > 0 || opens_a_list_after(previous_)) {
                ++list_depth_;
            } else {
                open_block();
            }
        } else if (token.kind == TokenKind::RightBrace) {
            --list_depth_;
        } else if (token.kind == TokenKind::Semicolon && list_depth_ == 0) {
            finish_statement();
        }
    }
    previous_ = token.kind;
}

std::vector<SourceUnit> UnitReader::take_units() {
    finish_statement();
    return std::move(units_);
}

void UnitReader::extend(Place start, Place end) {
    if (!pending_) {
        current_ = SourceUnit{SourceUnit::Kind::Statement, start, end, no_unit, parent()};
        pending_ = true;
    }
    current_.end = end;
}

// A statement ends at its ";", or where its block ends without one (the
// text of a free_text block).
void UnitReader::finish_statement() {
    if (pending_) {
        units_.push_back(current_);
        pending_ = false;
    }
}

void UnitReader::open_block() {
    current_.kind = SourceUnit::Kind::Head;
    finish_statement();
    open_.push_back(units_.size() - 1);
}

void UnitReader::close_block(Place start, Place end) {
    finish_statement();
    SourceUnit close{SourceUnit::Kind::Close, start, end, no_unit, no_unit};
    if (!open_.empty()) {
        const std::size_t head = open_.back();
        open_.pop_back();
        close.partner = head;
        close.parent = units_[head].parent;
        units_[head].partner = units_.size();
    }
    units_.push_back(close);
}

SourceLayout source_layout(std::string_view text, bool lenient) {
    Lexer lexer(text, std::string(), start_after_byte_order_mark(text), lenient);
    UnitReader reader(text);
    for (Token token = lexer.next_token_keeping_comments(); token.kind != TokenKind::EndOfInput;
         token = lexer.next_token_keeping_comments()) {
        const Lexer::Mark end = lexer.mark();
        reader.take(token, {end.line, end.column});
    }
    return {reader.take_units(), lexer.take_comments()};
}

std::size_t unit_at(const std::vector<SourceUnit>& units, Place at) {
    const auto after = std::upper_bound(units.begin(), units.end(), at,
                                        [](const Place& place, const SourceUnit& unit) { return place < unit.start; });
    return after == units.begin() ? no_unit : static_cast<std::size_t>(after - units.begin() - 1);
}

}  // namespace tolvane::format
