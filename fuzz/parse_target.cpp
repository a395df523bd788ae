// The parse target: the lexer and the parser on any bytes.
//
// The parser promises that nothing in the text can make it fail: every
// problem is a diagnostic with a position inside the input, parse() always
// returns, and a second parse() carries on from where the first stopped. The
// target lexes the bytes, parses them twice, checks every token (and the
// value of every number) and every diagnostic, and walks every field of both
// results. It never touches the file system.
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/checks.hpp"
#include "fuzz/fail.hpp"
#include "fuzz/record_text.hpp"
#include "fuzz/targets.hpp"
#include "lexer/lexer.hpp"
#include "lexer/token.hpp"
#include "model/ncf_records.hpp"
#include "parser/ncf_parser.hpp"
#include "parser/numbers.hpp"

namespace tolvane::fuzz {

namespace {

constexpr std::string_view unterminated_string = "Unterminated string literal";
constexpr std::string_view unexpected_at_top_level = "Unexpected token at top level: '";

bool starts_with_any(std::string_view message, std::initializer_list<std::string_view> prefixes) {
    for (std::string_view prefix : prefixes) {
        if (message.starts_with(prefix)) {
            return true;
        }
    }
    return false;
}

// What holds of the diagnostics of one parse, whatever the input.
struct ParseReport {
    std::vector<Diagnostic> grammar;  // in the order reported
    std::vector<Diagnostic> lexer;    // appended after the grammar's
};

ParseReport check_diagnostics(const std::vector<Diagnostic>& diagnostics, const FuzzInput& input) {
    ParseReport report;
    for (const Diagnostic& diagnostic : diagnostics) {
        require(diagnostic.severity == Diagnostic::Severity::Error, "a diagnostic is not an Error");
        require(diagnostic.file == input.filename, "a diagnostic names another file");
        require(diagnostic.code == syntax_code, "a diagnostic of the parser has another code than syntax");
        require(input.lines.contains(position_of(diagnostic)), "a diagnostic lies outside the input");
        if (diagnostic.message == unterminated_string) {
            report.lexer.push_back(diagnostic);
            continue;
        }
        require(report.lexer.empty(), "a grammar diagnostic follows the lexer's");
        require(
            starts_with_any(diagnostic.message, {"Expected ", unexpected_at_top_level, "Invalid integer: '",
                                                 "Integer out of range: '", "Number out of range: '"}),
            "a diagnostic has a message nobody makes");
        // The cursor only moves forward, so the grammar reports in input order.
        require(report.grammar.empty() || position_of(report.grammar.back()) <= position_of(diagnostic),
                "the grammar's diagnostics go backwards");
        report.grammar.push_back(diagnostic);
    }
    // An unterminated string runs to the end of input, so there is at most one.
    require(report.lexer.size() <= 1, "more than one unterminated string");
    for (const Diagnostic& diagnostic : diagnostics) {
        require(!record_text(diagnostic).empty(), "a diagnostic has no text");
    }
    return report;
}

bool stopped_before_the_end(const ParseReport& report) {
    return !report.grammar.empty() && report.grammar.back().message.starts_with(unexpected_at_top_level);
}

// After a parse that reached the end of input, a second one finds only the
// end: the six expectations of the header at its position, no nodes, and the
// lexer's diagnostics again.
void check_parse_at_end(const NcfFile& file, const ParseReport& first, const ParseReport& second) {
    require(file.language_version == "<EOF>" && file.nodes.empty(), "a parse at the end read something");
    const std::vector<std::string_view> expected = {
        "Expected node_capability_file, found '<EOF>'",
        "Expected ;, found '<EOF>'",
        "Expected LIN_language_version, found '<EOF>'",
        "Expected =, found '<EOF>'",
        "Expected string literal",
        "Expected ;, found '<EOF>'",
    };
    require(second.grammar.size() == expected.size(),
            "a parse at the end reports other than six diagnostics");
    const Position end = position_of(second.grammar.front());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        require(second.grammar[i].message == expected[i], "a parse at the end reports another message");
        require(position_of(second.grammar[i]) == end, "a parse at the end reports two positions");
    }
    require(first.grammar.empty() || position_of(first.grammar.back()) <= end,
            "the end of input lies before a diagnostic of the first parse");
    require(second.lexer.size() == first.lexer.size(), "the lexer's diagnostics changed at the end of input");
    for (std::size_t i = 0; i < first.lexer.size(); ++i) {
        require(position_of(second.lexer[i]) == position_of(first.lexer[i]),
                "the lexer's diagnostics moved at the end of input");
    }
}

// After a parse that stopped at a top-level token, the second one reads on
// from that token; the lexer's list only grows.
void check_parse_after_stop(const ParseReport& first, const ParseReport& second) {
    const Position stop = position_of(first.grammar.back());
    for (const Diagnostic& diagnostic : second.grammar) {
        require(stop <= position_of(diagnostic), "a second parse reports before where the first stopped");
    }
    require(second.lexer.size() >= first.lexer.size(), "the lexer forgot a diagnostic");
    for (std::size_t i = 0; i < first.lexer.size(); ++i) {
        require(position_of(second.lexer[i]) == position_of(first.lexer[i]), "the lexer's diagnostics moved");
    }
}

// The values of number tokens against the C library's own conversions, which
// they follow: strtoll for integers (a value outside 32 bits is a problem,
// as is a hexadecimal prefix without digits), strtod for reals (an overflow
// is a problem; an underflow, or a result below the smallest normal double,
// reads as 0.0 without one).
void check_integer_value(std::string_view text) {
    const IntegerValue reading = integer_value(text);
    if (text == "0x" || text == "0X") {
        require(reading.value == 0 && reading.problem == NumberProblem::NoDigits,
                "a bare prefix has a value");
        return;
    }
    const std::string copy(text);
    const int base = copy.size() > 2 && copy[0] == '0' && (copy[1] == 'x' || copy[1] == 'X') ? 16 : 10;
    errno = 0;
    const long long expected = std::strtoll(copy.c_str(), nullptr, base);
    if (errno == ERANGE || expected < INT32_MIN || expected > INT32_MAX) {
        require(reading.value == 0 && reading.problem == NumberProblem::OutOfRange,
                "an integer outside 32 bits is not out of range");
        return;
    }
    require(reading.value == expected && reading.problem == NumberProblem::None,
            "an integer's value differs from strtoll's");
}

void check_number_value(std::string_view text) {
    const RealValue reading = number_value(text);
    const std::string copy(text);
    errno = 0;
    const double expected = std::strtod(copy.c_str(), nullptr);
    if (errno == ERANGE && std::fabs(expected) == HUGE_VAL) {
        require(reading.value == 0.0 && reading.problem == NumberProblem::OutOfRange,
                "a number that overflows is not out of range");
    } else if (errno == ERANGE || (expected != 0.0 && std::fabs(expected) < DBL_MIN)) {
        require(reading.value == 0.0 && reading.problem == NumberProblem::None,
                "a number that underflows does not read as 0.0");
    } else {
        require(reading.value == expected && reading.problem == NumberProblem::None,
                "a number's value differs from strtod's");
    }
}

bool is_single_byte_kind(TokenKind kind) {
    return (kind >= TokenKind::Colon && kind <= TokenKind::Minus) || kind == TokenKind::Unknown;
}

// Lexes the fuzzer's own buffer, which has no byte after its end, so that
// AddressSanitizer sees any read past the end of the input. Every token but
// the end lies inside the input, after the one before it; the end comes
// after at most one token per byte and then repeats.
void check_tokens(std::string_view bytes, const InputLines& lines) {
    const std::size_t start = bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    Lexer lexer(bytes, "fuzz.ncf", start);
    const char* previous_end = bytes.data() + start;
    Position previous{1, 1};
    for (std::size_t count = 0;; ++count) {
        require(count <= bytes.size(), "more tokens than bytes");
        const Token token = lexer.next_token();
        const Position position{token.line, token.column};
        require(lines.contains(position), "a token lies outside the input");
        require(previous <= position, "the tokens go backwards");
        previous = position;
        if (token.kind == TokenKind::EndOfInput) {
            require(token.text == "<EOF>", "the end of input has another text");
            const Token again = lexer.next_token();
            require(again.kind == TokenKind::EndOfInput && again.line == token.line &&
                        again.column == token.column,
                    "the end of input does not repeat");
            break;
        }
        if (token.kind == TokenKind::String) {
            continue;  // its text may be re-encoded, outside the input
        }
        if (token.kind == TokenKind::Integer) {
            check_integer_value(token.text);
        }
        if (token.kind == TokenKind::Integer || token.kind == TokenKind::Real) {
            check_number_value(token.text);
        }
        const char* first = token.text.data();
        require(first >= previous_end && first + token.text.size() <= bytes.data() + bytes.size(),
                "a token's text is not the next part of the input");
        require(!token.text.empty(), "a token has no text");
        require(!is_single_byte_kind(token.kind) || token.text.size() == 1,
                "a punctuation or unknown token is not one byte");
        previous_end = first + token.text.size();
    }
    require(lexer.diagnostics().size() <= 1, "the lexer reports more than one unterminated string");
}

}  // namespace

void parse_target(std::string_view bytes) {
    const FuzzInput input(bytes);
    check_tokens(bytes, input.lines);

    NcfParser parser(input.filename, input.content);
    require(parser.get_diagnostics().empty(), "diagnostics before the first parse");

    const NcfFile first_file = parser.parse();
    check_file(first_file, input);
    const ParseReport first = check_diagnostics(parser.get_diagnostics(), input);

    const NcfFile second_file = parser.parse();
    check_file(second_file, input);
    const ParseReport second = check_diagnostics(parser.get_diagnostics(), input);

    if (stopped_before_the_end(first)) {
        check_parse_after_stop(first, second);
    } else {
        check_parse_at_end(second_file, first, second);
    }
}

}  // namespace tolvane::fuzz
