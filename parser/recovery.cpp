// The recovering reading: each fault reported once, at the fault, and the
// reading going on after it, so that what stands after a fault (the rest of
// the section, the next node) is read as if the fault were not there.
//
// A fault is explained by one token where one token plainly explains it (a
// missing ";", "{", "=" or unit is taken as present; a token before the one
// expected is skipped); otherwise it is reported and the reading is in
// panic until the damaged statement or block ends: what the rules would
// report meanwhile is dropped, and end_statement() or rest_of_block() skips
// what is left of it. Two errors are never reported at one place.
#include <algorithm>
#include <array>
#include <span>
#include <string>
#include <tuple>

#include "parser/grammar.hpp"

namespace tolvane::detail {

namespace {

constexpr std::size_t longest_quoted_statement = 40;

// What each block holds besides lists of named entries: the statements or
// sections a member of it begins with. A misspelt word is matched against
// these.
constexpr TokenKind node_sections[] = {
    TokenKind::KwGeneral,  TokenKind::KwDiagnostic,         TokenKind::KwFrames,
    TokenKind::KwEncoding, TokenKind::KwStatusManagement, TokenKind::KwFreeText,
};
constexpr TokenKind general_statements[] = {
    TokenKind::KwLinProtocolVersion, TokenKind::KwSupplier,  TokenKind::KwFunction,
    TokenKind::KwVariant,            TokenKind::KwBitrate,   TokenKind::KwSendsWakeUpSignal,
    TokenKind::KwVoltRange,          TokenKind::KwTempRange, TokenKind::KwConformance,
};
constexpr TokenKind diagnostic_statements[] = {
    TokenKind::KwNad,         TokenKind::KwDiagnosticClass, TokenKind::KwP2Min,
    TokenKind::KwStMin,       TokenKind::KwNAsTimeout,      TokenKind::KwNCrTimeout,
    TokenKind::KwSupportSid,  TokenKind::KwMaxMessageLength,
};
constexpr TokenKind frames_members[] = {TokenKind::KwPublish, TokenKind::KwSubscribe};
constexpr TokenKind frame_statements[] = {
    TokenKind::KwLength,     TokenKind::KwMinPeriod, TokenKind::KwMaxPeriod,
    TokenKind::KwEventTriggeredFrame, TokenKind::KwSignals,
};
constexpr TokenKind signal_statements[] = {TokenKind::KwInitValue, TokenKind::KwSize, TokenKind::KwOffset};
constexpr TokenKind encoding_values[] = {
    TokenKind::KwLogicalValue,
    TokenKind::KwPhysicalValue,
    TokenKind::KwBcdValue,
    TokenKind::KwAsciiValue,
};
constexpr TokenKind status_statements[] = {TokenKind::KwResponseError, TokenKind::KwFaultStateSignals};

using Block = Grammar::Block;

std::span<const TokenKind> keywords_of(Block block) {
    switch (block) {
        case Block::Node:
            return node_sections;
        case Block::General:
            return general_statements;
        case Block::Diagnostic:
            return diagnostic_statements;
        case Block::Frames:
            return frames_members;
        case Block::Frame:
            return frame_statements;
        case Block::Signal:
            return signal_statements;
        case Block::Encoding:
            return encoding_values;
        case Block::Status:
            return status_statements;
        case Block::Signals:
        case Block::Encodings:
            break;
    }
    return {};
}

bool is_section_keyword(TokenKind kind) {
    return std::ranges::find(node_sections, kind) != std::end(node_sections);
}

// Keywords that only stand inside a statement's value.
bool is_value_word(TokenKind kind) {
    switch (kind) {
        case TokenKind::KwAutomatic:
        case TokenKind::KwMin:
        case TokenKind::KwMax:
        case TokenKind::KwSelect:
        case TokenKind::KwKbps:
        case TokenKind::KwYes:
        case TokenKind::KwNo:
        case TokenKind::KwTo:
        case TokenKind::KwMs:
            return true;
        default:
            return false;
    }
}

bool is_keyword(TokenKind kind) {
    const auto number = static_cast<int>(kind);
    return number >= first_keyword_kind && number <= last_keyword_kind;
}

// Edits (a byte inserted, deleted, replaced, or two neighbours swapped)
// that turn `a` into `b`, counted up to `limit` + 1.
std::size_t edit_distance(std::string_view a, std::string_view b, std::size_t limit) {
    if ((a.size() > b.size() ? a.size() - b.size() : b.size() - a.size()) > limit || a.size() > 64 ||
        b.size() > 64) {
        return limit + 1;
    }
    std::array<std::array<std::size_t, 65>, 65> d{};
    for (std::size_t i = 0; i <= a.size(); ++i) {
        d[i][0] = i;
    }
    for (std::size_t j = 0; j <= b.size(); ++j) {
        d[0][j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t replace = d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, replace});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

// The keyword among `keywords` that `word` plainly misspells, if any: one
// edit away, or two for a long keyword; the nearest one, the first of them
// when two are as near.
std::string_view closest_keyword(std::string_view word, std::span<const TokenKind> keywords) {
    std::string_view closest;
    std::size_t nearest = 3;
    for (const TokenKind keyword : keywords) {
        const std::string_view spelling = spelling_of(keyword);
        const std::size_t allowed = spelling.size() >= 8 ? 2 : 1;
        const std::size_t distance = edit_distance(word, spelling, allowed);
        if (distance <= allowed && distance < nearest) {
            closest = spelling;
            nearest = distance;
        }
    }
    return closest;
}

// Source text as one line: blanks run together, comments left out, cut to
// its last characters when long.
std::string one_line(std::string_view raw) {
    std::string text;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '/' && i + 1 < raw.size() && (raw[i + 1] == '/' || raw[i + 1] == '*')) {
            const bool line_comment = raw[i + 1] == '/';
            const std::size_t end = raw.find(line_comment ? "\n" : "*/", i + 2);
            i = end == std::string_view::npos ? raw.size() : end + (line_comment ? 0 : 1);
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (!text.empty() && text.back() != ' ') {
                text += ' ';
            }
            continue;
        }
        text += c;
    }
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    if (text.size() > longest_quoted_statement) {
        text = "..." + text.substr(text.size() - (longest_quoted_statement - 3));
    }
    return text;
}

}  // namespace

