// The trace target. With the trace on, every line has the form
//   <two spaces per depth>[TRACE] ENTER <rule> at <line>:<column> ('<token>')
// or the same with EXIT and no rule, at a position inside the input; every
// ENTER has its EXIT at the same depth, in nesting order, and none is left
// open at the end of a parse. The trace is a function of the input: two
// parsers give the same lines, and the trace changes nothing of the tree or
// the diagnostics. Both readings are traced; on input the strict reading
// takes without a diagnostic the lenient one traces the same.
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/checks.hpp"
#include "fuzz/fail.hpp"
#include "fuzz/record_text.hpp"
#include "fuzz/targets.hpp"
#include "parser/ncf_parser.hpp"

namespace tolvane::fuzz {

namespace {

struct TracedLines {
    std::vector<std::string> lines;  // one a call of the sink
    Reading reading;
};

TracedLines traced_lines(const FuzzInput& input, ParseOptions options) {
    NcfParser parser(input.filename, input.content, options);
    std::vector<std::string> lines;
    parser.set_trace_sink([&](std::string_view line) { lines.emplace_back(line); });
    parser.set_trace(true);
    NcfFile file = parser.parse();
    return {std::move(lines), {std::move(file), parser.get_diagnostics()}};
}

bool consume(std::string_view& text, std::string_view prefix) {
    if (!text.starts_with(prefix)) {
        return false;
    }
    text.remove_prefix(prefix.size());
    return true;
}

std::uint64_t consume_number(std::string_view& text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    require(error == std::errc() && end != text.data(), "a trace line has no position");
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return value;
}

void check_trace(const std::vector<std::string>& lines, const FuzzInput& input) {
    std::size_t open = 0;
    for (const std::string& whole : lines) {
        std::string_view line = whole;
        std::size_t depth = 0;
        while (consume(line, "  ")) {
            ++depth;
        }
        require(consume(line, "[TRACE] "), "a trace line does not begin with its depth and [TRACE]");
        if (consume(line, "ENTER ")) {
            require(depth == open, "an ENTER at another depth than the rules open");
            const std::size_t rule_end = line.find(" at ");
            require(rule_end != 0 && rule_end != std::string_view::npos, "an ENTER names no rule");
            line.remove_prefix(rule_end);
            ++open;
        } else {
            require(line.starts_with("EXIT at "), "a trace line is neither ENTER nor EXIT");
            line.remove_prefix(4);
            require(open > 0 && depth == open - 1, "an EXIT without its ENTER at the same depth");
            --open;
        }
        require(consume(line, " at "), "a trace line has no position");
        const std::uint64_t row = consume_number(line);
        require(consume(line, ":"), "a trace line's position has no column");
        const std::uint64_t column = consume_number(line);
        require(input.lines.contains({row, column}), "a trace line names a place outside the input");
        require(consume(line, " ('") && line.ends_with("')\n"), "a trace line does not end with its token");
    }
    require(open == 0, "a rule the trace entered has no EXIT");
}

void check_same_reading(const Reading& traced, const Reading& plain) {
    require(record_text(traced.file) == record_text(plain.file), "the trace changes the tree");
    require(traced.diagnostics.size() == plain.diagnostics.size(), "the trace changes the diagnostics");
    for (std::size_t i = 0; i < plain.diagnostics.size(); ++i) {
        require(record_text(traced.diagnostics[i]) == record_text(plain.diagnostics[i]),
                "the trace changes a diagnostic");
    }
}

}  // namespace

void trace_target(std::string_view bytes) {
    const FuzzInput input(bytes);
    const TracedLines strict = traced_lines(input, {});
    check_trace(strict.lines, input);
    check_same_reading(strict.reading, read(input));
    require(traced_lines(input, {}).lines == strict.lines, "two traces of one input differ");

    const TracedLines lenient = traced_lines(input, {.lenient = true});
    check_trace(lenient.lines, input);
    check_same_reading(lenient.reading, read(input, {.lenient = true}));
    if (strict.reading.clean()) {
        require(lenient.lines == strict.lines,
                "the lenient reading traces input the strict one reads cleanly another way");
    }
}

}  // namespace tolvane::fuzz
