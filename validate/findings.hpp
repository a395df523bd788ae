// What the rule sources share: the list findings go to, the node being
// checked, and the wording of numbers and names in messages.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/diagnostic.hpp"
#include "model/ncf_records.hpp"
#include "model/source_position.hpp"

namespace tolvane::detail {

// How many findings of one rule a frame, an encoding or the rest of a node
// (or of the file) reports; past it, one more finding says how many were
// left out. Pairwise rules could otherwise report millions of findings for
// one hostile frame.
inline constexpr std::size_t findings_per_rule_and_group = 20;

// What a cap counts over: the file as a whole, a node, one of its frames or
// one of its encodings. `kind` and `name` word the finding about what was
// left out.
struct FindingGroup {
    std::string_view kind;
    std::string_view name;
};

// A finding, the group it counts in and its code (a view of the rule's
// literal, which outlives the finding wherever it moves).
struct Finding {
    Diagnostic diagnostic;
    std::uint32_t group = 0;
    std::string_view code;
};

// Findings of one rule in one group that a rule counted instead of making
// them (see Findings::left_out).
struct LeftOut {
    std::uint32_t group = 0;
    std::string_view code;
    Diagnostic::Severity severity = Diagnostic::Severity::Error;
    std::size_t count = 0;
};

// Collects findings as Diagnostics of one file, each in the group open when
// it was made. Group 0 is the file.
class Findings {
public:
    explicit Findings(std::string_view filename) : filename_(filename) {
        groups_.push_back({"file", filename});
    }

    void error(std::string_view code, SourcePosition where, std::string message) {
        add(Diagnostic::Severity::Error, code, where, std::move(message));
    }
    void warning(std::string_view code, SourcePosition where, std::string message) {
        add(Diagnostic::Severity::Warning, code, where, std::move(message));
    }
    void info(std::string_view code, SourcePosition where, std::string message) {
        add(Diagnostic::Severity::Info, code, where, std::move(message));
    }
    void add(Diagnostic::Severity severity, std::string_view code, SourcePosition where,
             std::string message) {
        found_.push_back(Finding{Diagnostic{severity, std::string(filename_), where.line, where.column,
                                            std::move(message), std::string(code)},
                                 current_, code});
    }

    // For a rule that finds more than it reports: `count` more findings of
    // `code` in the open group, which the rule did not make.
    void left_out(std::string_view code, Diagnostic::Severity severity, std::size_t count) {
        if (count > 0) {
            left_out_.push_back(LeftOut{current_, code, severity, count});
        }
    }

    // Opens a group for the findings made while it lives; the group around
    // it is open again afterwards.
    class Group {
    public:
        Group(Findings& findings, std::string_view kind, std::string_view name)
            : findings_(findings), outer_(findings.current_) {
            findings_.groups_.push_back({kind, name});
            findings_.current_ = static_cast<std::uint32_t>(findings_.groups_.size() - 1);
        }
        ~Group() { findings_.current_ = outer_; }
        Group(const Group&) = delete;
        Group& operator=(const Group&) = delete;

    private:
        Findings& findings_;
        std::uint32_t outer_;
    };

    std::vector<Finding>& found() { return found_; }
    const std::vector<FindingGroup>& groups() const { return groups_; }
    const std::vector<LeftOut>& counted_only() const { return left_out_; }

private:
    std::string_view filename_;
    std::vector<Finding> found_;
    std::vector<FindingGroup> groups_;
    std::vector<LeftOut> left_out_;
    std::uint32_t current_ = 0;
};

// The first `capacity` of the findings a pairwise rule comes upon, in the
// order the validator reports findings (by place, then in the order found),
// without making the others: such a rule counts what it finds, makes the
// findings this keeps and reports the rest with Findings::left_out. `Item`
// is what the rule needs to word a finding later.
template <class Item>
class FirstByPlace {
public:
    explicit FirstByPlace(std::size_t capacity) : capacity_(capacity) {}

