// The validator: which nodes can be checked, the file-wide rules, and the
// order of the findings.
#include "validate/validator.hpp"

#include <algorithm>
#include <array>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "parser/ncf_parser.hpp"
#include "validate/findings.hpp"

namespace tolvane {

namespace {

constexpr std::array rule_table{
    Rule{"syntax", "the text follows the grammar of a node capability file"},
    // What the lenient reading accepts from older and vendor files, each as a Warning.
    Rule{"dialect-bitrate-unit",
         "lenient reading: a bit rate without kbps, read in kbps (bit/s from 1000 on)"},
    Rule{"dialect-message-id", "lenient reading: a frame's LIN 2.0 or J2602 message_ID, skipped"},
    Rule{"dialect-event-triggered-message-id",
         "lenient reading: a frame's LIN 2.0 event_triggered_message_ID, skipped"},
    Rule{"dialect-frame-id", "lenient reading: a frame's frame_id, skipped"},
    Rule{"dialect-response-tolerance", "lenient reading: a J2602 response_tolerance in general, skipped"},
    Rule{"dialect-statement-order",
         "lenient reading: statements of general, diagnostic or a frame in another order, each read where it "
         "stands"},
    Rule{"dialect-hash-comment", "lenient reading: a line beginning with '#', read as a comment"},
    Rule{"dialect-foreign-block",
         "lenient reading: a block that is neither a node nor a section of one, skipped"},
    Rule{"dialect-error-response",
         "lenient reading: error_response in status_management, read as response_error"},
    Rule{"dialect-inline-encoding",
         "lenient reading: an encoding defined inside a signal, read as an entry of the node's encodings"},
    Rule{"dialect-support-sid-list", "lenient reading: 'support_sid = a, b;', read as the list"},
    Rule{"dialect-keyword-name", "lenient reading: a signal named by a keyword, read as its name"},
    Rule{"dialect-event-triggered-declaration",
         "lenient reading: a frame of length 0 that other frames name as their event-triggered frame, read "
         "as its "
         "declaration"},
    Rule{"language-version", "LIN_language_version is a known version"},
    Rule{"protocol-version", "LIN_protocol_version is a known version"},
    Rule{"supplier-id", "the supplier ID fits 16 bits and is not the wildcard"},
    Rule{"function-id", "the function ID fits 16 bits and is not the wildcard"},
    Rule{"variant-id", "the variant ID fits 8 bits"},
    Rule{"bitrate-range", "every bit rate lies within 1..20 kbps"},
    Rule{"bitrate-order", "an automatic bit rate's minimum is not above its maximum"},
    Rule{"bitrate-duplicate", "a select bit rate lists each rate once"},
    Rule{"voltage-range", "the voltage range is not reversed"},
    Rule{"temperature-range", "the temperature range is not reversed"},
    Rule{"nad", "every NAD fits 8 bits and is not reserved"},
    Rule{"nad-range", "a NAD range is in order and holds more than one NAD"},
    Rule{"nad-duplicate", "a NAD list lists each NAD once"},
    Rule{"diagnostic-class", "the diagnostic class is 1, 2 or 3"},
    Rule{"diagnostic-class-missing", "a LIN 2.1 or later node states its diagnostic class"},
    Rule{"negative-time", "P2_min, ST_min and the transport-layer timeouts are not negative"},
    Rule{"zero-timeout", "N_As_timeout and N_Cr_timeout are not 0 ms"},
    Rule{"service-id", "every service ID fits 8 bits, is listed once and is not reserved"},
    Rule{"mandatory-service", "support_sid lists the mandatory services 0xB2 and 0xB7"},
    Rule{"max-message-length", "max_message_length lies within 1..4095"},
    Rule{"frame-length", "a frame has 1 to 8 data bytes"},
    Rule{"frame-period", "frame periods are not negative and min_period is not above max_period"},
    Rule{"duplicate-frame", "frame names are unique in a node"},
    Rule{"empty-frame", "a frame has signals, unless it is an event-triggered frame"},
    Rule{"signal-size", "a scalar signal has 1..16 bits, a byte array 8..64 in whole bytes"},
    Rule{"array-offset", "a byte-array signal starts on a byte boundary"},
    Rule{"signal-outside-frame", "a signal lies within its frame"},
    Rule{"signal-overlap", "no two signals of a frame share a bit"},
    Rule{"init-value", "a signal's initial value fits its size"},
    Rule{"duplicate-signal", "signal names are unique in a frame and in a node"},
    Rule{"event-triggered-pid-byte", "behind an event-triggered frame, no signal uses the first data byte"},
    Rule{"duplicate-encoding", "encoding names are unique in a node"},
    Rule{"unknown-encoding", "a signal's encoding is defined in its node"},
    Rule{"unused-encoding", "every encoding is used by a signal of its node"},
    Rule{"physical-range", "a physical range is in order and its scale is not 0"},
    Rule{"encoding-value-range", "raw values are not negative and fit the signals that use them"},
    Rule{"encoding-overlap", "no raw value is covered by two value lines"},
    Rule{"encoding-mix", "BCD and ASCII encodings stand alone and serve byte arrays"},
    Rule{"empty-encoding", "an encoding has at least one value line"},
    Rule{"response-error", "the response error signal is one the node publishes"},
    Rule{"response-error-size", "the response error signal has 1 bit (3 for J2602)"},
    Rule{"fault-state-signal", "fault-state signals are ones the node publishes, each listed once"},
    Rule{"duplicate-node", "node names are unique in the file"},
    // The rules of a cluster of nodes, made into a LIN description file.
    Rule{"cluster-settings",
         "the cluster's settings name its master, nodes and frames and give values they can take"},
    Rule{"cluster-empty", "the cluster has a frame with a signal for its LDF to describe"},
    Rule{"cluster-node", "node names are unique in the cluster"},
    Rule{"cluster-publisher", "a frame is published by one node"},
    Rule{"cluster-unpublished", "a frame a node subscribes to is published by a node of the cluster"},
    Rule{"cluster-frame",
         "the nodes that describe a frame give it one length and its signals one offset and size"},
    Rule{"cluster-signal", "a signal is in one frame, with one initial value and encoding in every node"},
    Rule{"cluster-encoding", "encodings of one name have the same value lines in every node"},
    Rule{"cluster-event-triggered",
         "the frames of an event-triggered frame have one length and each its own publisher"},
    Rule{"cluster-name", "every name and text of the cluster can be written in an LDF"},
    Rule{"cluster-bitrate", "every node takes the cluster's bit rate"},
    Rule{"cluster-frame-id", "the cluster's frames fit the identifiers 0x00..0x3B"},
    Rule{"cluster-nad", "every slave has a NAD of its own to configure"},
    Rule{"cluster-schedule", "a schedule table meets every frame's periods"},
    Rule{"not-checked", "a node with syntax errors is not checked against the rules"},
};

// Lines and columns as diagnostics hold them, to compare with positions.
using Place = std::pair<std::uint64_t, std::uint64_t>;

Place place_of(SourcePosition position) {
    return {position.line, position.column};
}

// Which parts of the file hold an error the parser reported: a node's part
// runs from its `node` keyword to the next node's, the header's from the
// start of the text to the first node.
struct SyntaxDamage {
    std::vector<bool> damaged_nodes;
    bool damaged_header = false;
};

SyntaxDamage locate_syntax_errors(const NcfFile& file, std::span<const Diagnostic> diagnostics) {
    SyntaxDamage damage;
    damage.damaged_nodes.assign(file.nodes.size(), false);
    // Sorted, so that any tree (even one with positions out of order) can be
    // searched.
    std::vector<std::pair<Place, std::size_t>> starts;
    starts.reserve(file.nodes.size());
    for (std::size_t i = 0; i < file.nodes.size(); ++i) {
        starts.emplace_back(place_of(file.nodes[i].positions.start), i);
    }
    std::sort(starts.begin(), starts.end());
    for (const Diagnostic& diagnostic : diagnostics) {
        if (diagnostic.severity != Diagnostic::Severity::Error) {
            continue;  // a warning leaves the tree whole
        }
        const Place place{diagnostic.line, diagnostic.column};
        const auto after =
            std::upper_bound(starts.begin(), starts.end(), place,
                             [](const Place& p, const auto& start) { return p < start.first; });
        if (after == starts.begin()) {
            damage.damaged_header = true;
        } else {
            damage.damaged_nodes[std::prev(after)->second] = true;
        }
    }
    return damage;
}

std::unordered_map<std::string_view, const NcfNodeDef*> first_node_of_each_encoding(const NcfFile& file) {
    std::unordered_map<std::string_view, const NcfNodeDef*> nodes;
    for (const NcfNodeDef& node : file.nodes) {
        for (const NcfEncodingEntry& entry : node.encodings) {
            nodes.try_emplace(entry.name, &node);
        }
    }
    return nodes;
}

void check_language_version(const NcfFile& file, detail::Findings& findings) {
    if (!detail::known_language_version(file.language_version)) {
        findings.warning("language-version",
                         detail::first_known({file.positions.language_version, file.positions.start}),
                         "Unknown LIN language version " + detail::quoted(file.language_version));
    }
}

// One problem is reported once: two pairs can give the same finding at one
// place, as when a signal overlaps two earlier signals of the same name and
// bits, or a value line repeats a value that two lines before it hold.
// Findings at one place are contiguous once sorted; the first of each text
// stays.
void drop_repeats(std::vector<detail::Finding>& findings) {
    std::vector<detail::Finding> kept;
    kept.reserve(findings.size());
    std::set<std::pair<std::string_view, std::string_view>> at_this_place;
    for (detail::Finding& finding : findings) {
        const Diagnostic& diagnostic = finding.diagnostic;
        if (!kept.empty() && (kept.back().diagnostic.line != diagnostic.line ||
                              kept.back().diagnostic.column != diagnostic.column)) {
            at_this_place.clear();
        }
        // A tree built by hand has no positions: its findings cannot be told
        // apart by place, and all are kept.
        if (diagnostic.line == 0 || !at_this_place.contains({finding.code, diagnostic.message})) {
            kept.push_back(std::move(finding));
            // Views into `kept`, whose storage the reserve above keeps in place.
            at_this_place.emplace(kept.back().code, kept.back().diagnostic.message);
        }
    }
    findings = std::move(kept);
}

void sort_by_position(std::vector<detail::Finding>& findings) {
    std::stable_sort(findings.begin(), findings.end(),
                     [](const detail::Finding& a, const detail::Finding& b) {
                         const Diagnostic& x = a.diagnostic;
                         const Diagnostic& y = b.diagnostic;
                         return x.line != y.line ? x.line < y.line : x.column < y.column;
                     });
}

Diagnostic::Severity graver(Diagnostic::Severity a, Diagnostic::Severity b) {
    return static_cast<int>(a) < static_cast<int>(b) ? a : b;  // Error first
}

// How many findings of one rule in one group there are, and where the
// finding that counts those left out stands.
struct Tally {
    std::size_t shown = 0;
    std::size_t left_out = 0;
    Diagnostic::Severity gravest_left_out = Diagnostic::Severity::Info;
    std::optional<std::size_t> summary;  // in the findings kept
    std::size_t after_last_shown = 0;
};

std::string left_out_message(std::size_t count, std::string_view code, const detail::FindingGroup& group) {
    return detail::decimal(static_cast<std::int64_t>(count)) + " more " + std::string(code) +
           " findings in " + std::string(group.kind) + " " + detail::quoted(group.name) +
           " are not reported (at most " +
           detail::decimal(static_cast<std::int64_t>(detail::findings_per_rule_and_group)) +
           " per rule and " + std::string(group.kind) + ")";
}

// Keeps the first findings_per_rule_and_group findings of each rule in each
// group, in the order they are reported, and puts one finding in place of the
// first one left out that counts every one left out (those a rule only
// counted too). It has the rule's code, so that selecting and ignoring the
// rule does the same to it, and the gravest severity of those it counts, so
// that an exit status stays what the whole report would make it.
void cap_findings(std::vector<detail::Finding>& findings, const detail::Findings& collected) {
    std::map<std::pair<std::uint32_t, std::string_view>, Tally> tallies;
    for (const detail::LeftOut& counted : collected.counted_only()) {
        Tally& tally = tallies[{counted.group, counted.code}];
        tally.left_out += counted.count;
        tally.gravest_left_out = graver(tally.gravest_left_out, counted.severity);
    }
    std::vector<detail::Finding> kept;
    kept.reserve(findings.size());
    for (detail::Finding& finding : findings) {
        Tally& tally = tallies[{finding.group, finding.code}];
        if (tally.shown < detail::findings_per_rule_and_group) {
            ++tally.shown;
            kept.push_back(std::move(finding));
            tally.after_last_shown = kept.size();
            continue;
        }
        ++tally.left_out;
        tally.gravest_left_out = graver(tally.gravest_left_out, finding.diagnostic.severity);
        if (!tally.summary) {
            tally.summary = kept.size();
            kept.push_back(std::move(finding));  // worded below, once the count is known
        }
    }
    // Counted findings of a rule that made no more than it shows (some were
    // repeats): the count follows the last one shown, at its place.
    bool appended = false;
    for (auto& [key, tally] : tallies) {
        if (tally.left_out > 0 && !tally.summary && tally.shown > 0) {
            detail::Finding summary{kept[tally.after_last_shown - 1].diagnostic, key.first, key.second};
            tally.summary = kept.size();
            kept.push_back(std::move(summary));
            appended = true;
        }
    }
    for (const auto& [key, tally] : tallies) {
        if (tally.summary) {
            Diagnostic& summary = kept[*tally.summary].diagnostic;
            summary.severity = tally.gravest_left_out;
            summary.message = left_out_message(tally.left_out, key.second, collected.groups()[key.first]);
        }
    }
    if (appended) {
        sort_by_position(kept);
    }
    findings = std::move(kept);
}

void check_node(const NcfNodeDef& node, detail::Findings& findings,
                const std::unordered_map<std::string_view, const NcfNodeDef*>& encoding_nodes) {
    const detail::Findings::Group group(findings, "node", node.name);
    detail::NodeScope scope{node, detail::protocol_family(node.general.protocol_version), findings,
                            encoding_nodes};
    detail::check_versions(scope);
    detail::check_general(scope);
    detail::check_diagnostic(scope);
    detail::check_frames(scope);
    detail::check_encodings(scope);
    detail::check_status(scope);
}

}  // namespace

std::span<const Rule> rules() {
    return rule_table;
}

std::vector<Diagnostic> validate(const NcfFile& file, std::span<const Diagnostic> syntax_diagnostics) {
    detail::Findings findings(file.filename);
    const SyntaxDamage damage = locate_syntax_errors(file, syntax_diagnostics);
    if (!damage.damaged_header) {  // else the version may be a stray token
        check_language_version(file, findings);
    }
    const auto encoding_nodes = first_node_of_each_encoding(file);
    std::unordered_map<std::string_view, const NcfNodeDef*> node_names;
    for (std::size_t i = 0; i < file.nodes.size(); ++i) {
        const NcfNodeDef& node = file.nodes[i];
        const SourcePosition name = detail::first_known({node.positions.name, node.positions.start});
        if (damage.damaged_nodes[i]) {
            findings.info("not-checked", name,
                          "Node " + detail::quoted(node.name) + " was not checked: it has syntax errors");
            continue;
        }
        if (!node_names.try_emplace(node.name, &node).second) {
            findings.error("duplicate-node", name, "Node " + detail::quoted(node.name) + " is defined twice");
        }
        check_node(node, findings, encoding_nodes);
    }
    std::vector<detail::Finding>& found = findings.found();
    sort_by_position(found);
    drop_repeats(found);
    cap_findings(found, findings);
    std::vector<Diagnostic> diagnostics;
    diagnostics.reserve(found.size());
    for (detail::Finding& finding : found) {
        diagnostics.push_back(std::move(finding.diagnostic));
    }
    return diagnostics;
}

void sort_by_position(std::vector<Diagnostic>& diagnostics) {
    std::stable_sort(diagnostics.begin(), diagnostics.end(), [](const Diagnostic& a, const Diagnostic& b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
}

namespace {

CheckResult parse_and_validate(NcfParser& parser) {
    CheckResult result{parser.parse(), parser.get_diagnostics()};
    std::vector<Diagnostic> findings = validate(result.file, result.diagnostics);
    result.diagnostics.insert(result.diagnostics.end(), std::make_move_iterator(findings.begin()),
                              std::make_move_iterator(findings.end()));
    sort_by_position(result.diagnostics);
    return result;
}

}  // namespace

CheckResult check_text(std::string filename, SourceText text, ParseOptions options) {
    NcfParser parser = NcfParser::from_text(std::move(filename), std::move(text), options);
    return parse_and_validate(parser);
}

CheckResult check_text(std::string filename, std::string text, ParseOptions options) {
    return check_text(std::move(filename), SourceText(std::move(text)), options);
}

CheckResult check_file(std::string filename, ParseOptions options) {
    NcfParser parser = NcfParser::from_file(std::move(filename), options);
    return parse_and_validate(parser);
}

}  // namespace tolvane
