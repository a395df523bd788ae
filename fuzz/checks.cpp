#include "fuzz/checks.hpp"

#include <algorithm>
#include <set>
#include <tuple>
#include <type_traits>

#include "fuzz/fail.hpp"
#include "fuzz/record_text.hpp"
#include "validate/findings.hpp"
#include "validate/validator.hpp"

namespace tolvane::fuzz {

namespace {

constexpr std::string_view fuzz_filename = "fuzz.ncf";

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

}  // namespace

InputLines::InputLines(std::string_view content) {
    std::size_t start = 0;
    for (std::size_t end = content.find('\n'); end != std::string_view::npos;
         end = content.find('\n', start)) {
        lengths_.push_back(end - start);
        start = end + 1;
    }
    lengths_.push_back(content.size() - start);
}

bool InputLines::contains(Position position) const {
    return position.line >= 1 && position.line <= lengths_.size() && position.column >= 1 &&
           position.column <= lengths_[position.line - 1] + 1;
}

FuzzInput::FuzzInput(std::string_view bytes)
    : content(bytes), filename(bytes.empty() ? std::string() : std::string(fuzz_filename)), lines(bytes) {}

bool Reading::without_errors() const {
    return std::none_of(diagnostics.begin(), diagnostics.end(),
                        [](const Diagnostic& d) { return d.severity == Diagnostic::Severity::Error; });
}

Reading read(const FuzzInput& input, ParseOptions options) {
    NcfParser parser(input.filename, input.content, options);
    NcfFile file = parser.parse();
    return {std::move(file), parser.get_diagnostics()};
}

TracedReading traced_read(const FuzzInput& input, ParseOptions options) {
    NcfParser parser(input.filename, input.content, options);
    std::string trace;
    parser.set_trace_sink([&](std::string_view line) { trace.append(line); });
    parser.set_trace(true);
    NcfFile file = parser.parse();
    return {std::move(trace), {std::move(file), parser.get_diagnostics()}};
}

bool is_rule_code(std::string_view code) {
    for (const Rule& rule : rules()) {
        if (rule.code == code) {
            return code != syntax_code;
        }
    }
    return false;
}

void check_file(const NcfFile& file, const FuzzInput& input) {
    require(file.filename == input.filename, "the parsed file names another file");
    require(!record_text(file).empty(), "the parsed file has no text");
    require(file.positions.start.known(), "the parsed file has no position");
    for_each_record(file, [&](const auto& record) {
        if constexpr (positioned_record<std::remove_cvref_t<decltype(record)>>) {
            check_positions(record, input.lines);
        }
    });
}

void check_lenient_diagnostics(const std::vector<Diagnostic>& diagnostics, const FuzzInput& input) {
    for (const Diagnostic& diagnostic : diagnostics) {
        require(diagnostic.file == input.filename, "a lenient diagnostic names another file");
        require(input.lines.contains(position_of(diagnostic)), "a lenient diagnostic lies outside the input");
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

void check_validation(const NcfFile& file, std::span<const Diagnostic> syntax, const FuzzInput& input) {
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
        require(input.lines.contains(position_of(finding)), "a finding lies outside the input");
        require(previous <= position_of(finding), "the findings are out of order");
        previous = position_of(finding);
        require(seen.emplace(finding.line, finding.column, finding.code, finding.message).second,
                "a finding is reported twice");
        require(!record_text(finding).empty(), "a finding has no text");
        not_checked += finding.code == "not-checked";
    }
    require(not_checked <= file.nodes.size(), "more nodes not checked than nodes");
    // A rule reports a bounded number of findings in each frame, encoding,
    // node and the file, however many it finds.
    std::size_t groups = 1;
    for (const NcfNodeDef& node : file.nodes) {
        groups += 1 + 2 * node.frames.size() + node.encodings.size();  // frame rules, encoding references
    }
    require(findings.size() <= (detail::findings_per_rule_and_group + 1) * rules().size() * groups,
            "the findings are not bounded by the places they are in");
}

}  // namespace tolvane::fuzz