std::string Grammar::expected_found(std::string_view spelling) const {
    std::string message = "Expected ";
    message.append(spelling).append(", found '").append(current_.text).append("'");
    return message;
}

Grammar::TakenToken Grammar::token_before(std::pair<std::uint64_t, std::uint64_t> place) const {
    // Read again from the latest token known to come before `place`: what
    // this lookup found last time, unless a token noted since is later.
    TakenToken before = last_statement_end_;
    if (found_before_.end.offset > before.end.offset && found_before_.start < place) {
        before = found_before_;
    }
    if (before.start >= place) {
        before = TakenToken{};  // from the beginning, where no token precedes
    }
    Lexer again(content_.view(), std::string(), start_after_byte_order_mark(content_.view()), lenient_);
    again.resume(before.end);
    for (;;) {
        const Token token = again.next_token();
        if (token.kind == TokenKind::EndOfInput || std::pair(token.line, token.column) >= place) {
            break;
        }
        before = {token.kind, {token.line, token.column}, again.mark()};
    }
    found_before_ = before;
    return before;
}

void Grammar::push_error(std::uint64_t line, std::uint64_t column, std::string message) {
    // A node that the next one cuts short (its "}", a section, a value is
    // missing there): the error belongs to it, just past its last token (or
    // at that token, when the next node's keyword follows it without a
    // blank), and not to the next node, which the validator then checks.
    const std::pair<std::uint64_t, std::uint64_t> next_node{current_.line, current_.column};
    if (in_node_ && at(TokenKind::KwNode) && std::pair(line, column) >= next_node) {
        const TakenToken last = previous_token();
        const std::pair last_end{last.end.line, last.end.column};
        std::tie(line, column) = last_end < next_node ? last_end : last.start;
    }
    diagnostics_.push_back(Diagnostic{Diagnostic::Severity::Error, filename_, line, column, std::move(message),
                                      std::string(syntax_code)});
}

void Grammar::report_at(const Token& token, std::string message) {
    if (!panic_) {
        push_error(token.line, token.column, std::move(message));
    }
}

bool Grammar::starts_statement() const {
    return is_keyword(current_.kind) && !is_value_word(current_.kind);
}

// A ";" is plainly missing where the statement has ended: before a "}",
// before the next statement, at the end of input, or on a later line.
bool Grammar::ends_statement_here() const {
    return at(TokenKind::RightBrace) || at(TokenKind::EndOfInput) || starts_statement() ||
           current_.line > previous_token().end.line;
}

bool Grammar::ends_encoding_reference() {
    const TokenKind next = lexer_.kind_ahead(1);
    return next != TokenKind::LeftBrace && next != TokenKind::Equals &&
           !(is_keyword(next) && !is_value_word(next));
}

