// Comments into the canonical text. The tree holds no comment; the text it
// was read from does, and the writer says which statement of that text each
// of its lines writes. A comment is anchored to the statement of the text
// it follows on the same line (or stands inside), or else to the one it
// precedes, and goes where the writer put that statement.
#include "format/formatter.hpp"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "format/source_units.hpp"
#include "writer/ncf_writer.hpp"

namespace tolvane {

namespace {

using format::no_unit;
using format::Place;
using format::SourceUnit;

constexpr std::size_t no_line = static_cast<std::size_t>(-1);

std::uint64_t line_breaks(std::string_view text) {
    return static_cast<std::uint64_t>(std::ranges::count(text, '\n'));
}

bool is_block_comment(std::string_view text) {
    return text.starts_with("/*");
}

// A block comment that the end of the text cut short: whatever followed it
// in the output would join it.
bool is_unclosed(std::string_view text) {
    return is_block_comment(text) && (text.size() < 4 || !text.ends_with("*/"));
}

// Appends a comment as the canonical text writes it.
void append_written_comment(std::string& out, std::string_view text) {
    if (is_block_comment(text)) {
        out += text;
        return;
    }
    const std::size_t last = text.find_last_not_of(" \t\r");
    const std::string_view kept = text.substr(0, last == std::string_view::npos ? 0 : last + 1);
    if (kept.starts_with('#')) {
        out += "//";
        out += kept.substr(1);
    } else {
        out += kept;
    }
}

// Where a comment goes: on a line of its own before a line of the output,
// at the end of one, or after the last line.
struct Placement {
    enum class Where : std::uint8_t { Before, After, End };
    Where where = Where::End;
    std::size_t line = no_line;
};

// A comment placed: which one, and for one on a line of its own, whether a
// blank line stood before and after it in the text.
struct Placed {
    std::size_t comment = 0;
    bool blank_before = false;
    bool blank_after = false;
};

// Placed comments grouped by output line, in the order placed: filled in
// two passes (count, then place), so that a million lines cost three flat
// arrays and no list per line.
class ByLine {
public:
    explicit ByLine(std::size_t lines) : first_(lines + 1, 0) {}
    void count(std::size_t line) { ++first_[line + 1]; }
    void start_placing() {
        for (std::size_t line = 1; line < first_.size(); ++line) {
            first_[line] += first_[line - 1];
        }
        next_.assign(first_.begin(), first_.end() - 1);
        placed_.resize(first_.back());
    }
    void place(std::size_t line, Placed placed) { placed_[next_[line]++] = placed; }
    std::span<const Placed> at(std::size_t line) const {
        return std::span(placed_).subspan(first_[line], first_[line + 1] - first_[line]);
    }

private:
    std::vector<std::size_t> first_;
    std::vector<std::size_t> next_;
    std::vector<Placed> placed_;
};

class CommentPlacer {
public:
    CommentPlacer(const CanonicalLines& lines, std::vector<SourceUnit> units, std::span<const Comment> comments)
        : lines_(lines),
          units_(std::move(units)),
          comments_(comments),
          before_(lines.origins.size()),
          after_(lines.origins.size()) {
        map_units_to_lines();
        relate_comments_to_units();
        mark_statements_whose_comments_go_before();
        place();
    }

    std::string write() const;

private:
    // The unit that holds the token at `at`, looked for from `hint` on
    // first: lines and comments mostly come in the order of the text.
    std::size_t unit_at(Place at, std::size_t hint) const {
        const auto holds = [&](std::size_t unit) {
            return units_[unit].start <= at && (unit + 1 == units_.size() || at < units_[unit + 1].start);
        };
        for (std::size_t unit = hint; unit < units_.size() && unit < hint + 2; ++unit) {
            if (holds(unit)) {
                return unit;
            }
        }
        return format::unit_at(units_, at);
    }

    // The unit of the text that an output line writes, from its origin.
    std::size_t unit_of(const LineOrigin& origin, std::size_t hint) const {
        if (origin.kind == LineOrigin::Kind::None) {
            return no_unit;
        }
        std::size_t unit = unit_at({origin.at.line, origin.at.column}, hint);
        if (unit != no_unit && origin.kind == LineOrigin::Kind::BlockAround) {
            unit = units_[unit].parent;
        }
        if (unit != no_unit && origin.closes) {
            unit = units_[unit].kind == SourceUnit::Kind::Head ? units_[unit].partner : no_unit;
        }
        return unit;
    }

    void map_units_to_lines() {
        line_of_unit_.assign(units_.size(), no_line);
        std::size_t hint = 0;
        for (std::size_t line = 0; line < lines_.origins.size(); ++line) {
            const std::size_t unit = unit_of(lines_.origins[line], hint);
            if (unit != no_unit && line_of_unit_[unit] == no_line) {
                line_of_unit_[unit] = line;
                hint = unit;
            }
        }
        // A unit the output does not write (a block the lenient reading
        // skipped, an empty section) passes its comments on to the next one
        // that it writes.
        next_written_.assign(units_.size() + 1, no_line);
        for (std::size_t unit = units_.size(); unit-- > 0;) {
            next_written_[unit] = line_of_unit_[unit] != no_line ? line_of_unit_[unit] : next_written_[unit + 1];
        }
    }

