// From the node capability files of a cluster to its LIN description file:
// each node's own diagnostics, the nodes and the master, and the choices the
// settings leave open (bit rate, identifiers, NADs). The rules of the
// cluster as a whole are in cluster_rules.cpp, the description the writer
// writes in describe.cpp.
#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <set>
#include <tuple>

#include "ldf/composer.hpp"
#include "ldf/ldf_syntax.hpp"
#include "ldf/ldf_writer.hpp"
#include "ldf/schedule.hpp"
#include "validate/validator.hpp"

namespace tolvane {

namespace {

using namespace std::string_view_literals;

// The own rules whose errors stop the LDF: what it carries of a node.
constexpr std::array stopping_codes{
    "syntax"sv,
    "supplier-id"sv,
    "function-id"sv,
    "variant-id"sv,
    "bitrate-range"sv,
    "bitrate-order"sv,
    "nad"sv,
    "nad-range"sv,
    "nad-duplicate"sv,
    "frame-length"sv,
    "frame-period"sv,
    "duplicate-frame"sv,
    "signal-size"sv,
    "array-offset"sv,
    "signal-outside-frame"sv,
    "signal-overlap"sv,
    "init-value"sv,
    "duplicate-signal"sv,
    "event-triggered-pid-byte"sv,
    "duplicate-encoding"sv,
    "unknown-encoding"sv,
    "physical-range"sv,
    "encoding-value-range"sv,
    "encoding-mix"sv,
    "duplicate-node"sv,
};
// Those of a slave's status management, which its node attributes carry;
// the master's are not part of the LDF.
constexpr std::array slave_stopping_codes{"response-error"sv, "fault-state-signal"sv};

constexpr std::int32_t last_frame_id = 0x3B;
constexpr std::int32_t last_configured_nad = 0x7D;

}  // namespace

namespace detail::cluster {

ComposedLdf Composer::run() {
    own_diagnostics();
    check_settings_values();
    collect_nodes();
    choose_master();
    collect_frames();
    check_publishers();
    check_frame_descriptions();
    check_signals();
    check_encodings();
    collect_event_triggered_frames();
    check_names();
    choose_bitrate();
    choose_frame_ids();
    choose_nads();
    require_a_signal();
    ComposedLdf result;
    if (!stopped_) {
        LdfDescription description = describe();
        if (!stopped_) {
            result.description = std::move(description);
        }
    }
    result.diagnostics = std::move(own_);
    std::stable_sort(cluster_.begin(), cluster_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [key, diagnostic] : cluster_) {
        result.diagnostics.push_back(std::move(diagnostic));
    }
    return result;
}

void Composer::report(std::string_view code, Place place, std::string message) {
    stopped_ = true;
    const auto& file = files_[place.file].file;
    cluster_.emplace_back(std::tuple(place.file, place.at.line, place.at.column),
                          Diagnostic{Diagnostic::Severity::Error, file.filename, place.at.line,
                                     place.at.column, std::move(message), std::string(code)});
}

// About the settings, which have no places of their own: before every
// file's findings.
void Composer::report_settings(std::string message) {
    stopped_ = true;
    cluster_.emplace_back(std::tuple(std::size_t{0}, std::uint64_t{0}, std::uint64_t{0}),
                          Diagnostic{Diagnostic::Severity::Error, settings_.source, 0, 0, std::move(message),
                                     "cluster-settings"});
}

// "(file:line:column)", the earlier place a message names. Appended:
// GCC 12 at -O3 takes "(" + std::string for an overlapping copy.
std::string Composer::at(std::size_t node, SourcePosition position) const {
    std::string text = "(";
    text += files_[nodes_[node].file].file.filename;
    text += ":" + std::to_string(position.line) + ":" + std::to_string(position.column) + ")";
    return text;
}

// "in node 'A' (file:line:column)".
std::string Composer::in_node(std::size_t node, SourcePosition position) const {
    return "in node " + quoted(node_name(node)) + " " + at(node, position);
}

// The parse's diagnostics and the rules' findings of every file, in
// order; an error that touches what the LDF carries stops it. Which
// node a finding lies in decides for the rules only slaves answer to.
void Composer::own_diagnostics() {
    for (const ClusterFile& input : files_) {
        std::vector<Diagnostic> diagnostics = input.diagnostics;
        std::vector<Diagnostic> findings = validate(input.file, input.diagnostics);
        diagnostics.insert(diagnostics.end(), findings.begin(), findings.end());
        sort_by_position(diagnostics);
        for (Diagnostic& diagnostic : diagnostics) {
            if (stops_ldf(diagnostic, !is_master_node(input.file, diagnostic))) {
                stopped_ = true;
            }
            own_.push_back(std::move(diagnostic));
        }
    }
}

// Whether `diagnostic` lies in the node the settings name as the master.
bool Composer::is_master_node(const NcfFile& file, const Diagnostic& diagnostic) const {
    if (!settings_.master) {
        return false;
    }
    const NcfNodeDef* holder = nullptr;
    for (const NcfNodeDef& node : file.nodes) {
        const SourcePosition start = node.positions.start;
        if (std::pair(std::uint64_t{start.line}, std::uint64_t{start.column}) <=
            std::pair(diagnostic.line, diagnostic.column)) {
            holder = &node;
        }
    }
    return holder != nullptr && holder->name == *settings_.master;
}

void Composer::check_settings_values() {
    if (!settings_.master || settings_.master->empty()) {
        report_settings("The cluster names no master (the setting master, or --master)");
    }
    if (!(settings_.time_base_ms > 0.0) || !std::isfinite(settings_.time_base_ms)) {
        report_settings("The time base " + number_text(settings_.time_base_ms) + " ms is not above 0");
    }
    if (!(settings_.jitter_ms >= 0.0) || !std::isfinite(settings_.jitter_ms)) {
        report_settings("The jitter " + number_text(settings_.jitter_ms) + " ms is negative");
    }
    if (settings_.bitrate_kbps &&
        !(*settings_.bitrate_kbps > 0.0 && std::isfinite(*settings_.bitrate_kbps))) {
        report_settings("The bit rate " + number_text(*settings_.bitrate_kbps) + " kbps is not above 0");
    }
    for (const std::optional<std::string>* text :
         {&settings_.protocol_version, &settings_.language_version, &settings_.channel}) {
        if (*text && !spellable_text(**text)) {
            report_settings("The text " + quoted(**text) + " cannot be written in an LDF string");
        }
    }
}

bool Composer::spellable_text(std::string_view text) {
    const std::optional<std::string> bytes = latin1_bytes(text);
    return bytes && literal_problem(*bytes).empty();
}

void Composer::collect_nodes() {
    std::unordered_map<std::string_view, std::size_t> first;
    for (std::size_t f = 0; f < files_.size(); ++f) {
        for (const NcfNodeDef& node : files_[f].file.nodes) {
            const std::size_t index = nodes_.size();
            nodes_.push_back({&node, f});
            const auto [found, added] = first.try_emplace(node.name, index);
            if (!added && nodes_[found->second].file != f) {  // within a file: duplicate-node
                report("cluster-node", place_of(index, node.positions.name),
                       "Node " + quoted(node.name) + " is defined twice in the cluster; first " +
                           at(found->second, nodes_[found->second].node->positions.name));
            }
        }
    }
}

void Composer::choose_master() {
    if (!settings_.master) {
        return;
    }
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
        if (node_name(i) == *settings_.master) {
            master_node_ = i;
            break;
        }
    }
    if (!master_node_ && !is_ldf_identifier(*settings_.master)) {
        report_settings("The master's name " + quoted(*settings_.master) +
                        " cannot be written in an LDF (a letter or '_', then letters, digits and '_', and no "
                        "word of the language)");
    }
}

void Composer::collect_frames() {
    std::unordered_map<std::string_view, std::size_t> index;
    for (std::size_t n = 0; n < nodes_.size(); ++n) {
        for (const NcfSingleFrame& frame : nodes_[n].node->frames) {
            const auto [found, added] = index.try_emplace(frame.name, frames_.size());
            if (added) {
                frames_.push_back({frame.name, {}, std::nullopt});
            }
            frames_[found->second].uses.push_back({&frame, n});
        }
    }
}

// The description the LDF takes: the publisher's, else the first.
const FrameUse& Composer::reference(const ClusterFrame& frame) {
    return frame.uses[frame.published.value_or(0)];
}

bool Composer::supports(const NcfBitrateDefinition& bitrate, double rate) {
    if (bitrate.fixed_rate) {
        return *bitrate.fixed_rate == rate;
    }
    if (bitrate.type == "select") {
        return std::find(bitrate.rates.begin(), bitrate.rates.end(), rate) != bitrate.rates.end();
    }
    if (bitrate.min_br && bitrate.max_br) {
        return *bitrate.min_br <= rate && rate <= *bitrate.max_br;
    }
    return true;  // an automatic rate without bounds takes any
}

std::string Composer::rates_text(const NcfBitrateDefinition& bitrate) {
    if (bitrate.fixed_rate) {
        return number_text(*bitrate.fixed_rate) + " kbps";
    }
    if (bitrate.type == "select") {
        std::string text;
        for (const double rate : bitrate.rates) {
            text += (text.empty() ? "" : ", ") + number_text(rate);
        }
        return text + " kbps";
    }
    if (bitrate.min_br && bitrate.max_br) {
        return number_text(*bitrate.min_br) + ".." + number_text(*bitrate.max_br) + " kbps";
    }
    return "any rate";
}

// The given rate, or the fastest rate every node of the files supports.
void Composer::choose_bitrate() {
    if (settings_.bitrate_kbps) {
        rate_ = *settings_.bitrate_kbps;
        for (std::size_t n = 0; n < nodes_.size(); ++n) {
            const NcfBitrateDefinition& bitrate = nodes_[n].node->general.bitrate;
            if (!supports(bitrate, rate_)) {
                report("cluster-bitrate", place_of(n, bitrate.positions.start),
                       "Node " + quoted(node_name(n)) + " does not take the cluster's bit rate " +
                           number_text(rate_) + " kbps; it takes " + rates_text(bitrate));
            }
        }
        return;
    }
    std::vector<double> candidates;
    for (const NodeEntry& entry : nodes_) {
        const NcfBitrateDefinition& bitrate = entry.node->general.bitrate;
        if (bitrate.fixed_rate) {
            candidates.push_back(*bitrate.fixed_rate);
        }
        candidates.insert(candidates.end(), bitrate.rates.begin(), bitrate.rates.end());
        if (bitrate.max_br) {
            candidates.push_back(*bitrate.max_br);
        }
    }
    std::sort(candidates.begin(), candidates.end(), std::greater<>());
    for (const double rate : candidates) {
        if (std::all_of(nodes_.begin(), nodes_.end(),
                        [&](const NodeEntry& e) { return supports(e.node->general.bitrate, rate); })) {
            rate_ = rate;
            return;
        }
    }
    if (nodes_.empty()) {
        rate_ = 19.2;
        return;
    }
    // None: reported at the first node that takes none of the rates of
    // the nodes before it.
    for (std::size_t n = 1; n < nodes_.size(); ++n) {
        const NcfBitrateDefinition& bitrate = nodes_[n].node->general.bitrate;
        std::string before;
        for (std::size_t m = 0; m < n; ++m) {
            before += (before.empty() ? "" : ", ") + quoted(node_name(m)) + " " +
                      rates_text(nodes_[m].node->general.bitrate);
        }
        if (!common_rate_exists(n + 1)) {
            report("cluster-bitrate", place_of(n, bitrate.positions.start),
                   "No bit rate is taken by every node: node " + quoted(node_name(n)) + " takes " +
                       rates_text(bitrate) + ", the nodes before it " + before);
            return;
        }
    }
    report("cluster-bitrate", place_of(0, nodes_[0].node->general.bitrate.positions.start),
           "Node " + quoted(node_name(0)) + " names no bit rate");
}

bool Composer::common_rate_exists(std::size_t nodes) const {
    for (std::size_t n = 0; n < nodes; ++n) {
        const NcfBitrateDefinition& bitrate = nodes_[n].node->general.bitrate;
        std::vector<double> rates = bitrate.rates;
        if (bitrate.fixed_rate) {
            rates.push_back(*bitrate.fixed_rate);
        }
        if (bitrate.min_br) {
            rates.push_back(*bitrate.min_br);
        }
        if (bitrate.max_br) {
            rates.push_back(*bitrate.max_br);
        }
        for (const double rate : rates) {
            bool all = true;
            for (std::size_t m = 0; m < nodes && all; ++m) {
                all = supports(nodes_[m].node->general.bitrate, rate);
            }
            if (all) {
                return true;
            }
        }
    }
    return false;
}

// The pinned identifiers first, then the lowest free one for each other
// frame: the unconditional frames in input order, then the
// event-triggered frames in the order they are first named.
void Composer::choose_frame_ids() {
    std::unordered_map<std::string_view, std::int32_t> pinned;
    std::map<std::int64_t, std::string_view> taken;
    std::set<std::string_view> known;
    for (const ClusterFrame& frame : frames_) {
        known.insert(frame.name);
    }
    for (const EventTriggered& event : event_triggered_) {
        known.insert(event.name);
    }
    for (const auto& [name, id] : settings_.frame_ids) {
        if (!known.contains(name)) {
            report_settings("The identifier " + hex2(id) + " is pinned for frame " + quoted(name) +
                            ", which no node of the cluster has");
        } else if (id < 0 || id > last_frame_id) {
            report_settings("The identifier " + hex2(id) + " pinned for frame " + quoted(name) +
                            " is outside 0x00..0x3B");
        } else if (const auto [other, added] = taken.try_emplace(id, name); !added) {
            report_settings("The identifier " + hex2(id) + " is pinned for frames " + quoted(other->second) +
                            " and " + quoted(name));
        } else if (!pinned.try_emplace(name, static_cast<std::int32_t>(id)).second) {
            report_settings("Frame " + quoted(name) + " has two pinned identifiers");
        }
    }
    std::int32_t next = 0;
    const auto assign = [&](std::string_view name, std::size_t node, SourcePosition at) -> std::int32_t {
        if (const auto found = pinned.find(name); found != pinned.end()) {
            return found->second;
        }
        while (taken.contains(next)) {
            ++next;
        }
        if (next > last_frame_id) {
            if (!ids_exhausted_) {
                ids_exhausted_ = true;
                report("cluster-frame-id", place_of(node, at),
                       "Frame " + quoted(name) +
                           " finds no identifier left: the cluster has more frames than the 60 of "
                           "0x00..0x3B");
            }
            return 0;
        }
        taken.emplace(next, name);
        return next;
    };
    for (ClusterFrame& frame : frames_) {
        const FrameUse& use = reference(frame);
        frame_ids_.push_back(assign(frame.name, use.node, use.frame->positions.name));
    }
    for (const EventTriggered& event : event_triggered_) {
        const FrameUse& use = reference(frames_[event.frames.front()]);
        event_ids_.push_back(
            assign(event.name, use.node, use.frame->properties.positions.event_triggered_frame));
    }
}

std::vector<std::int32_t> Composer::own_nads(const NcfDiagnosticDef& diagnostic) {
    std::vector<std::int32_t> nads{diagnostic.nad_lhs};
    if (diagnostic.nad_rhs) {
        for (std::int64_t nad = std::int64_t{diagnostic.nad_lhs} + 1;
             nad <= *diagnostic.nad_rhs && nad <= 0xFF; ++nad) {
            nads.push_back(static_cast<std::int32_t>(nad));
        }
    }
    nads.insert(nads.end(), diagnostic.nad_list.begin(), diagnostic.nad_list.end());
    return nads;
}

// The configured NAD of every slave: the setting's, else the first of
// its own that no slave before it has taken.
void Composer::choose_nads() {
    nads_.assign(nodes_.size(), 0);
    std::map<std::int64_t, std::string_view> taken;
    std::set<std::size_t> configured;
    for (const auto& [name, nad] : settings_.nads) {
        const auto found = std::find_if(nodes_.begin(), nodes_.end(),
                                        [&](const NodeEntry& e) { return e.node->name == name; });
        const auto n = static_cast<std::size_t>(found - nodes_.begin());
        if (found == nodes_.end() || is_master(n)) {
            report_settings("A NAD is configured for " + quoted(name) + ", which is no slave of the cluster");
        } else if (nad < 1 || nad > last_configured_nad) {
            report_settings("The NAD " + hex2(nad) + " configured for node " + quoted(name) +
                            " is not a NAD a slave can have (0x01..0x7D)");
        } else if (const auto [other, added] = taken.try_emplace(nad, found->node->name); !added) {
            report_settings("The NAD " + hex2(nad) + " is configured for nodes " + quoted(other->second) +
                            " and " + quoted(name));
        } else if (!configured.insert(n).second) {
            report_settings("Node " + quoted(name) + " has two configured NADs");
        } else {
            nads_[n] = static_cast<std::int32_t>(nad);
        }
    }
    for (std::size_t n = 0; n < nodes_.size(); ++n) {
        if (is_master(n) || configured.contains(n)) {
            continue;
        }
        const NcfDiagnosticDef& diagnostic = nodes_[n].node->diagnostic;
        const std::vector<std::int32_t> own = own_nads(diagnostic);
        const auto free = std::find_if(own.begin(), own.end(), [&](std::int32_t nad) {
            return nad >= 1 && nad <= last_configured_nad && !taken.contains(nad);
        });
        if (free == own.end()) {
            std::string holders;
            for (const std::int32_t nad : own) {
                if (const auto holder = taken.find(nad); holder != taken.end()) {
                    holders += (holders.empty() ? "" : ", ") + hex2(nad) + " " + quoted(holder->second);
                }
            }
            report("cluster-nad",
                   place_of(n, diagnostic.positions.nad_lhs.known() ? diagnostic.positions.nad_lhs
                                                                    : nodes_[n].node->positions.name),
                   "Node " + quoted(node_name(n)) + " has no NAD of its own left to configure" +
                       (holders.empty() ? std::string() : " (taken: " + holders + ")"));
            continue;
        }
        nads_[n] = *free;
        taken.emplace(*free, node_name(n));
    }
}

// An LDF describes signals: readers refuse one without a Signals
// section, and the language has none without a signal.
void Composer::require_a_signal() {
    const bool any = std::any_of(frames_.begin(), frames_.end(), [](const ClusterFrame& frame) {
        return !reference(frame).frame->signals.empty();
    });
    if (any) {
        return;
    }
    if (nodes_.empty()) {
        stopped_ = true;
        cluster_.emplace_back(
            std::tuple(std::size_t{0}, std::uint64_t{0}, std::uint64_t{0}),
            Diagnostic{Diagnostic::Severity::Error, settings_.source, 0, 0,
                       "The cluster has no node, and so no signal for an LDF to describe", "cluster-empty"});
        return;
    }
    report("cluster-empty", place_of(0, nodes_[0].node->positions.name),
           "No node of the cluster has a frame with a signal for an LDF to describe");
}

std::string Composer::collision_table_name(const EventTriggered& event) {
    return event.name + "_collisions";
}

}  // namespace detail::cluster

bool stops_ldf(const Diagnostic& diagnostic, bool in_a_slave) {
    if (diagnostic.severity != Diagnostic::Severity::Error) {
        return false;
    }
    const auto is = [&](const auto& codes) {
        return std::find(codes.begin(), codes.end(), diagnostic.code) != codes.end();
    };
    return is(stopping_codes) || (in_a_slave && is(slave_stopping_codes)) ||
           diagnostic.code.starts_with("cluster-");
}

namespace detail {

ComposedLdf compose_ldf(std::span<const ClusterFile> files, const ClusterSettings& settings) {
    return cluster::Composer(files, settings).run();
}

}  // namespace detail

LdfResult make_ldf(std::span<const ClusterFile> files, const ClusterSettings& settings) {
    detail::ComposedLdf composed = detail::compose_ldf(files, settings);
    LdfResult result;
    if (composed.description) {
        result.text = detail::write_ldf(*composed.description);
    }
    result.diagnostics = std::move(composed.diagnostics);
    return result;
}

}  // namespace tolvane
