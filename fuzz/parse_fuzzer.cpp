// The fuzz target: any bytes as the text of an NCF file.
//
// The parser promises that nothing in the text can make it fail: every
// problem is a diagnostic with a position inside the input, parse() always
// returns, and a second parse() carries on from where the first stopped. The
// target lexes the bytes, parses them twice, checks every token (and the
// value of every number) and every diagnostic, and walks every field of both
// results; then it validates the first tree, with and without the parser's
// diagnostics, and checks every finding; and it writes the first tree and
// reads the text back, which must give the same tree; and it packs,
// unpacks, decodes and encodes every frame the codec can use. It reads the
// bytes leniently as well: that reading never fails either, its tree is as
// sound, its warnings name a dialect construct, and input the strict reading
// takes without a diagnostic reads the same, trace and all. A broken
// promise aborts, so libFuzzer (or the replay) reports the input. The target
// never touches the file system.
#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include "codec/frame_codec.hpp"
#include "codec/signal_codec.hpp"
#include "fuzz/fail.hpp"
#include "fuzz/record_text.hpp"
#include "lexer/lexer.hpp"
#include "lexer/token.hpp"
#include "model/ncf_records.hpp"
#include "parser/ncf_parser.hpp"
#include "parser/numbers.hpp"
#include "validate/validator.hpp"
#include "writer/ncf_writer.hpp"

namespace tolvane::fuzz {

namespace {

constexpr std::string_view fuzz_filename = "fuzz.ncf";
constexpr std::string_view unterminated_string = "Unterminated string literal";
constexpr std::string_view unexpected_at_top_level = "Unexpected token at top level: '";

struct Position {
    std::uint64_t line = 0;
    std::uint64_t column = 0;
    auto operator<=>(const Position&) const = default;
};

Position position_of(const Diagnostic& diagnostic) {
    return {diagnostic.line, diagnostic.column};
}

// The length in bytes of every line of the input (without its line feed). A
// position is inside the input when its line exists and its column is at most
// one past the line's last byte: columns count bytes, and a carriage return or
// a comment at the end of input only makes them smaller.
class InputLines {
public:
    explicit InputLines(std::string_view content) {
        std::size_t start = 0;
        for (std::size_t end = content.find('\n'); end != std::string_view::npos;
             end = content.find('\n', start)) {
            lengths_.push_back(end - start);
            start = end + 1;
        }
        lengths_.push_back(content.size() - start);
    }

