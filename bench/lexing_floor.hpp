// The lexing floor: the least work any lexer of this language must do.
//
// One pass over the bytes, one table lookup per byte, counting tokens and
// lines; no token objects, no positions beyond the line, no keyword lookup,
// no numbers told apart from words. Strings (with backslash pairs) and both
// kinds of comment are honoured, so that quotes and comment bodies are not
// counted as tokens. The parser's speed is quoted as a fraction of this rate.
#pragma once

#include <cstddef>
#include <string>

namespace tolvane::bench {

struct FloorCounts {
    std::size_t tokens = 0;
    std::size_t lines = 0;  // line feeds
};

// Scans `text` whole. Relies on the NUL that std::string keeps after its last
// byte as the end sentinel, which spares a bounds check in every inner loop;
// a NUL inside the text is a one-byte token like any other stray byte.
FloorCounts scan_lexing_floor(const std::string& text);

}  // namespace tolvane::bench
