// A comment of an NCF text, which the reading skips and may keep aside.
#pragma once

#include <cstdint>
#include <string_view>

namespace tolvane {

// A comment as the text holds it: "//" up to (not including) the end of its
// line, "/*" through "*/" (or to the end of the text, when it is not
// closed), or a "#" line of the lenient reading. `text` is a view into the
// text that was read. Line and column are where it begins, counted as the
// diagnostics count them.
struct Comment {
    std::string_view text;
    std::uint64_t line = 1;
    std::uint64_t column = 1;
};

}  // namespace tolvane
