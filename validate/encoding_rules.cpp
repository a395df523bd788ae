// The encoding section: each encoding's value lines, and the signals that
// refer to encodings by name.
#include <algorithm>
#include <unordered_set>

#include "validate/findings.hpp"

namespace tolvane::detail {

namespace {

bool is_text_kind(const NcfEncodingValue& value) {
    return value.type == "bcd" || value.type == "ascii";
}

std::string_view keyword_of(const NcfEncodingValue& value) {
    return value.type == "bcd" ? "bcd_value" : "ascii_value";
}

// The first bcd_value or ascii_value line of an encoding, if it has one.
const NcfEncodingValue* first_text_line(const NcfEncodingEntry& entry) {
    const auto found = std::find_if(entry.values.begin(), entry.values.end(), is_text_kind);
    return found == entry.values.end() ? nullptr : &*found;
}

// The raw values a line covers, lowest and highest as written.
struct RawSpan {
    std::int64_t low = 0;
    std::int64_t high = 0;
};

std::optional<RawSpan> raw_values_of(const NcfEncodingValue& value) {
    if (value.logical_value) {
        return RawSpan{value.logical_value->signal_value, value.logical_value->signal_value};
    }
    if (value.physical_range) {
        return RawSpan{value.physical_range->min_value, value.physical_range->max_value};
    }
    return std::nullopt;
}

// What the node makes of one encoding name: its first definition, and the
// signals that refer to the name.
struct EncodingUse {
    const NcfEncodingEntry* first = nullptr;
    const NcfEncodingValue* first_text_line = nullptr;  // of the first definition
    bool used = false;
    // The signal of fewest bits among those that use the name: a raw value
    // that fits it fits them all.
    const NcfSignalDef* narrowest = nullptr;
};

using EncodingUses = std::unordered_map<std::string_view, EncodingUse>;

EncodingUses encodings_by_name(const NcfNodeDef& node) {
    EncodingUses uses;
    uses.reserve(node.encodings.size());
    for (const NcfEncodingEntry& entry : node.encodings) {
        uses.try_emplace(entry.name, EncodingUse{&entry, first_text_line(entry)});
    }
    return uses;
}

void record_use(EncodingUse& use, const NcfSignalDef& signal) {
    use.used = true;
    const std::int32_t size = signal.properties.size;
    if (size >= 1 && (use.narrowest == nullptr || size < use.narrowest->properties.size)) {
        use.narrowest = &signal;
    }
}

void check_physical_range(NodeScope& scope, const NcfEncodingEntry& entry, const NcfEncodingValue& value) {
    const NcfPhysicalRange& range = *value.physical_range;
    const std::string prefix = "Encoding " + quoted(entry.name) + ": physical range " +
                               decimal(range.min_value) + ".." + decimal(range.max_value);
    if (range.min_value > range.max_value) {
        scope.findings.error("physical-range", value.positions.start, prefix + " is reversed");
    }
    if (range.scale == 0.0) {
        scope.findings.warning("physical-range", value.positions.start, prefix + " has scale 0");
    }
}

// One finding of each kind per line: its lowest value when that is negative,
// its highest when that does not fit the narrowest signal using the encoding.
void check_raw_values(NodeScope& scope, const NcfEncodingEntry& entry, const NcfEncodingValue& value,
                      const NcfSignalDef* narrowest) {
    const std::optional<RawSpan> raw = raw_values_of(value);
    if (!raw) {
        return;
    }
    const std::int64_t lowest = std::min(raw->low, raw->high);
    const std::int64_t highest = std::max(raw->low, raw->high);
    if (lowest < 0) {
        scope.findings.error(
            "encoding-value-range", value.positions.start,
            "Encoding " + quoted(entry.name) + ": raw value " + decimal(lowest) + " is negative");
    }
    if (narrowest && narrowest->properties.size < 62 &&
        highest >= (std::int64_t{1} << narrowest->properties.size)) {
        scope.findings.warning("encoding-value-range", value.positions.start,
                               "Encoding " + quoted(entry.name) + ": raw value " + decimal(highest) +
                                   " does not fit signal " + quoted(narrowest->name) + " (" +
                                   decimal(narrowest->properties.size) + " bits)");
    }
}

// One finding per pair of lines that cover a raw value twice, at the later
// line, naming the smallest value they share. The sweep over lines sorted by
// lowest value is that of the signals in a frame, bounded the same way, and
// words only the first few findings of a hostile encoding.
class CoverageSweep {
public:
    void check(NodeScope& scope, const NcfEncodingEntry& entry) {
        collect_spans(entry);
        FirstByPlace<CoveredTwice> first(findings_per_rule_and_group + 1);
        open_.clear();
        last_value_at_.assign(entry.values.size(), std::nullopt);
        for (const Span& span : spans_) {
            std::erase_if(open_, [&](const Span& other) { return other.raw.high < span.raw.low; });
            for (const Span& other : open_) {
                const std::size_t later = std::max(other.index, span.index);
                const SourcePosition where = entry.values[later].positions.start;
                if (!repeats_a_finding(later, span.raw.low, where)) {
                    first.offer(where, CoveredTwice{later, span.raw.low});
                }
            }
            if (open_.size() < most_open) {
                open_.push_back(span);
            }
        }
        const std::vector<CoveredTwice> reported = first.first();
        for (const CoveredTwice& finding : reported) {
            scope.findings.warning("encoding-overlap", entry.values[finding.line].positions.start,
                                   "Encoding " + quoted(entry.name) + ": raw value " +
                                       decimal(finding.value) + " is covered twice");
        }
        scope.findings.left_out("encoding-overlap", Diagnostic::Severity::Warning,
                                first.offered() - reported.size());
    }

private:
    static constexpr std::size_t most_open = 64;