    void offer(SourcePosition where, const Item& item) {
        const Kept candidate{{where, offered_++}, item};
        if (kept_.size() < capacity_) {
            kept_.push_back(candidate);
            std::push_heap(kept_.begin(), kept_.end(), earlier);
        } else if (capacity_ > 0 && earlier(candidate, kept_.front())) {
            std::pop_heap(kept_.begin(), kept_.end(), earlier);
            kept_.back() = candidate;
            std::push_heap(kept_.begin(), kept_.end(), earlier);
        }
    }

    std::size_t offered() const { return offered_; }

    // The items kept, first reported first.
    std::vector<Item> first() const {
        std::vector<Kept> sorted = kept_;
        std::sort(sorted.begin(), sorted.end(), earlier);
        std::vector<Item> items;
        items.reserve(sorted.size());
        for (const Kept& kept : sorted) {
            items.push_back(kept.item);
        }
        return items;
    }

private:
    struct Kept {
        std::pair<SourcePosition, std::size_t> order;  // place, then the order offered
        Item item;
    };
    // As the order of a max-heap, whose top is the last of the findings kept.
    static bool earlier(const Kept& a, const Kept& b) { return a.order < b.order; }

    std::size_t capacity_;
    std::size_t offered_ = 0;
    std::vector<Kept> kept_;
};

// How a node's protocol version bends the rules that differ between
// versions. A version the rules do not know gets only what every version
// shares.
enum class ProtocolFamily {
    Lin20,  // "1.3", "2.0": before the functional NAD and the mandatory services
    Lin21,  // "2.1", "2.2" and ISO 17987
    J2602,  // SAE J2602: 3-bit error field, 0xB5 is the targeted reset
    Unknown,
};

ProtocolFamily protocol_family(std::string_view protocol_version);
bool known_language_version(std::string_view version);
bool known_protocol_version(std::string_view version);

// The node being checked, and what the rules of every section share.
struct NodeScope {
    const NcfNodeDef& node;
    ProtocolFamily family;
    Findings& findings;
    // The first node of the file that defines each encoding name.
    const std::unordered_map<std::string_view, const NcfNodeDef*>& encoding_nodes;
};

void check_versions(NodeScope& scope);
void check_general(NodeScope& scope);
void check_diagnostic(NodeScope& scope);
void check_frames(NodeScope& scope);
void check_encodings(NodeScope& scope);
void check_status(NodeScope& scope);

// The first position of `candidates` that the text provided: the place to
// report at when the usual one was never written.
inline SourcePosition first_known(std::initializer_list<SourcePosition> candidates) {
    for (const SourcePosition position : candidates) {
        if (position.known()) {
            return position;
        }
    }
    return {};
}

// ---------------------------------------------------------------------------
// Message wording
// ---------------------------------------------------------------------------

// A name in single quotes, as the parser's messages quote text.
inline std::string quoted(std::string_view name) {
    std::string text;
    text.reserve(name.size() + 2);
    text += '\'';
    text += name;
    text += '\'';
    return text;
}

// An identifier (supplier, function, NAD, service id) as 0x%0*X; a negative
// one in decimal, since a negative hexadecimal number reads as a mistake of
// its own.
inline std::string hex_id(std::int64_t value, int digits) {
    if (value < 0) {
        return std::to_string(value);
    }
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, static_cast<std::uint64_t>(value), 16).ptr;
    std::string hex(buffer, end);
    for (char& c : hex) {
        if (c >= 'a' && c <= 'f') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    const auto padding =
        digits > static_cast<int>(hex.size()) ? static_cast<std::size_t>(digits) - hex.size() : 0;
    return "0x" + std::string(padding, '0') + hex;
}

// Any other number in the shortest form that reads back as the same value:
// 19.2, 8, -0.5.
inline std::string number(double value) {
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

inline std::string decimal(std::int64_t value) {
    return std::to_string(value);
}

}  // namespace tolvane::detail