    // How a comment stands to the unit of the text before it.
    enum class Relation : std::uint8_t {
        Inside,   // between two of its tokens
        After,    // after it, on the line where it ends
        OwnLine,  // on a later line
        Last,     // a block comment the end of the text cut short
    };

    Relation relation_of(const Comment& comment, std::size_t previous) const {
        if (is_unclosed(comment.text)) {
            return Relation::Last;
        }
        if (previous == no_unit) {
            return Relation::OwnLine;
        }
        const SourceUnit& unit = units_[previous];
        if (Place{comment.line, comment.column} < unit.end) {
            return Relation::Inside;
        }
        return comment.line == unit.end.first ? Relation::After : Relation::OwnLine;
    }

    void relate_comments_to_units() {
        previous_.reserve(comments_.size());
        relations_.reserve(comments_.size());
        std::size_t previous = no_unit;
        for (const Comment& comment : comments_) {
            // Comments come in the order of the text: the unit before each
            // only moves on.
            const Place at{comment.line, comment.column};
            std::size_t next = previous == no_unit ? 0 : previous + 1;
            while (next < units_.size() && units_[next].start < at) {
                previous = next++;
            }
            previous_.push_back(previous);
            relations_.push_back(relation_of(comment, previous));
        }
    }

    // A statement's comments between its tokens go to the end of its line,
    // unless one of them holds a line break, or a "//" comment among them
    // would end the line before another comment of the statement: then they
    // all go before it, in their order.
    void mark_statements_whose_comments_go_before() {
        comments_go_before_.assign(units_.size(), false);
        for (std::size_t i = 0; i < comments_.size(); ++i) {
            if (relations_[i] != Relation::Inside) {
                continue;
            }
            const bool followed_on_the_line = i + 1 < comments_.size() && previous_[i + 1] == previous_[i] &&
                                              relations_[i + 1] != Relation::OwnLine;
            if (line_breaks(comments_[i].text) > 0 ||
                (!is_block_comment(comments_[i].text) && followed_on_the_line)) {
                comments_go_before_[previous_[i]] = true;
            }
        }
    }

    Placement before_unit(std::size_t unit) const {
        const std::size_t line = next_written_[std::min(unit, units_.size())];
        return line == no_line ? Placement{} : Placement{Placement::Where::Before, line};
    }

    Placement at_the_end_of(std::size_t unit) const {
        const std::size_t line = line_of_unit_[unit];
        return line == no_line ? before_unit(unit + 1) : Placement{Placement::Where::After, line};
    }

    Placement placement_of(std::size_t index) const {
        const std::size_t previous = previous_[index];
        switch (relations_[index]) {
            case Relation::Last:
                return {};  // the last thing in the text, and so in the output
            case Relation::Inside:
                return comments_go_before_[previous] ? before_unit(previous) : at_the_end_of(previous);
            case Relation::After:
                return at_the_end_of(previous);
            case Relation::OwnLine:
                break;
        }
        return before_unit(previous == no_unit ? 0 : previous + 1);
    }

    // Whether a blank line stands before and after a comment in the text:
    // between it and the token or comment before it, and the one after it.
    Placed with_blank_lines(std::size_t index) const {
        const Comment& comment = comments_[index];
        const std::size_t previous = previous_[index];
        std::uint64_t before_ends = previous == no_unit ? 0 : units_[previous].end.first;
        if (index > 0) {
            const Comment& earlier = comments_[index - 1];
            before_ends = std::max(before_ends, earlier.line + line_breaks(earlier.text));
        }
        std::uint64_t after_begins = 0;
        const std::size_t next = previous == no_unit ? 0 : previous + 1;
        if (next < units_.size()) {
            after_begins = units_[next].start.first;
        }
        if (index + 1 < comments_.size()) {
            const std::uint64_t following = comments_[index + 1].line;
            after_begins = after_begins == 0 ? following : std::min(after_begins, following);
        }
        const std::uint64_t last_line = comment.line + line_breaks(comment.text);
        return {index, before_ends != 0 && comment.line > before_ends + 1,
                after_begins != 0 && after_begins > last_line + 1};
    }

    void place() {
        std::vector<Placement> placements;
        placements.reserve(comments_.size());
        for (std::size_t i = 0; i < comments_.size(); ++i) {
            placements.push_back(placement_of(i));
            const Placement& placement = placements.back();
            if (placement.where == Placement::Where::Before) {
                before_.count(placement.line);
            } else if (placement.where == Placement::Where::After) {
                after_.count(placement.line);
            }
        }
        before_.start_placing();
        after_.start_placing();
        for (std::size_t i = 0; i < comments_.size(); ++i) {
            const Placement& placement = placements[i];
            if (placement.where == Placement::Where::After) {
                after_.place(placement.line, Placed{i});
            } else if (placement.where == Placement::Where::Before) {
                before_.place(placement.line, with_blank_lines(i));
            } else {
                at_end_.push_back(with_blank_lines(i));
            }
        }
    }