    bool contains(Position position) const {
        return position.line >= 1 && position.line <= lengths_.size() && position.column >= 1 &&
               position.column <= lengths_[position.line - 1] + 1;
    }

private:
    std::vector<std::size_t> lengths_;
};

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

ParseReport check_diagnostics(const std::vector<Diagnostic>& diagnostics, const InputLines& lines,
                              std::string_view filename) {
    ParseReport report;
    for (const Diagnostic& diagnostic : diagnostics) {
        require(diagnostic.severity == Diagnostic::Severity::Error, "a diagnostic is not an Error");
        require(diagnostic.file == filename, "a diagnostic names another file");
        require(diagnostic.code == syntax_code, "a diagnostic of the parser has another code than syntax");
        require(lines.contains(position_of(diagnostic)), "a diagnostic lies outside the input");
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

// Every record the parser built knows where it began, unless the text never
// gave it (an initial value without its statement); its values were read at
// or after that place, inside the input; an optional value has a position
// exactly when it is present, and a list one position per item.
template <positioned_record Record>
void check_positions(const Record& record, const InputLines& lines) {
    const SourcePosition start = record.positions.start;
    const auto inside = [&](SourcePosition position) {
        return lines.contains({position.line, position.column});
    };
    require(!start.known() || inside(start), "a record begins outside the input");
    for_each_position(record, [&](std::string_view /*name*/, SourcePosition position) {
        require(!position.known() || (start.known() && start <= position && inside(position)),
                "a value lies outside the input or before its record");
    });
    for_each_field<Record>([&](const auto& described) {
        using Value = typename std::remove_cvref_t<decltype(described)>::value_type;
        using PositionMember = std::remove_cvref_t<decltype(described.position)>;
        if constexpr (std::is_same_v<PositionMember, SourcePosition Record::Positions::*>) {
            if constexpr (is_optional<Value>::value) {
                if (described.position != &Record::Positions::start) {
                    require(
                        described.of(record).has_value() == (record.positions.*described.position).known(),
                        "an optional value and its position disagree");
                }
            }
        } else if constexpr (!std::is_same_v<PositionMember, NoPosition>) {
            require(described.of(record).size() == (record.positions.*described.position).size(),
                    "a list and its positions differ in length");
        }
    });
}

void check_file(const NcfFile& file, std::string_view filename, const InputLines& lines) {
    require(file.filename == filename, "the parsed file names another file");
    require(!record_text(file).empty(), "the parsed file has no text");
    require(file.positions.start.known(), "the parsed file has no position");
    for_each_record(file, [&](const auto& record) {
        if constexpr (positioned_record<std::remove_cvref_t<decltype(record)>>) {
            check_positions(record, lines);
        }
    });
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
    Lexer lexer(bytes, std::string(fuzz_filename), start);
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

bool is_rule_code(std::string_view code) {
    for (const Rule& rule : rules()) {
        if (rule.code == code) {
            return code != syntax_code;
        }
    }
    return false;
}

// The validator's promises on any tree the parser returns: it ends, every
// finding carries a rule's code and the file's name and lies inside the
// input, the findings come in position order, and none is reported twice.
void check_validation(const NcfFile& file, std::span<const Diagnostic> syntax, const InputLines& lines) {
    const std::vector<Diagnostic> findings = validate(file, syntax);
    std::set<std::tuple<std::uint64_t, std::uint64_t, std::string_view, std::string_view>> seen;
    Position previous{0, 0};
    std::size_t not_checked = 0;
    for (const Diagnostic& finding : findings) {
        require(is_rule_code(finding.code) && !finding.code.starts_with("dialect-"),
                "a finding has no rule's code");
        require(finding.file == file.filename, "a finding names another file");
        require(finding.severity == Diagnostic::Severity::Error ||
                    finding.severity == Diagnostic::Severity::Warning ||
                    finding.severity == Diagnostic::Severity::Info,
                "a finding has no severity");
        require(lines.contains(position_of(finding)), "a finding lies outside the input");
        require(previous <= position_of(finding), "the findings are out of order");
        previous = position_of(finding);
        require(seen.emplace(finding.line, finding.column, finding.code, finding.message).second,
                "a finding is reported twice");
        not_checked += finding.code == "not-checked";
    }
    require(not_checked <= file.nodes.size(), "more nodes not checked than nodes");
}

// The writer's law: a tree it writes reads back as the same tree (every
// field; positions aside), without a diagnostic when the input had none, and
// writing that tree again gives the same text. A tree it refuses is one with
// a name or text no token spells.
void check_writer_law(const NcfFile& file, bool clean) {
    std::string text;
    try {
        text = write_ncf(file);
    } catch (const CannotWrite&) {
        return;
    }
    NcfParser parser = NcfParser::from_text(file.filename, text);
    const NcfFile again = parser.parse();
    require(record_text(again) == record_text(file), "a written tree reads back differently");
    require(!clean || parser.get_diagnostics().empty(), "the text written from a clean tree has diagnostics");
    require(write_ncf(again) == text, "writing a written tree again gives another text");
}

// Whether a decoded value can be given back to encode: a number, a text or
// bytes as decode gives them.
std::optional<EncodingInput> encoding_input(const DecodedSignal& decoded) {
    if (decoded.kind == ValueKind::raw) {
        return std::nullopt;
    }
    return std::visit(
        [](const auto& value) -> EncodingInput {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, std::uint64_t>) {
                return static_cast<std::int64_t>(value);  // at most 16 BCD digits: below 2^63
            } else {
                return value;
            }
        },
        decoded.value);
}

void check_encodings(const NcfNodeDef& node, const NcfSingleFrame& frame,
                     const std::vector<std::uint8_t>& data, const std::vector<NamedRawValue>& raw) {
    std::optional<EncodedFrame> encoded;
    try {
        encoded.emplace(node, frame);
    } catch (const CodecError&) {
        return;  // an encoding the node does not define
    }
    const std::vector<DecodedSignal> decoded = encoded->decode(data);
    require(decoded.size() == raw.size(), "decoding gives other signals than unpacking");
    std::vector<NamedInput> inputs;
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        require(decoded[i].name == raw[i].name && decoded[i].raw == raw[i].value,
                "decoding gives another raw value than unpacking");
        if (std::optional<EncodingInput> input = encoding_input(decoded[i])) {
            inputs.push_back({decoded[i].name, std::move(*input)});
        }
    }
    try {
        static_cast<void>(encoded->encode(inputs));
    } catch (const CodecError&) {
        // a value that another line takes first, or that rounds outside its line
    }
}

// The codec on every frame with a usable layout: data of the frame's length
// (taken from the input) always unpacks, and packing what it gave unpacks to
// the same values. Through the node's encodings, the data always decodes to
// the raw values unpack gives, and encoding what it decoded refuses, if at
// all, only with a CodecError.
void check_codec(const NcfFile& file, std::string_view bytes) {
    for (const NcfNodeDef& node : file.nodes) {
        for (const NcfSingleFrame& frame : node.frames) {
            std::optional<FrameLayout> layout;
            try {
                layout.emplace(frame);
            } catch (const CodecError&) {
                continue;
            }
            std::vector<std::uint8_t> data(layout->length());
            for (std::size_t i = 0; i < data.size() && i < bytes.size(); ++i) {
                data[i] = static_cast<std::uint8_t>(bytes[i]);
            }
            const std::vector<NamedRawValue> values = layout->unpack(data);
            const std::vector<NamedRawValue> again = layout->unpack(layout->pack(values));
            require(again.size() == values.size(), "unpacking a packed frame gives other signals");
            for (std::size_t i = 0; i < values.size(); ++i) {
                require(again[i].value == values[i].value, "unpacking a packed frame gives another value");
            }
            check_encodings(node, frame, data, values);
        }
    }
}

// The trace of a whole parse, line by line.
std::string traced_parse(const std::string& filename, const std::string& content, ParseOptions options) {
    NcfParser parser(filename, content, options);
    std::string trace;
    parser.set_trace_sink([&](std::string_view line) { trace.append(line); });
    parser.set_trace(true);
    static_cast<void>(parser.parse());
    return trace;
}

void check_lenient_diagnostics(const std::vector<Diagnostic>& diagnostics, const InputLines& lines,
                               std::string_view filename) {
    for (const Diagnostic& diagnostic : diagnostics) {
        require(diagnostic.file == filename, "a lenient diagnostic names another file");
        require(lines.contains(position_of(diagnostic)), "a lenient diagnostic lies outside the input");
        if (diagnostic.severity == Diagnostic::Severity::Warning) {
            require(diagnostic.code.starts_with("dialect-") && is_rule_code(diagnostic.code),
                    "a warning of the lenient reading has no dialect code");
        } else {
            require(diagnostic.severity == Diagnostic::Severity::Error && diagnostic.code == syntax_code,
                    "a lenient diagnostic is neither a dialect warning nor a syntax error");
        }
        require(!record_text(diagnostic).empty(), "a lenient diagnostic has no text");
    }
}

// The lenient reading: as sound as the strict one on any input, the same on
// input the strict one reads without a diagnostic, and a tree that it reads
// with warnings alone writes as text the strict reading takes cleanly.
void check_lenient_reading(const std::string& filename, const std::string& content, const InputLines& lines,
                           const NcfFile& strict_file, bool strict_clean) {
    NcfParser parser(filename, content, ParseOptions{.lenient = true});
    const NcfFile file = parser.parse();
    const std::vector<Diagnostic>& diagnostics = parser.get_diagnostics();
    check_file(file, filename, lines);
    check_lenient_diagnostics(diagnostics, lines, filename);
    check_validation(file, diagnostics, lines);
    const bool no_errors = std::none_of(diagnostics.begin(), diagnostics.end(), [](const Diagnostic& d) {
        return d.severity == Diagnostic::Severity::Error;
    });
    check_writer_law(file, no_errors);
    if (strict_clean) {
        require(diagnostics.empty(), "the lenient reading warns about input the strict one reads cleanly");
        require(record_text(file) == record_text(strict_file),
                "the lenient reading gives another tree for input the strict one reads cleanly");
        require(traced_parse(filename, content, {}) == traced_parse(filename, content, {.lenient = true}),
                "the lenient reading traces input the strict one reads cleanly another way");
    }
}

void run(std::string_view bytes) {
    const std::string content(bytes);
    // With empty content the parser would read the file that `filename`
    // names; an empty name as well keeps it away from the file system.
    const std::string filename = content.empty() ? std::string() : std::string(fuzz_filename);
    const InputLines lines(content);
    check_tokens(bytes, lines);

    NcfParser parser(filename, content);
    require(parser.get_diagnostics().empty(), "diagnostics before the first parse");

    const NcfFile first_file = parser.parse();
    check_file(first_file, filename, lines);
    const ParseReport first = check_diagnostics(parser.get_diagnostics(), lines, filename);
    check_validation(first_file, parser.get_diagnostics(), lines);
    check_validation(first_file, {}, lines);  // even the trees of nodes with syntax errors
    check_writer_law(first_file, parser.get_diagnostics().empty());
    check_codec(first_file, bytes);
    check_lenient_reading(filename, content, lines, first_file, parser.get_diagnostics().empty());

    const NcfFile second_file = parser.parse();
    check_file(second_file, filename, lines);
    const ParseReport second = check_diagnostics(parser.get_diagnostics(), lines, filename);

    if (stopped_before_the_end(first)) {
        check_parse_after_stop(first, second);
    } else {
        check_parse_at_end(second_file, first, second);
    }
}

}  // namespace

}  // namespace tolvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        tolvane::fuzz::run(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const std::exception& error) {
        tolvane::fuzz::fail(std::string("an exception escaped the parser: ") + error.what());
    }
    return 0;
}
