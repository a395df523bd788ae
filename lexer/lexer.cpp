#include "lexer/lexer.hpp"

#include <algorithm>
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

// What the first byte of a token says about the token, so that one table
// look-up picks the scanner.
enum class TokenStart : std::uint8_t { SingleByte, Quote, Sign, Zero, Digit, Dot, Word };

constexpr std::array<TokenStart, 256> token_starts = [] {
    std::array<TokenStart, 256> table{};
    table.fill(TokenStart::SingleByte);
    for (std::size_t c = 0; c < table.size(); ++c) {
        if (starts_identifier(static_cast<char>(c))) {
            table[c] = TokenStart::Word;
        } else if (is_digit(static_cast<char>(c))) {
            table[c] = TokenStart::Digit;
        }
    }
    table['"'] = TokenStart::Quote;
    table['+'] = TokenStart::Sign;
    table['-'] = TokenStart::Sign;
    table['0'] = TokenStart::Zero;
    table['.'] = TokenStart::Dot;
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

Lexer::Lexer(std::string_view content, std::string filename, std::size_t start, bool hash_comments)
    : begin_(content.data() + std::min(start, content.size())),
      end_(content.data() + content.size()),
      next_(begin_),
      hash_comments_(hash_comments),
      filename_(std::move(filename)) {}

void Lexer::resume(Mark mark) {
    next_ = begin_ + std::min(mark.offset, static_cast<std::size_t>(end_ - begin_));
    line_ = mark.line;
    column_ = mark.column;
}

TokenKind Lexer::kind_ahead(std::size_t count) {
    const char* const next = next_;
    const std::uint64_t line = line_;
    const std::uint64_t column = column_;
    const std::uint64_t last_hash_comment_line = last_hash_comment_line_;
    const std::size_t reported = diagnostics_.size();
    looking_ahead_ = true;
    TokenKind kind = TokenKind::EndOfInput;
    for (std::size_t i = 0; i < count; ++i) {
        kind = next_token().kind;
    }
    looking_ahead_ = false;
    next_ = next;
    line_ = line;
    column_ = column;
    last_hash_comment_line_ = last_hash_comment_line;
    diagnostics_.resize(reported);  // what the look-ahead found is found again when read
    return kind;
}

Token Lexer::next_token() {
    skip_blanks_and_comments<false>();
    return token_here();
}

Token Lexer::next_token_keeping_comments() {
    skip_blanks_and_comments<true>();
    return token_here();
}

// The token at `next_`, blanks and comments skipped.
inline Token Lexer::token_here() {
    if (next_ >= end_) {
        return Token{TokenKind::EndOfInput, end_of_input_text, line_, column_};
    }
    switch (token_starts[static_cast<unsigned char>(*next_)]) {
        case TokenStart::Quote:
            return read_string();
        case TokenStart::Zero:
            if (const char after = byte_at(next_ + 1); after == 'x' || after == 'X') {
                return take_token(TokenKind::Integer, scan_hex_integer());
            }
            [[fallthrough]];
        case TokenStart::Digit: {
            bool is_real = false;
            const char* number_end = scan_number(is_real);
            return take_token(is_real ? TokenKind::Real : TokenKind::Integer, number_end);
        }
        case TokenStart::Sign:
        case TokenStart::Dot:
            // A sign is part of a number only right before a digit; so is a point.
            if (is_digit(byte_at(next_ + 1))) {
                bool is_real = false;
                const char* number_end = scan_number(is_real);
                return take_token(is_real ? TokenKind::Real : TokenKind::Integer, number_end);
            }
            return read_single_byte();
        case TokenStart::Word:
            return read_identifier_or_keyword();
        case TokenStart::SingleByte:
            break;
    }
    return read_single_byte();
}

template <bool keep>
void Lexer::skip_blanks_and_comments() {
    const char* p = next_;
    std::uint64_t column = column_;
    while (p < end_) {
        switch (*p) {
            case '\r':  // takes no column
                ++p;
                continue;
            case '\n':
                ++p;
                ++line_;
                column = 1;
                continue;
            case ' ':
            case '\t':
                ++p;
                ++column;
                continue;
            case '/':
                if (byte_at(p + 1) == '/') {
                    // Up to, not past, the next line feed; the comment takes no
                    // columns, since the line feed that ends it resets them.
                    const void* newline = std::memchr(p, '\n', static_cast<std::size_t>(end_ - p));
                    const char* const comment_end = newline ? static_cast<const char*>(newline) : end_;
                    note_comment<keep>(p, comment_end, line_, column);
                    p = comment_end;
                    continue;
                }
                if (byte_at(p + 1) == '*') {
                    next_ = p;
                    column_ = column;
                    const std::uint64_t line = line_;
                    skip_block_comment();
                    note_comment<keep>(p, next_, line, column);
                    p = next_;
                    column = column_;
                    continue;
                }
                break;
            case '#':
                if (hash_comments_ && starts_hash_comment(p, column)) {
                    const void* newline = std::memchr(p, '\n', static_cast<std::size_t>(end_ - p));
                    const char* const comment_end = newline ? static_cast<const char*>(newline) : end_;
                    note_comment<keep>(p, comment_end, line_, column);
                    p = comment_end;
                    continue;
                }
                break;
            default:
                break;
        }
        break;
    }
    next_ = p;
    column_ = column;
}

bool Lexer::starts_hash_comment(const char* hash, std::uint64_t column) {
    for (const char* p = hash; p > begin_;) {
        --p;
        if (*p == '\n') {
            break;
        }
        if (*p != ' ' && *p != '\t' && *p != '\r') {
            return false;
        }
    }
    // A run of "#" lines is one construct: one warning, at its first line.
    if (line_ != last_hash_comment_line_ + 1 || last_hash_comment_line_ == 0) {
        diagnostics_.push_back(Diagnostic{Diagnostic::Severity::Warning, filename_, line_, column,
                                          "Line beginning with '#' read as a comment (NCF comments begin "
                                          "with // or /*)",
                                          "dialect-hash-comment"});
    }
    last_hash_comment_line_ = line_;
    return true;
}

// Block comments do not nest; an unclosed one silently runs to the end.
void Lexer::skip_block_comment() {
    const std::string_view rest(next_ + 2, static_cast<std::size_t>(end_ - next_ - 2));
    const std::size_t close = rest.find("*/");
    advance_over_text(close == std::string_view::npos ? end_ : rest.data() + close + 2);
}

void Lexer::advance_over_text(const char* text_end) {
    const std::string_view text(next_, static_cast<std::size_t>(text_end - next_));
    const std::size_t last_newline = text.rfind('\n');
    if (last_newline == std::string_view::npos) {
        column_ += text.size();
    } else {
        for (char c : text.substr(0, last_newline + 1)) {
            line_ += c == '\n' ? 1 : 0;
        }
        column_ = 1 + (text.size() - last_newline - 1);
    }
    next_ = text_end;
}

Token Lexer::take_token(TokenKind kind, const char* token_end) {
    const auto length = static_cast<std::size_t>(token_end - next_);
    const Token token{kind, std::string_view(next_, length), line_, column_};
    column_ += length;
    next_ = token_end;
    return token;
}

// Backslash pairs are kept verbatim (an escaped quote does not end the
// literal); strings may span lines. The text is re-encoded as UTF-8 only when
// it holds bytes above 0x7F, otherwise it stays a view into the input.
Token Lexer::read_string() {
    const std::uint64_t line = line_;
    const std::uint64_t column = column_;
    const char* const first = next_ + 1;
    const char* p = first;
    unsigned char high_bits = 0;
    while (p < end_ && *p != '"') {
        high_bits |= static_cast<unsigned char>(*p);
        if (*p == '\\' && p + 1 < end_) {
            high_bits |= static_cast<unsigned char>(p[1]);
            p += 2;
        } else {
            ++p;
        }
    }
    const bool terminated = p < end_;
    const std::string_view raw(first, static_cast<std::size_t>(p - first));
    advance_over_text(terminated ? p + 1 : p);
    if (!terminated) {
        diagnostics_.push_back(Diagnostic{Diagnostic::Severity::Error, filename_, line, column,
                                          "Unterminated string literal", std::string(syntax_code)});
    }
    // Looking ahead needs only the kind, and must leave alone the text that
    // the current token may hold here.
    if ((high_bits & 0x80) == 0 || looking_ahead_) {
        return Token{TokenKind::String, raw, line, column};
    }
    string_text_ = latin1_to_utf8(raw);
    return Token{TokenKind::String, string_text_, line, column};
}

// A decimal number: optional sign, digits with at most one '.', and any
// number of exponents, each an 'e' or 'E' with an optional sign and at least
// one digit. An 'e' that starts no valid exponent ends the number.
const char* Lexer::scan_number(bool& is_real) const {
    const char* p = next_;
    if (*p == '+' || *p == '-') {
        ++p;
    }
    bool seen_point = false;
    while (p < end_) {
        const char c = *p;
        if (is_digit(c)) {
            ++p;
        } else if (c == '.' && !seen_point) {
            seen_point = true;
            is_real = true;
            ++p;
        } else if (c == 'e' || c == 'E') {
            const char after = byte_at(p + 1);
            const bool signed_exponent = (after == '+' || after == '-') && is_digit(byte_at(p + 2));
            if (!is_digit(after) && !signed_exponent) {
                break;
            }
            is_real = true;
            p += signed_exponent ? 3 : 2;
            while (is_digit(byte_at(p))) {
                ++p;
            }
        } else {
            break;
        }
    }
    return p;
}

// "0x" or "0X" and every hexadecimal digit after it; the prefix alone is
// still an Integer token.
const char* Lexer::scan_hex_integer() const {
    const char* p = next_ + 2;
    while (is_hex_digit(byte_at(p))) {
        ++p;
    }
    return p;
}

const char* Lexer::scan_identifier() const {
    const char* p = next_ + 1;
    while (continues_identifier(byte_at(p))) {
        ++p;
    }
    return p;
}

Token Lexer::read_identifier_or_keyword() {
    Token token = take_token(TokenKind::Identifier, scan_identifier());
    if (const auto keyword = keyword_table.find(token.text)) {
        token.kind = *keyword;
    }
    return token;
}

Token Lexer::read_single_byte() {
    return take_token(single_byte_kinds[static_cast<unsigned char>(*next_)], next_ + 1);
}

}  // namespace tolvane
