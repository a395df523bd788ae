// What the fuzz targets check of any tree, diagnostic or reading, whatever
// the input: the promises several targets share. Each check aborts through
// fail() when a promise is broken.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/ncf_records.hpp"
#include "parser/ncf_parser.hpp"

namespace tolvane::fuzz {

struct Position {
    std::uint64_t line = 0;
    std::uint64_t column = 0;
    auto operator<=>(const Position&) const = default;
};

inline Position position_of(const Diagnostic& diagnostic) {
    return {diagnostic.line, diagnostic.column};
}

// The length in bytes of every line of the input (without its line feed). A
// position is inside the input when its line exists and its column is at most
// one past the line's last byte: columns count bytes, and a carriage return or
// a comment at the end of input only makes them smaller.
class InputLines {
public:
    explicit InputLines(std::string_view content);
    bool contains(Position position) const;

private:
    std::vector<std::size_t> lengths_;
};

// One input as every target reads it: the text, the name the parser gets
// (none for empty content, which would make the parser read the file of
// that name) and its lines.
struct FuzzInput {
    explicit FuzzInput(std::string_view bytes);

    std::string content;
    std::string filename;
    InputLines lines;
};

// A tree and the diagnostics of the parse that built it.
struct Reading {
    NcfFile file;
    std::vector<Diagnostic> diagnostics;

    bool clean() const { return diagnostics.empty(); }
    bool without_errors() const;
};

Reading read(const FuzzInput& input, ParseOptions options = {});

// The trace of a whole parse, line by line, and the reading it gave.
struct TracedReading {
    std::string trace;
    Reading reading;
};
TracedReading traced_read(const FuzzInput& input, ParseOptions options = {});

// A code of the rule table other than the parser's own.
bool is_rule_code(std::string_view code);

// Every record knows where it began and where its values were read, inside
// the input; the file's name is the one the parser was given.
void check_file(const NcfFile& file, const FuzzInput& input);

// The diagnostics of a lenient reading: dialect warnings and syntax errors,
// each inside the input.
void check_lenient_diagnostics(const std::vector<Diagnostic>& diagnostics, const FuzzInput& input);

// The validator ends on any tree; every finding carries a rule's code and
// the file's name, lies inside the input, comes in position order and is not
// reported twice.
void check_validation(const NcfFile& file, std::span<const Diagnostic> syntax, const FuzzInput& input);

}  // namespace tolvane::fuzz