bool Grammar::begins_value() const {
    switch (current_.kind) {
        case TokenKind::Integer:
        case TokenKind::Real:
        case TokenKind::String:
        case TokenKind::Identifier:
        case TokenKind::LeftBrace:
        case TokenKind::KwYes:
        case TokenKind::KwNo:
        case TokenKind::KwAutomatic:
        case TokenKind::KwSelect:
            return true;
        default:
            return false;
    }
}

TokenKind Grammar::kind_after_a_stray() {
    if (at(TokenKind::Semicolon) || at(TokenKind::LeftBrace) || at(TokenKind::RightBrace) ||
        at(TokenKind::EndOfInput) || starts_statement()) {
        return TokenKind::Unknown;
    }
    return lexer_.kind_ahead(1);
}

// Whether `kind`, expected and not found, is plainly missing: the token
// that stands in its place is what would follow it.
bool Grammar::plainly_missing(TokenKind kind) const {
    switch (kind) {
        case TokenKind::Semicolon:
            return ends_statement_here();
        case TokenKind::LeftBrace:
            return starts_statement() || at(TokenKind::Identifier) || at(TokenKind::RightBrace) ||
                   at(TokenKind::Integer) || at(TokenKind::Real) || at(TokenKind::String);
        case TokenKind::Equals:
            return begins_value();
        case TokenKind::Comma:
            return at(TokenKind::Integer) || at(TokenKind::Real) || at(TokenKind::String);
        case TokenKind::KwMs:
        case TokenKind::KwKbps:
            return at(TokenKind::Semicolon) || at(TokenKind::Comma) || at(TokenKind::RightBrace) ||
                   at(TokenKind::KwMax);
        default:
            return false;
    }
}

void Grammar::report_missing_after(std::string_view spelling) {
    report_missing_after(spelling, previous_token().end);
}

void Grammar::report_missing_after(std::string_view spelling, Lexer::Mark end) {
    if (panic_) {
        return;
    }
    const std::string_view read = lexer_.read_so_far();
    const std::size_t start = std::min(statement_start_offset_, end.offset);
    std::string message = "Expected '";
    message.append(spelling).append("' after '");
    message.append(one_line(read.substr(start, end.offset - start))).append("'");
    push_error(end.line, end.column, std::move(message));
}

void Grammar::recover_expected(TokenKind kind) {
    if (panic_) {
        return;  // a consequence: nothing reported, nothing taken
    }
    if (is_keyword(kind) && misspells(kind)) {
        advance();
        return;
    }
    // A list's block (signals, encodings) that begins with its first entry:
    // the entry's name is no stray before the entry's own "{".
    const auto opens_a_list = [this, kind] {
        if (kind != TokenKind::LeftBrace || !at(TokenKind::Identifier)) {
            return false;
        }
        const TokenKind before = previous_token().kind;
        return before == TokenKind::KwSignals || before == TokenKind::KwEncoding;
    };
    if (!opens_a_list() && kind_after_a_stray() == kind) {
        // One token that does not belong before the one expected: skipped.
        report_at(current_, expected_found(spelling_of(kind)));
        advance();
        advance();
    } else if (kind == TokenKind::RightBrace) {
        // What stands here begins a construct outside the block (the rest
        // of the block has been read): its "}" is missing, and it is taken
        // as present. The blocks around it that end here too are the same
        // fault, reported at the same place.
        report_at(current_, expected_found(spelling_of(kind)));
    } else if (plainly_missing(kind)) {
        report_missing_after(spelling_of(kind));
    } else {
        report_expected(spelling_of(kind));
    }
}

// To the end of the statement: its ";" (taken), or the "}" of its block or
// the next statement (left), whichever comes first outside any braces.
void Grammar::skip_statement_rest() {
    int depth = 0;
    while (!at(TokenKind::EndOfInput)) {
        if (depth == 0) {
            if (at(TokenKind::Semicolon)) {
                advance();
                return;
            }
            if (at(TokenKind::RightBrace) || starts_statement()) {
                return;
            }
        }
        if (at(TokenKind::LeftBrace)) {
            ++depth;
        } else if (at(TokenKind::RightBrace)) {
            --depth;
        }
        advance();
    }
}

// From a "{" to its "}", both taken.
void Grammar::skip_braced_block() {
    int depth = 0;
    while (!at(TokenKind::EndOfInput)) {
        if (at(TokenKind::LeftBrace)) {
            ++depth;
        } else if (at(TokenKind::RightBrace) && --depth <= 0) {
            advance();
            return;
        }
        advance();
    }
}

