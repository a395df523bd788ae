// Where in the text a record or one of its values was read.
#pragma once

#include <algorithm>
#include <compare>
#include <cstdint>
#include <limits>

namespace tolvane {

// A 1-based line and a 1-based column counted in bytes, as the lexer counts
// them. Line 0 means the text never provided the record or value.
//
// Held in 32 bits each to keep the tree small (a parsed file holds several
// positions per signal): a position beyond line or column 4 294 967 295,
// which only an input of more than 4 GiB can reach, reads as that largest
// value. Diagnostics keep the lexer's full 64-bit positions.
struct SourcePosition {
    std::uint32_t line = 0;
    std::uint32_t column = 0;

    static constexpr std::uint32_t largest = std::numeric_limits<std::uint32_t>::max();

    static constexpr SourcePosition at(std::uint64_t line, std::uint64_t column) {
        return {static_cast<std::uint32_t>(std::min<std::uint64_t>(line, largest)),
                static_cast<std::uint32_t>(std::min<std::uint64_t>(column, largest))};
    }

    constexpr bool known() const { return line != 0; }

    friend constexpr auto operator<=>(const SourcePosition&, const SourcePosition&) = default;
};

}  // namespace tolvane