    static void add_blank_line(std::string& out) {
        if (!out.empty() && !out.ends_with("\n\n")) {
            out += '\n';
        }
    }
    void write_own_lines(std::string& out, std::span<const Placed> placed, std::string_view indent,
                         bool at_the_end = false) const;

    const CanonicalLines& lines_;
    std::vector<SourceUnit> units_;
    std::span<const Comment> comments_;
    std::vector<std::size_t> line_of_unit_;
    std::vector<std::size_t> next_written_;
    // For each comment: the unit before it, and how it stands to that unit.
    std::vector<std::size_t> previous_;
    std::vector<Relation> relations_;
    std::vector<bool> comments_go_before_;
    ByLine before_;
    ByLine after_;
    std::vector<Placed> at_end_;
};

void CommentPlacer::write_own_lines(std::string& out, std::span<const Placed> placed, std::string_view indent,
                                    bool at_the_end) const {
    for (const Placed& comment : placed) {
        const std::string_view text = comments_[comment.comment].text;
        if (comment.blank_before) {
            add_blank_line(out);
        }
        out += indent;
        append_written_comment(out, text);
        if (!is_unclosed(text)) {
            out += '\n';
        }
    }
    // No blank line ends the output.
    if (!placed.empty() && placed.back().blank_after && !at_the_end) {
        add_blank_line(out);
    }
}

std::string CommentPlacer::write() const {
    const std::string_view text = lines_.text;
    std::size_t comments_size = 0;
    for (const Comment& comment : comments_) {
        comments_size += comment.text.size() + 2;
    }
    std::string out;
    out.reserve(text.size() + comments_size + comments_size / 2);
    for (std::size_t i = 0; i < lines_.starts.size(); ++i) {
        const std::size_t start = lines_.starts[i];
        const std::size_t end = i + 1 < lines_.starts.size() ? lines_.starts[i + 1] : text.size();
        const std::string_view line = text.substr(start, end - start - 1);  // without its line feed
        const std::string_view indent = line.substr(0, line.find_first_not_of(' '));
        write_own_lines(out, before_.at(i), indent);
        out += line;
        // Comments at the end of the line. None follows a "//" comment
        // there (the statements whose comments would go before them), but
        // should one, it goes on a line of its own below: never into the
        // "//" comment.
        bool line_ended = false;
        std::vector<Placed> below;
        for (const Placed& placed : after_.at(i)) {
            const std::string_view comment = comments_[placed.comment].text;
            if (line_ended) {
                below.push_back(placed);
                continue;
            }
            out += ' ';
            append_written_comment(out, comment);
            line_ended = !is_block_comment(comment);
        }
        out += '\n';
        write_own_lines(out, below, indent);
    }
    write_own_lines(out, at_end_, {}, true);
    return out;
}

}  // namespace

std::string write_ncf_with_comments(const NcfFile& file, std::string_view text, std::span<const Comment> comments,
                                    bool lenient) {
    if (comments.empty()) {
        return write_ncf(file);
    }
    const CanonicalLines lines = write_ncf_lines(file);
    return CommentPlacer(lines, format::source_layout(text, lenient).units, comments).write();
}

Formatted format_ncf(std::string filename, SourceText text, ParseOptions options) {
    options.recover = false;
    NcfParser parser = NcfParser::from_text(std::move(filename), std::move(text), options);
    const NcfFile file = parser.parse();
    Formatted formatted;
    formatted.diagnostics = parser.get_diagnostics();
    const bool has_errors = std::ranges::any_of(
        formatted.diagnostics, [](const Diagnostic& d) { return d.severity == Diagnostic::Severity::Error; });
    if (has_errors) {
        return formatted;
    }
    // The text is read again for its comments and units only when it may
    // hold a comment: a text without costs what write_ncf() costs.
    const std::string_view source = parser.text();
    const bool may_hold_comments = source.find("//") != std::string_view::npos ||
                                   source.find("/*") != std::string_view::npos ||
                                   (options.lenient && source.find('#') != std::string_view::npos);
    if (!may_hold_comments) {
        formatted.text = write_ncf(file);
        return formatted;
    }
    format::SourceLayout layout = format::source_layout(source, options.lenient);
    if (layout.comments.empty()) {
        formatted.text = write_ncf(file);
        return formatted;
    }
    const CanonicalLines lines = write_ncf_lines(file);
    formatted.text = CommentPlacer(lines, std::move(layout.units), layout.comments).write();
    return formatted;
}

}  // namespace tolvane