// Past a token that does not belong to a block: a block it opens by brace
// balance, else to the end of its statement; at least one token.
void Grammar::skip_to_next_member() {
    const std::size_t start = lexer_.read_so_far().size();
    if (at(TokenKind::LeftBrace)) {
        skip_braced_block();
    } else if (lexer_.kind_ahead(1) == TokenKind::LeftBrace) {
        advance();
        skip_braced_block();
    } else {
        skip_statement_rest();
    }
    if (lexer_.read_so_far().size() == start && !at(TokenKind::EndOfInput)) {
        advance();
    }
    panic_ = false;
}

bool Grammar::begins_outside(Block block) {
    if (at(TokenKind::EndOfInput) || at(TokenKind::KwNode)) {
        return true;
    }
    if (is_section_keyword(current_.kind)) {
        return block != Block::Node;
    }
    if (at(TokenKind::KwPublish) || at(TokenKind::KwSubscribe)) {
        return block == Block::Frame || block == Block::Signals || block == Block::Signal;
    }
    if ((block == Block::Signal || block == Block::Encoding) && at(TokenKind::Identifier)) {
        return lexer_.kind_ahead(1) == TokenKind::LeftBrace;  // the next signal or encoding begins
    }
    return false;
}

bool Grammar::begins_member(Block block) const {
    if (block == Block::Signals || block == Block::Encodings) {
        return at(TokenKind::Identifier);
    }
    if (block == Block::Node || block == Block::Signal) {
        return false;  // read in their places, or not at all
    }
    const std::span<const TokenKind> members = keywords_of(block);
    return std::ranges::find(members, current_.kind) != members.end();
}

void Grammar::report_out_of_place(const Token& token) {
    report_at(token, "Expected }, found '" + std::string(token.text) + "'");
}

void Grammar::skip_stray(Block block, bool& reported) {
    if (misspells_one_of(keywords_of(block), reported)) {
        reported = true;
        return;  // read as what it misspells
    }
    if (!reported) {
        reported = true;
        report_out_of_place(current_);
    }
    skip_to_next_member();
}

// A block of another tool's, which the lenient reading skips, is not
// misspelt.
bool Grammar::may_be_misspelt() {
    return recover_ && at(TokenKind::Identifier) && !(lenient_ && starts_foreign_block());
}

bool Grammar::misspells(TokenKind keyword) {
    if (!may_be_misspelt() || closest_keyword(current_.text, {&keyword, 1}).empty()) {
        return false;
    }
    report_at(current_, expected_found(spelling_of(keyword)));
    current_.kind = keyword;
    return true;
}

bool Grammar::misspells_one_of(std::span<const TokenKind> keywords, bool quiet) {
    if (!may_be_misspelt()) {
        return false;
    }
    const std::string_view meant = closest_keyword(current_.text, keywords);
    if (meant.empty()) {
        return false;
    }
    if (!quiet) {
        report_at(current_, "Unknown keyword '" + std::string(current_.text) + "'; did you mean '" +
                                std::string(meant) + "'?");
    }
    current_.kind = *std::ranges::find(keywords, meant, spelling_of);
    return true;
}

bool Grammar::skip_stray_before_comma(TokenKind end) {
    if (panic_ || kind_after_a_stray() != TokenKind::Comma) {
        return false;
    }
    report_at(current_, expected_found(spelling_of(end)));
    advance();
    advance();
    return true;
}

void Grammar::skip_to_list_end() {
    report_at(current_, expected_found(spelling_of(TokenKind::RightBrace)));
    while (!at(TokenKind::RightBrace) && !at(TokenKind::Semicolon) && !at(TokenKind::LeftBrace) &&
           !at(TokenKind::EndOfInput) && !starts_statement()) {
        advance();
    }
    accept(TokenKind::RightBrace);
    panic_ = false;
}

bool Grammar::skip_stray_in_any_order(Block block, bool& reported) {
    if (at(TokenKind::RightBrace) || begins_outside(block) || begins_member(block)) {
        return false;
    }
    skip_stray(block, reported);
    return true;
}

bool Grammar::statement_after_reference(bool& reported) {
    if (at(TokenKind::RightBrace) || begins_outside(Block::Signal)) {
        return false;
    }
    if (!reported) {
        report_out_of_place(current_);
        reported = true;
    }
    return true;
}

