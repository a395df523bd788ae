#include "bench/lexing_floor.hpp"

#include <array>
#include <cstdint>

namespace tolvane::bench {

namespace {

enum ByteClass : std::uint8_t {
    other,    // a one-byte token: punctuation, signs, stray bytes
    blank,    // space, tab, carriage return
    newline,  // line feed
    word,     // continues an identifier or a number: letters, digits, '_', '.'
    quote,    // opens a string literal
    slash,    // a comment, or a one-byte token
    nul,      // the end sentinel, or a stray NUL byte
};

constexpr std::array<ByteClass, 256> byte_classes = [] {
    std::array<ByteClass, 256> table{};
    table.fill(other);
    for (int c = '0'; c <= '9'; ++c) {
        table[static_cast<std::size_t>(c)] = word;
    }
    for (int c = 'a'; c <= 'z'; ++c) {
        table[static_cast<std::size_t>(c)] = word;
        table[static_cast<std::size_t>(c - 'a' + 'A')] = word;
    }
    table['_'] = word;
    table['.'] = word;
    table[' '] = blank;
    table['\t'] = blank;
    table['\r'] = blank;
    table['\n'] = newline;
    table['"'] = quote;
    table['/'] = slash;
    table[0] = nul;
    return table;
}();

ByteClass class_of(const char* p) {
    return byte_classes[static_cast<unsigned char>(*p)];
}

// From the opening quote to past the closing one (or to the end).
const char* skip_string(const char* p, const char* end, std::size_t& lines) {
    for (++p; p < end && *p != '"'; ++p) {
        if (*p == '\\' && p + 1 < end) {
            ++p;
        }
        lines += *p == '\n';
    }
    return p < end ? p + 1 : end;
}

// From the "/*" to past the "*/" (or to the end).
const char* skip_block_comment(const char* p, const char* end, std::size_t& lines) {
    for (p += 2; p < end; ++p) {
        if (*p == '*' && p[1] == '/') {
            return p + 2;
        }
        lines += *p == '\n';
    }
    return end;
}

}  // namespace

FloorCounts scan_lexing_floor(const std::string& text) {
    FloorCounts counts;
    const char* p = text.c_str();
    const char* const end = p + text.size();
    for (;;) {
        switch (class_of(p)) {
            case blank:
                ++p;
                break;
            case newline:
                ++counts.lines;
                ++p;
                break;
            case word:
                ++counts.tokens;
                do {
                    ++p;
                } while (class_of(p) == word);
                break;
            case quote:
                ++counts.tokens;
                p = skip_string(p, end, counts.lines);
                break;
            case slash:
                if (p[1] == '/') {
                    while (*p != '\n' && p < end) {
                        ++p;
                    }
                } else if (p[1] == '*') {
                    p = skip_block_comment(p, end, counts.lines);
                } else {
                    ++counts.tokens;
                    ++p;
                }
                break;
            case nul:
                if (p == end) {
                    return counts;
                }
                ++counts.tokens;
                ++p;
                break;
            case other:
                ++counts.tokens;
                ++p;
                break;
        }
    }
}

}  // namespace tolvane::bench
