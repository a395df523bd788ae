// The lines of an NCF text as the canonical text writes them: statements,
// heads of blocks and the "}" that close them. The formatter places each
// comment of the text by the unit it stands in, after or before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "lexer/lexer.hpp"

namespace tolvane::format {

// A line and a column, as the lexer counts them.
using Place = std::pair<std::uint64_t, std::uint64_t>;

inline constexpr std::size_t no_unit = static_cast<std::size_t>(-1);

struct SourceUnit {
    enum class Kind : std::uint8_t {
        Statement,  // up to its ";" (a value list's braces inside it)
        Head,       // up to the "{" that opens a block
        Close,      // the "}" that closes one
    };
    Kind kind = Kind::Statement;
    Place start;                   // its first token
    Place end;                     // just past its last token
    std::size_t partner = no_unit;  // a head's "}", a "}"'s head
    std::size_t parent = no_unit;   // the head of the block it stands in
};

// The units of a text in the order of the text (so by `start`), and its
// comments, read as the reading that parsed it reads (`lenient`: "#" lines
// are comments).
struct SourceLayout {
    std::vector<SourceUnit> units;
    std::vector<Comment> comments;
};
SourceLayout source_layout(std::string_view text, bool lenient);

// Gathers units from the tokens of a text, in their order.
class UnitReader {
public:
    // `text` only tells how many units there may be.
    explicit UnitReader(std::string_view text);
    void take(const Token& token, Place end);
    // The units: once, when the tokens have ended.
    std::vector<SourceUnit> take_units();

private:
    std::size_t parent() const { return open_.empty() ? no_unit : open_.back(); }
    void extend(Place start, Place end);
    void finish_statement();
    void open_block();
    void close_block(Place start, Place end);

    std::vector<SourceUnit> units_;
    std::vector<std::size_t> open_;
    SourceUnit current_;
    bool pending_ = false;
    int list_depth_ = 0;
    TokenKind previous_ = TokenKind::Unknown;
};

// The unit that holds the token at `at` (the latest that starts at or
// before it), or no_unit when none starts before it.
std::size_t unit_at(const std::vector<SourceUnit>& units, Place at);

}  // namespace tolvane::format
