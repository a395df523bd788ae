// The lexer: turns the bytes of one NCF text into tokens, one per request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lexer/token.hpp"
#include "model/ncf_records.hpp"

namespace tolvane {

class Lexer {
public:
    // `content` must outlive the lexer; `start` is the offset of the first
    // byte to read (3 after a UTF-8 byte-order mark).
    Lexer(std::string_view content, std::string filename, std::size_t start = 0);

    // The next token after any blanks and comments. At the end of input it
    // returns EndOfInput every time. Never fails; the only problem it reports
    // itself is an unterminated string literal.
    Token next_token();

    // Unterminated string literals found so far, in the order found. Never
    // cleared.
    const std::vector<Diagnostic>& diagnostics() const { return diagnostics_; }

private:
    bool at_end() const { return pos_ >= content_.size(); }
    // The byte `ahead` positions past `pos_`, or NUL past the end. NUL starts
    // no token and continues none, so it serves as the end sentinel wherever
    // a byte is only inspected.
    char peek(std::size_t ahead = 0) const {
        return pos_ + ahead < content_.size() ? content_[pos_ + ahead] : '\0';
    }

    void skip_blanks_and_comments();
    void skip_line_comment();
    void skip_block_comment();

    Token make_token(TokenKind kind, std::size_t start, std::uint64_t line, std::uint64_t column) const;
    Token read_string(std::uint64_t line, std::uint64_t column);
    Token read_number(std::uint64_t line, std::uint64_t column);
    Token read_hex_integer(std::uint64_t line, std::uint64_t column);
    Token read_identifier_or_keyword(std::uint64_t line, std::uint64_t column);
    Token read_single_byte(std::uint64_t line, std::uint64_t column);

    // Moves `pos_` to `end`, counting lines and columns over bytes that may
    // include line feeds (string literals and block comments, where every
    // byte other than a line feed takes one column).
    void advance_over_text(std::size_t end);

    std::string_view content_;
    std::string filename_;
    std::size_t pos_ = 0;
    std::uint64_t line_ = 1;
    std::uint64_t column_ = 1;
    std::vector<Diagnostic> diagnostics_;
    // Storage for the text of the latest string literal that needed
    // re-encoding; a token's text may point here until the next one.
    std::string string_text_;
};

// Re-encodes ISO 8859-1 bytes as UTF-8: bytes below 0x80 are copied, every
// other byte becomes its two-byte UTF-8 form.
std::string latin1_to_utf8(std::string_view bytes);

}  // namespace tolvane