    struct Span {
        RawSpan raw;
        std::size_t index;  // in the encoding's values
    };
    struct CoveredTwice {
        std::size_t line;  // the value line the finding is about
        std::int64_t value;
    };

    void collect_spans(const NcfEncodingEntry& entry) {
        spans_.clear();
        for (std::size_t i = 0; i < entry.values.size(); ++i) {
            const std::optional<RawSpan> raw = raw_values_of(entry.values[i]);
            if (raw && raw->low <= raw->high) {  // a reversed range covers nothing
                spans_.push_back({*raw, i});
            }
        }
        std::sort(spans_.begin(), spans_.end(), [](const Span& a, const Span& b) {
            return a.raw.low != b.raw.low ? a.raw.low < b.raw.low : a.index < b.index;
        });
    }

    // Lines come in order of their lowest value, so the values found at one
    // line never decrease: a finding repeats one at its line when its value
    // is the last found there. A tree built by hand has no places, and every
    // pair counts.
    bool repeats_a_finding(std::size_t line, std::int64_t value, SourcePosition where) {
        if (!where.known()) {
            return false;
        }
        std::optional<std::int64_t>& last = last_value_at_[line];
        const bool repeated = last == value;
        last = value;
        return repeated;
    }

    std::vector<Span> spans_;
    std::vector<Span> open_;
    std::vector<std::optional<std::int64_t>> last_value_at_;  // by value line
};

void check_mixed_kinds(NodeScope& scope, const NcfEncodingEntry& entry) {
    const NcfEncodingValue* text_line = first_text_line(entry);
    if (!text_line) {
        return;
    }
    const bool mixed =
        std::any_of(entry.values.begin(), entry.values.end(),
                    [&](const NcfEncodingValue& value) { return value.type != text_line->type; });
    if (mixed) {
        scope.findings.warning("encoding-mix", text_line->positions.start,
                               "Encoding " + quoted(entry.name) + " mixes " +
                                   std::string(keyword_of(*text_line)) + " with other values");
    }
}

void check_entry(NodeScope& scope, const EncodingUse& use, const NcfEncodingEntry& entry,
                 CoverageSweep& coverage) {
    if (use.first != &entry) {
        scope.findings.error(
            "duplicate-encoding", entry.positions.start,
            "Encoding " + quoted(entry.name) + " is defined twice in node " + quoted(scope.node.name));
    }
    if (!use.used) {
        scope.findings.warning("unused-encoding", entry.positions.start,
                               "Encoding " + quoted(entry.name) + " is not used by any signal of node " +
                                   quoted(scope.node.name));
    }
    if (entry.values.empty()) {
        scope.findings.warning("empty-encoding", entry.positions.start,
                               "Encoding " + quoted(entry.name) + " has no values");
    }
    for (const NcfEncodingValue& value : entry.values) {
        if (value.physical_range) {
            check_physical_range(scope, entry, value);
        }
        check_raw_values(scope, entry, value, use.narrowest);
    }
    coverage.check(scope, entry);
    check_mixed_kinds(scope, entry);
}

// A signal's encoding name: defined in the node, and not a text encoding
// (BCD or ASCII) on a scalar. Records the use for the encoding's own rules.
void check_reference(NodeScope& scope, EncodingUses& uses, const NcfSignalDef& signal) {
    const NcfSignalProperties& properties = signal.properties;
    const std::string& name = *properties.encoding_name;
    const SourcePosition where = first_known({properties.positions.encoding_name, signal.positions.start});
    const auto found = uses.find(name);
    if (found == uses.end()) {
        std::string message = "Signal " + quoted(signal.name) + " refers to encoding " + quoted(name) +
                              ", which node " + quoted(scope.node.name) + " does not define";
        const auto elsewhere = scope.encoding_nodes.find(name);
        if (elsewhere != scope.encoding_nodes.end()) {
            message += "; node " + quoted(elsewhere->second->name) + " defines it";
        }
        scope.findings.error("unknown-encoding", where, std::move(message));
        return;
    }
    EncodingUse& use = found->second;
    record_use(use, signal);
    if (use.first_text_line && !properties.init_value.is_array) {
        scope.findings.warning("encoding-mix", where,
                               "Encoding " + quoted(name) + " (" +
                                   std::string(keyword_of(*use.first_text_line)) +
                                   ") is used by scalar signal " + quoted(signal.name));
    }
}

}  // namespace

void check_encodings(NodeScope& scope) {
    EncodingUses uses = encodings_by_name(scope.node);
    for (const NcfSingleFrame& frame : scope.node.frames) {
        const Findings::Group group(scope.findings, "frame", frame.name);
        for (const NcfSignalDef& signal : frame.signals) {
            if (signal.properties.encoding_name) {
                check_reference(scope, uses, signal);
            }
        }
    }
    CoverageSweep coverage;
    for (const NcfEncodingEntry& entry : scope.node.encodings) {
        const Findings::Group group(scope.findings, "encoding", entry.name);
        check_entry(scope, uses.at(entry.name), entry, coverage);
    }
}

}  // namespace tolvane::detail