bool Grammar::keyword_statement_missing(TokenKind keyword) {
    if (panic_ || at(keyword) || misspells(keyword) || kind_after_a_stray() == keyword) {
        return false;  // read, or its expectations fail quietly, or expect() skips the stray
    }
    report_at(current_, expected_found(spelling_of(keyword)));
    // A misspelt statement in its place goes with it.
    if (!starts_statement() && !at(TokenKind::RightBrace) && !at(TokenKind::EndOfInput)) {
        skip_statement_rest();
    }
    return true;
}

void Grammar::skip_stray_before_a_section() {
    if (panic_) {
        return;
    }
    const TokenKind next = kind_after_a_stray();
    if (is_section_keyword(next)) {
        report_at(current_, expected_found(spelling_of(next)));
        advance();
    }
}

bool Grammar::section_missing(TokenKind keyword) {
    skip_stray_before_section();
    if (!recover_ || at(keyword)) {
        return false;
    }
    panic_ = false;
    if (misspells(keyword)) {
        return false;
    }
    if (kind_after_a_stray() == keyword) {
        report_at(current_, expected_found(spelling_of(keyword)));
        advance();
        return false;
    }
    // A block of an unknown name: a misspelt section, or one of its own.
    if (at(TokenKind::Identifier) && lexer_.kind_ahead(1) == TokenKind::LeftBrace) {
        const Token unknown = current_;
        const std::string_view meant = closest_keyword(unknown.text, node_sections);
        std::string message = "Unknown section '" + std::string(unknown.text) + "'";
        if (!meant.empty()) {
            message.append("; did you mean '").append(meant).append("'?");
        }
        report_at(unknown, std::move(message));
        advance();
        skip_braced_block();
        panic_ = false;
        return !at(keyword);  // the section follows a block of its own
    }
    report_at(current_, expected_found(spelling_of(keyword)));
    return true;
}

bool Grammar::entry_name_was_a_stray(const Token& name) {
    if (at(TokenKind::RightBrace)) {
        report_at(name, "Unexpected token '" + std::string(name.text) + "'");
        stray_entry_ = true;
        return false;
    }
    if (!at(TokenKind::Identifier) || lexer_.kind_ahead(1) != TokenKind::LeftBrace) {
        return false;
    }
    report_at(name, "Unexpected token '" + std::string(name.text) + "'");
    return true;
}

bool Grammar::take_stray_before_name() {
    if (is_punctuation(current_.kind)) {
        report_at(current_, expected_found("identifier"));
        if (at(TokenKind::EndOfInput) || lexer_.kind_ahead(1) != TokenKind::Identifier) {
            return false;
        }
        advance();  // a stray before the name
    }
    return true;
}

bool Grammar::skip_to_next_node() {
    report_error("Unexpected token at top level: '" + std::string(current_.text) + "'");
    int depth = 0;
    while (!at(TokenKind::EndOfInput) && !(depth == 0 && at(TokenKind::KwNode))) {
        if (at(TokenKind::LeftBrace)) {
            ++depth;
        } else if (at(TokenKind::RightBrace) && depth > 0) {
            --depth;
        }
        advance();
    }
    panic_ = false;
    return at(TokenKind::KwNode);
}

void Grammar::finish_recovering(std::size_t lexer_reports) {
    const auto first_of_lexer = diagnostics_.begin() + static_cast<std::ptrdiff_t>(lexer_reports);
    const auto unterminated = std::find_if(first_of_lexer, diagnostics_.end(), [](const Diagnostic& d) {
        return d.severity == Diagnostic::Severity::Error;
    });
    if (unterminated != diagnostics_.end()) {
        const std::pair<std::uint64_t, std::uint64_t> from{unterminated->line, unterminated->column};
        const auto after_it = [&](const Diagnostic& d) {
            return d.severity == Diagnostic::Severity::Error &&
                   std::pair<std::uint64_t, std::uint64_t>{d.line, d.column} >= from;
        };
        diagnostics_.erase(std::remove_if(diagnostics_.begin(), first_of_lexer, after_it), first_of_lexer);
    }
    std::stable_sort(diagnostics_.begin(), diagnostics_.end(), [](const Diagnostic& a, const Diagnostic& b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
    // Errors at one place are one fault, seen again from another rule: the
    // first reported stays.
    const auto same_fault = [](const Diagnostic& a, const Diagnostic& b) {
        return a.severity == Diagnostic::Severity::Error && b.severity == Diagnostic::Severity::Error &&
               a.line == b.line && a.column == b.column;
    };
    diagnostics_.erase(std::unique(diagnostics_.begin(), diagnostics_.end(), same_fault), diagnostics_.end());
}

}  // namespace tolvane::detail
