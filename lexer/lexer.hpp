// The lexer: turns the bytes of one NCF text into tokens, one per request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lexer/token.hpp"
#include "model/comment.hpp"
#include "model/diagnostic.hpp"

namespace tolvane {

class Lexer {
public:
    // `content` must outlive the lexer; `start` is the offset of the first
    // byte to read (3 after a UTF-8 byte-order mark). With `hash_comments`, a
    // line whose first byte other than a blank is "#" is a comment, as in
    // some older files (one Warning for each run of such lines).
    Lexer(std::string_view content, std::string filename, std::size_t start = 0, bool hash_comments = false);

    // The next token after any blanks and comments. At the end of input it
    // returns EndOfInput every time. Never fails; the only problem it reports
    // itself is an unterminated string literal.
    Token next_token();

    // The line and column just past the latest token (before the blanks and
    // comments after it).
    std::pair<std::uint64_t, std::uint64_t> position() const { return {line_, column_}; }
    // The input up to just past the latest token.
    std::string_view read_so_far() const {
        return {begin_, static_cast<std::size_t>(next_ - begin_)};
    }

    // Where the lexer stands just past a token: the size of read_so_far(),
    // and the line and column there.
    struct Mark {
        std::size_t offset = 0;
        std::uint64_t line = 1;
        std::uint64_t column = 1;
    };
    Mark mark() const { return {static_cast<std::size_t>(next_ - begin_), line_, column_}; }
    // Goes to `mark` (taken from a lexer of the same input) and reads on
    // from there.
    void resume(Mark mark);

    // The kind of the token that the `count`-th call of next_token() from
    // now would return (1: the next one), without moving on. The lenient
    // reading looks ahead with it to tell a foreign block from a stray word.
    TokenKind kind_ahead(std::size_t count);

    // Unterminated string literals (and, with `hash_comments`, the warnings
    // about "#" lines) found so far, in the order found. Never cleared.
    const std::vector<Diagnostic>& diagnostics() const { return diagnostics_; }

    // The next token, as next_token() gives it, keeping each comment skipped
    // before it (comments()). A copy of its own, so that next_token() stays
    // the plain loop it always was.
    Token next_token_keeping_comments();
    // The comments kept so far, in the order of the text.
    const std::vector<Comment>& comments() const { return comments_; }
    std::vector<Comment> take_comments() { return std::move(comments_); }

private:
    // The byte at `p`, or NUL past the end. NUL starts no token and continues
    // none, so it serves as the end sentinel wherever a byte is only
    // inspected, never consumed.
    char byte_at(const char* p) const { return p < end_ ? *p : '\0'; }

    Token token_here();
    template <bool keep>
    void skip_blanks_and_comments();
    template <bool keep>
    void note_comment(const char* start, const char* end, std::uint64_t line, std::uint64_t column) {
        if constexpr (keep) {
            comments_.push_back(Comment{{start, static_cast<std::size_t>(end - start)}, line, column});
        }
    }
    void skip_block_comment();
    // Whether the "#" at `hash` is the first byte other than a blank on its
    // line; if so, notes it (once for a run of such lines).
    bool starts_hash_comment(const char* hash, std::uint64_t column);

    // Each scanner starts at `next_` and returns the end of its token.
    const char* scan_number(bool& is_real) const;
    const char* scan_hex_integer() const;
    const char* scan_identifier() const;

    // Makes the token of the bytes from `next_` to `token_end` and moves
    // past them on the same line.
    Token take_token(TokenKind kind, const char* token_end);
    Token read_string();
    Token read_identifier_or_keyword();
    Token read_single_byte();

    // Moves `next_` to `text_end`, counting lines and columns over bytes that
    // may include line feeds (string literals and block comments, where every
    // byte other than a line feed takes one column).
    void advance_over_text(const char* text_end);

    const char* begin_;  // the first byte to read
    const char* end_;
    const char* next_;  // the next unread byte
    bool hash_comments_;
    bool looking_ahead_ = false;
    std::uint64_t last_hash_comment_line_ = 0;
    std::string filename_;
    std::uint64_t line_ = 1;
    std::uint64_t column_ = 1;
    std::vector<Diagnostic> diagnostics_;
    std::vector<Comment> comments_;
    // Storage for the text of the latest string literal that needed
    // re-encoding; a token's text may point here until the next one.
    std::string string_text_;
};

// Where reading a text begins: past a UTF-8 byte order mark, if it has one.
inline std::size_t start_after_byte_order_mark(std::string_view content) {
    constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
    return content.starts_with(byte_order_mark) ? byte_order_mark.size() : 0;
}

// Re-encodes ISO 8859-1 bytes as UTF-8: bytes below 0x80 are copied, every
// other byte becomes its two-byte UTF-8 form.
std::string latin1_to_utf8(std::string_view bytes);

}  // namespace tolvane
