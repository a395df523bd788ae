#include "lexer/lexer.hpp"

#include <array>
#include <cstring>
#include <utility>

#include "lexer/char_class.hpp"
#include "lexer/keywords.hpp"

namespace tolvane {

namespace {

constexpr std::string_view end_of_input_text = "<EOF>";

// The token kind of each single byte that is a token by itself; Unknown for
// every byte that starts no token.
constexpr std::array<TokenKind, 256> single_byte_kinds = [] {
    std::array<TokenKind, 256> table{};
    table.fill(TokenKind::Unknown);
    table[':'] = TokenKind::Colon;
    table[';'] = TokenKind::Semicolon;
    table[','] = TokenKind::Comma;
    table['{'] = TokenKind::LeftBrace;
    table['}'] = TokenKind::RightBrace;
    table['('] = TokenKind::LeftParen;
    table[')'] = TokenKind::RightParen;
    table['['] = TokenKind::LeftBracket;
    table[']'] = TokenKind::RightBracket;
    table['='] = TokenKind::Equals;
    table['+'] = TokenKind::Plus;
    table['-'] = TokenKind::Minus;
    return table;
}();

}  // namespace

std::string latin1_to_utf8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text.push_back(c);
        } else {
            text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return text;
}

Lexer::Lexer(std::string_view content, std::string filename, std::size_t start)
    : content_(content), filename_(std::move(filename)), pos_(start) {}

Token Lexer::next_token() {
    skip_blanks_and_comments();
    const std::uint64_t line = line_;
    const std::uint64_t column = column_;
    if (at_end()) {
        return Token{TokenKind::EndOfInput, end_of_input_text, line, column};
    }
    const char c = content_[pos_];
    if (c == '"') {
        return read_string(line, column);
    }
    if ((c == '+' || c == '-') && is_digit(peek(1))) {
        return read_number(line, column);
    }
    if (c == '0' && (peek(1) == 'x' || peek(1) == 'X')) {
        return read_hex_integer(line, column);
    }
    if (is_digit(c) || (c == '.' && is_digit(peek(1)))) {
        return read_number(line, column);
    }
    if (starts_identifier(c)) {
        return read_identifier_or_keyword(line, column);
    }
    return read_single_byte(line, column);
}

void Lexer::skip_blanks_and_comments() {
    while (!at_end()) {
        switch (content_[pos_]) {
            case '\r':  // takes no column
                ++pos_;
                break;
            case '\n':
                ++pos_;
                ++line_;
                column_ = 1;
                break;
            case ' ':
            case '\t':
                ++pos_;
                ++column_;
                break;
            case '/':
                if (peek(1) == '/') {
                    skip_line_comment();
                } else if (peek(1) == '*') {
                    skip_block_comment();
                } else {
                    return;
                }
                break;
            default:
                return;
        }
    }
}

// Up to, not past, the next line feed. The comment takes no columns: the
// line feed that ends it resets the column anyway.
void Lexer::skip_line_comment() {
    const void* newline = std::memchr(content_.data() + pos_, '\n', content_.size() - pos_);
    pos_ = newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - content_.data())
                   : content_.size();
}

// Block comments do not nest; an unclosed one silently runs to the end.
void Lexer::skip_block_comment() {
    const std::size_t close = content_.find("*/", pos_ + 2);
    advance_over_text(close == std::string_view::npos ? content_.size() : close + 2);
}

void Lexer::advance_over_text(std::size_t end) {
    const std::string_view text = content_.substr(pos_, end - pos_);
    const std::size_t last_newline = text.rfind('\n');
    if (last_newline == std::string_view::npos) {
        column_ += text.size();
    } else {
        for (char c : text.substr(0, last_newline + 1)) {
            line_ += c == '\n' ? 1 : 0;
        }
        column_ = 1 + (text.size() - last_newline - 1);
    }
    pos_ = end;
}

Token Lexer::make_token(TokenKind kind, std::size_t start, std::uint64_t line, std::uint64_t column) const {
    return Token{kind, content_.substr(start, pos_ - start), line, column};
}

// Backslash pairs are kept verbatim (an escaped quote does not end the
// literal); strings may span lines. The text is re-encoded as UTF-8 only when
// it holds bytes above 0x7F, otherwise it stays a view into the input.
Token Lexer::read_string(std::uint64_t line, std::uint64_t column) {
    const std::size_t first = pos_ + 1;
    std::size_t p = first;
    unsigned char high_bits = 0;
    const std::size_t size = content_.size();
    while (p < size && content_[p] != '"') {
        high_bits |= static_cast<unsigned char>(content_[p]);
        if (content_[p] == '\\' && p + 1 < size) {
            high_bits |= static_cast<unsigned char>(content_[p + 1]);
            p += 2;
        } else {
            ++p;
        }
    }
    const bool terminated = p < size;
    const std::string_view raw = content_.substr(first, p - first);
    advance_over_text(terminated ? p + 1 : p);
    if (!terminated) {
        diagnostics_.push_back(
            Diagnostic{Diagnostic::Severity::Error, filename_, line, column, "Unterminated string literal"});
    }
    if ((high_bits & 0x80) == 0) {
        return Token{TokenKind::String, raw, line, column};
    }
    string_text_ = latin1_to_utf8(raw);
    return Token{TokenKind::String, string_text_, line, column};
}

// A decimal number: optional sign, digits with at most one '.', and any
// number of exponents, each an 'e' or 'E' with an optional sign and at least
// one digit. An 'e' that starts no valid exponent ends the number.
Token Lexer::read_number(std::uint64_t line, std::uint64_t column) {
    const std::size_t start = pos_;
    if (peek() == '+' || peek() == '-') {
        ++pos_;
    }
    bool seen_point = false;
    bool is_real = false;
    while (!at_end()) {
        const char c = content_[pos_];
        if (is_digit(c)) {
            ++pos_;
        } else if (c == '.' && !seen_point) {
            seen_point = true;
            is_real = true;
            ++pos_;
        } else if ((c == 'e' || c == 'E') &&
                   (is_digit(peek(1)) || ((peek(1) == '+' || peek(1) == '-') && is_digit(peek(2))))) {
            is_real = true;
            pos_ += is_digit(peek(1)) ? 1u : 2u;
            while (is_digit(peek())) {
                ++pos_;
            }
        } else {
            break;
        }
    }
    column_ += pos_ - start;
    return make_token(is_real ? TokenKind::Real : TokenKind::Integer, start, line, column);
}

// "0x" or "0X" and every hexadecimal digit after it; the prefix alone is
// still an Integer token.
Token Lexer::read_hex_integer(std::uint64_t line, std::uint64_t column) {
    const std::size_t start = pos_;
    pos_ += 2;
    while (is_hex_digit(peek())) {
        ++pos_;
    }
    column_ += pos_ - start;
    return make_token(TokenKind::Integer, start, line, column);
}

Token Lexer::read_identifier_or_keyword(std::uint64_t line, std::uint64_t column) {
    const std::size_t start = pos_;
    ++pos_;
    while (continues_identifier(peek())) {
        ++pos_;
    }
    column_ += pos_ - start;
    Token token = make_token(TokenKind::Identifier, start, line, column);
    if (const auto keyword = keyword_table.find(token.text)) {
        token.kind = *keyword;
    }
    return token;
}

Token Lexer::read_single_byte(std::uint64_t line, std::uint64_t column) {
    const std::size_t start = pos_;
    const TokenKind kind = single_byte_kinds[static_cast<unsigned char>(content_[pos_])];
    ++pos_;
    ++column_;
    return make_token(kind, start, line, column);
}

}  // namespace tolvane
