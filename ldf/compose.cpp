// From the node capability files of a cluster to its LIN description file:
// each node's own diagnostics, the rules of the cluster as a whole, the
// choices the settings leave open (bit rate, versions, identifiers, NADs,
// the schedule), and the description the writer writes.
#include "ldf/compose.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <set>
#include <string_view>
#include <unordered_map>

#include "ldf/cluster.hpp"
#include "ldf/ldf_model.hpp"
#include "ldf/ldf_syntax.hpp"
#include "ldf/ldf_writer.hpp"
#include "ldf/schedule.hpp"
#include "validate/findings.hpp"
#include "validate/validator.hpp"
#include "writer/spellings.hpp"

namespace tolvane {

namespace {

using detail::LdfDescription;
using detail::quoted;

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
constexpr std::string_view newest_version = "2.2";
constexpr std::int32_t last_configured_nad = 0x7D;

std::string hex2(std::int64_t value) {
    std::string text;
    detail::append_hex(text, value, 2);
    return text;
}

std::string number_text(double value) {
    std::string text;
    detail::append_number(text, value);
    return text;
}

bool same_init(const NcfInitValue& a, const NcfInitValue& b) {
    return a.is_array == b.is_array && a.scalar == b.scalar && a.array_values == b.array_values;
}

bool same_value_line(const NcfEncodingValue& a, const NcfEncodingValue& b) {
    if (a.type != b.type || a.logical_value.has_value() != b.logical_value.has_value() ||
        a.physical_range.has_value() != b.physical_range.has_value()) {
        return false;
    }
    if (a.logical_value && (a.logical_value->signal_value != b.logical_value->signal_value ||
                            a.logical_value->text_info != b.logical_value->text_info)) {
        return false;
    }
    if (a.physical_range) {
        const NcfPhysicalRange& x = *a.physical_range;
        const NcfPhysicalRange& y = *b.physical_range;
        return x.min_value == y.min_value && x.max_value == y.max_value && x.scale == y.scale &&
               x.offset_val == y.offset_val && x.text_info == y.text_info;
    }
    return true;
}

bool same_encoding(const NcfEncodingEntry& a, const NcfEncodingEntry& b) {
    return std::equal(a.values.begin(), a.values.end(), b.values.begin(), b.values.end(), same_value_line);
}

// The rank of a version among others of its family, to find the highest:
// "1.3" < "2.0" < "2.1" < "2.2" < "ISO17987:2015" < ...; J2602 forms by
// their text. Versions of other forms rank lowest.
std::tuple<int, double, std::string> version_rank(std::string_view version) {
    if (version.starts_with("ISO17987")) {
        return {2, 0.0, std::string(version)};
    }
    if (version.starts_with("J2602")) {
        return {1, 0.0, std::string(version)};
    }
    double number = 0.0;
    const auto [end, error] = std::from_chars(version.data(), version.data() + version.size(), number);
    if (error == std::errc() && end == version.data() + version.size()) {
        return {0, number, std::string(version)};
    }
    return {-1, 0.0, std::string(version)};
}

// A place in one of the files.
struct Place {
    std::size_t file = 0;
    SourcePosition at;
};

struct NodeEntry {
    const NcfNodeDef* node = nullptr;
    std::size_t file = 0;
};

// One description of a frame, by one node.
struct FrameUse {
    const NcfSingleFrame* frame = nullptr;
    std::size_t node = 0;  // index in the cluster's nodes
};

struct ClusterFrame {
    std::string name;
    std::vector<FrameUse> uses;            // in input order
    std::optional<std::size_t> published;  // the use of the publishing node
};

class Composer {
public:
    Composer(std::span<const ClusterFile> files, const ClusterSettings& settings)
        : files_(files), settings_(settings) {}

    detail::ComposedLdf run() {
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
        detail::ComposedLdf result;
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

private:
    // ---------------------------------------------------------------------
    // Reporting
    // ---------------------------------------------------------------------

    void report(std::string_view code, Place place, std::string message) {
        stopped_ = true;
        const auto& file = files_[place.file].file;
        cluster_.emplace_back(std::tuple(place.file, place.at.line, place.at.column),
                              Diagnostic{Diagnostic::Severity::Error, file.filename, place.at.line,
                                         place.at.column, std::move(message), std::string(code)});
    }
    // About the settings, which have no places of their own: before every
    // file's findings.
    void report_settings(std::string message) {
        stopped_ = true;
        cluster_.emplace_back(std::tuple(std::size_t{0}, std::uint64_t{0}, std::uint64_t{0}),
                              Diagnostic{Diagnostic::Severity::Error, settings_.source, 0, 0,
                                         std::move(message), "cluster-settings"});
    }
    // "(file:line:column)", the earlier place a message names. Appended:
    // GCC 12 at -O3 takes "(" + std::string for an overlapping copy.
    std::string at(std::size_t node, SourcePosition position) const {
        std::string text = "(";
        text += files_[nodes_[node].file].file.filename;
        text += ":" + std::to_string(position.line) + ":" + std::to_string(position.column) + ")";
        return text;
    }
    // "in node 'A' (file:line:column)".
    std::string in_node(std::size_t node, SourcePosition position) const {
        return "in node " + quoted(node_name(node)) + " " + at(node, position);
    }
    Place place_of(std::size_t node, SourcePosition at) const { return {nodes_[node].file, at}; }
    const std::string& node_name(std::size_t node) const { return nodes_[node].node->name; }

    // ---------------------------------------------------------------------
    // Each file's own diagnostics
    // ---------------------------------------------------------------------

    // The parse's diagnostics and the rules' findings of every file, in
    // order; an error that touches what the LDF carries stops it. Which
    // node a finding lies in decides for the rules only slaves answer to.
    void own_diagnostics() {
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
    bool is_master_node(const NcfFile& file, const Diagnostic& diagnostic) const {
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

    // ---------------------------------------------------------------------
    // The settings' own values
    // ---------------------------------------------------------------------

    void check_settings_values() {
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

    static bool spellable_text(std::string_view text) {
        const std::optional<std::string> bytes = detail::latin1_bytes(text);
        return bytes && detail::literal_problem(*bytes).empty();
    }

    // ---------------------------------------------------------------------
    // Nodes and the master
    // ---------------------------------------------------------------------

    void collect_nodes() {
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

    void choose_master() {
        if (!settings_.master) {
            return;
        }
        for (std::size_t i = 0; i < nodes_.size(); ++i) {
            if (node_name(i) == *settings_.master) {
                master_node_ = i;
                break;
            }
        }
        if (!master_node_ && !detail::is_ldf_identifier(*settings_.master)) {
            report_settings(
                "The master's name " + quoted(*settings_.master) +
                " cannot be written in an LDF (a letter or '_', then letters, digits and '_', and no "
                "word of the language)");
        }
    }

    bool is_master(std::size_t node) const { return master_node_ == node; }

    std::string master_name() const { return settings_.master.value_or(std::string()); }

    // ---------------------------------------------------------------------
    // Frames
    // ---------------------------------------------------------------------

    void collect_frames() {
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

    // One publisher a frame; one at all when the master is an input node.
    void check_publishers() {
        for (ClusterFrame& frame : frames_) {
            for (std::size_t u = 0; u < frame.uses.size(); ++u) {
                const FrameUse& use = frame.uses[u];
                if (use.frame->kind != "publish") {
                    continue;
                }
                if (!frame.published) {
                    frame.published = u;
                    continue;
                }
                const FrameUse& first = frame.uses[*frame.published];
                if (first.node == use.node) {
                    continue;  // twice in one node: duplicate-frame
                }
                report("cluster-publisher", place_of(use.node, use.frame->positions.name),
                       "Frame " + quoted(frame.name) + " is published by node " +
                           quoted(node_name(use.node)) + " and by node " + quoted(node_name(first.node)) +
                           " " + at(first.node, first.frame->positions.name));
            }
            if (!frame.published && master_node_) {
                const FrameUse& use = frame.uses.front();
                report("cluster-unpublished", place_of(use.node, use.frame->positions.name),
                       "No node of the cluster publishes frame " + quoted(frame.name) + ", which node " +
                           quoted(node_name(use.node)) + " subscribes to");
            }
        }
    }

    // The description the LDF takes: the publisher's, else the first.
    static const FrameUse& reference(const ClusterFrame& frame) {
        return frame.uses[frame.published.value_or(0)];
    }

    // Every other description of a frame against the reference: its length,
    // and each of its signals' offset and size.
    void check_frame_descriptions() {
        for (const ClusterFrame& frame : frames_) {
            const FrameUse& ref = reference(frame);
            for (const FrameUse& use : frame.uses) {
                if (&use == &ref || use.node == ref.node) {
                    continue;
                }
                const NcfFrameProperties& mine = use.frame->properties;
                if (mine.length != ref.frame->properties.length) {
                    report("cluster-frame", place_of(use.node, first_known(mine.positions.length, use)),
                           "Frame " + quoted(frame.name) + " has length " + std::to_string(mine.length) +
                               " here and " + std::to_string(ref.frame->properties.length) + " " +
                               in_node(ref.node, ref.frame->properties.positions.length));
                }
                for (const NcfSignalDef& signal : use.frame->signals) {
                    const NcfSignalDef* theirs = find_signal(*ref.frame, signal.name);
                    if (theirs == nullptr) {
                        report("cluster-frame", place_of(use.node, signal.positions.start),
                               "Signal " + quoted(signal.name) + " is not in frame " + quoted(frame.name) +
                                   " " + in_node(ref.node, ref.frame->positions.name));
                    } else if (theirs->properties.offset != signal.properties.offset ||
                               theirs->properties.size != signal.properties.size) {
                        report("cluster-frame", place_of(use.node, signal.positions.start),
                               "Signal " + quoted(signal.name) + " of frame " + quoted(frame.name) +
                                   " has offset " + std::to_string(signal.properties.offset) + " and size " +
                                   std::to_string(signal.properties.size) + " here, offset " +
                                   std::to_string(theirs->properties.offset) + " and size " +
                                   std::to_string(theirs->properties.size) + " " +
                                   in_node(ref.node, theirs->positions.start));
                    }
                }
            }
        }
    }

    static SourcePosition first_known(SourcePosition position, const FrameUse& use) {
        return position.known() ? position : use.frame->positions.name;
    }

    static const NcfSignalDef* find_signal(const NcfSingleFrame& frame, std::string_view name) {
        const auto found = std::find_if(frame.signals.begin(), frame.signals.end(),
                                        [&](const NcfSignalDef& signal) { return signal.name == name; });
        return found == frame.signals.end() ? nullptr : &*found;
    }

    // One signal, described in every frame and node that has it: one frame,
    // one initial value and encoding (its offset and size are the frame's
    // rule, cluster-frame).
    void check_signals() {
        struct First {
            const NcfSignalDef* signal;
            std::size_t node;
            const ClusterFrame* frame;
        };
        std::unordered_map<std::string_view, First> first;
        for (const ClusterFrame& frame : frames_) {
            for (const FrameUse& use : frame.uses) {
                for (const NcfSignalDef& signal : use.frame->signals) {
                    const auto [found, added] =
                        first.try_emplace(signal.name, First{&signal, use.node, &frame});
                    if (added) {
                        continue;
                    }
                    const First& earlier = found->second;
                    const NcfSignalProperties& mine = signal.properties;
                    const NcfSignalProperties& theirs = earlier.signal->properties;
                    const std::string elsewhere = in_node(earlier.node, earlier.signal->positions.start);
                    if (earlier.frame != &frame) {
                        report("cluster-signal", place_of(use.node, signal.positions.start),
                               "Signal " + quoted(signal.name) + " is in frame " + quoted(frame.name) +
                                   " here and in frame " + quoted(earlier.frame->name) + " " + elsewhere);
                    } else if (!same_init(mine.init_value, theirs.init_value)) {
                        report("cluster-signal", place_of(use.node, signal.positions.start),
                               "Signal " + quoted(signal.name) + " has another initial value here than " +
                                   elsewhere);
                    } else if (mine.encoding_name != theirs.encoding_name) {
                        report("cluster-signal", place_of(use.node, signal.positions.start),
                               "Signal " + quoted(signal.name) + " has encoding " +
                                   quoted(mine.encoding_name.value_or("none")) + " here and " +
                                   quoted(theirs.encoding_name.value_or("none")) + " " + elsewhere);
                    }
                }
            }
        }
    }

    // Encodings of one name: the same lines in every node that defines them.
    void check_encodings() {
        std::unordered_map<std::string_view, std::pair<const NcfEncodingEntry*, std::size_t>> first;
        for (std::size_t n = 0; n < nodes_.size(); ++n) {
            std::set<std::string_view> in_this_node;  // twice in a node: duplicate-encoding
            for (const NcfEncodingEntry& entry : nodes_[n].node->encodings) {
                if (!in_this_node.insert(entry.name).second) {
                    continue;
                }
                const auto [found, added] = first.try_emplace(entry.name, &entry, n);
                if (!added && !same_encoding(*found->second.first, entry)) {
                    report("cluster-encoding", place_of(n, entry.positions.start),
                           "Encoding " + quoted(entry.name) + " differs from the encoding of that name " +
                               in_node(found->second.second, found->second.first->positions.start));
                }
            }
        }
    }

    // ---------------------------------------------------------------------
    // Event-triggered frames
    // ---------------------------------------------------------------------

    struct EventTriggered {
        std::string name;
        std::vector<std::size_t> frames;  // in frames_, in input order
    };

    void collect_event_triggered_frames() {
        std::unordered_map<std::string_view, std::size_t> index;
        for (std::size_t f = 0; f < frames_.size(); ++f) {
            for (const FrameUse& use : frames_[f].uses) {
                const auto& name = use.frame->properties.event_triggered_frame;
                if (!name) {
                    continue;
                }
                const auto [found, added] = index.try_emplace(*name, event_triggered_.size());
                if (added) {
                    event_triggered_.push_back({*name, {}});
                }
                auto& members = event_triggered_[found->second].frames;
                if (std::find(members.begin(), members.end(), f) == members.end()) {
                    members.push_back(f);
                }
            }
        }
        std::unordered_map<std::string_view, std::size_t> unconditional;
        for (std::size_t f = 0; f < frames_.size(); ++f) {
            unconditional.emplace(frames_[f].name, f);
        }
        for (const EventTriggered& event : event_triggered_) {
            check_event_triggered(event, unconditional);
        }
    }

    void check_event_triggered(const EventTriggered& event,
                               const std::unordered_map<std::string_view, std::size_t>& unconditional) {
        if (const auto same = unconditional.find(event.name); same != unconditional.end()) {
            const FrameUse& use = frames_[same->second].uses.front();
            report("cluster-event-triggered", place_of(use.node, use.frame->positions.name),
                   "Frame " + quoted(event.name) +
                       " is a frame of its own and the event-triggered frame of other frames");
        }
        const FrameUse& first = reference(frames_[event.frames.front()]);
        std::map<std::size_t, const FrameUse*> publishers;
        for (const std::size_t f : event.frames) {
            const FrameUse& use = reference(frames_[f]);
            if (use.frame->properties.length != first.frame->properties.length) {
                report("cluster-event-triggered", place_of(use.node, use.frame->positions.name),
                       "Frame " + quoted(frames_[f].name) + " of event-triggered frame " +
                           quoted(event.name) + " has length " +
                           std::to_string(use.frame->properties.length) + ", frame " +
                           quoted(first.frame->name) + " " + std::to_string(first.frame->properties.length) +
                           " " + in_node(first.node, first.frame->positions.name));
            }
            if (!frames_[f].published) {
                continue;  // the master's: its publisher is not a node of the files
            }
            const auto [found, added] = publishers.try_emplace(use.node, &use);
            if (!added) {
                report("cluster-event-triggered", place_of(use.node, use.frame->positions.name),
                       "Frames " + quoted(found->second->frame->name) + " and " + quoted(frames_[f].name) +
                           " of event-triggered frame " + quoted(event.name) +
                           " are both published by node " + quoted(node_name(use.node)));
            }
        }
    }

    // ---------------------------------------------------------------------
    // Names and texts the LDF can spell
    // ---------------------------------------------------------------------

    void require_name(std::string_view what, std::string_view name, std::size_t node, SourcePosition at) {
        if (!detail::is_ldf_identifier(name)) {
            report("cluster-name", place_of(node, at),
                   std::string(what) + " name " + quoted(name) +
                       " cannot be written in an LDF (a letter or '_', then letters, digits and '_', and no "
                       "word of "
                       "the language)");
        }
    }
    void require_text(std::string_view text, std::size_t node, SourcePosition at) {
        if (!spellable_text(text)) {
            report(
                "cluster-name", place_of(node, at),
                "Text " + quoted(text) + " cannot be written in an LDF string (ISO 8859-1, no lone quote)");
        }
    }

    void check_names() {
        for (std::size_t n = 0; n < nodes_.size(); ++n) {
            const NcfNodeDef& node = *nodes_[n].node;
            require_name("Node", node.name, n, node.positions.name);
            for (const NcfSingleFrame& frame : node.frames) {
                require_name("Frame", frame.name, n, frame.positions.name);
                if (const auto& event = frame.properties.event_triggered_frame) {
                    require_name("Event-triggered frame", *event, n,
                                 frame.properties.positions.event_triggered_frame);
                }
                for (const NcfSignalDef& signal : frame.signals) {
                    require_name("Signal", signal.name, n, signal.positions.start);
                }
            }
            for (const NcfEncodingEntry& entry : node.encodings) {
                require_name("Encoding", entry.name, n, entry.positions.start);
                for (const NcfEncodingValue& value : entry.values) {
                    const auto& text = value.logical_value    ? value.logical_value->text_info
                                       : value.physical_range ? value.physical_range->text_info
                                                              : std::optional<std::string>();
                    if (text) {
                        require_text(*text, n, value.positions.start);
                    }
                }
            }
            require_text(node.general.protocol_version, n, node.general.positions.protocol_version);
        }
    }

    // ---------------------------------------------------------------------
    // Bit rate
    // ---------------------------------------------------------------------

    static bool supports(const NcfBitrateDefinition& bitrate, double rate) {
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

    static std::string rates_text(const NcfBitrateDefinition& bitrate) {
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
    void choose_bitrate() {
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

    bool common_rate_exists(std::size_t nodes) const {
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

    // ---------------------------------------------------------------------
    // Frame identifiers
    // ---------------------------------------------------------------------

    // The pinned identifiers first, then the lowest free one for each other
    // frame: the unconditional frames in input order, then the
    // event-triggered frames in the order they are first named.
    void choose_frame_ids() {
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
                report_settings("The identifier " + hex2(id) + " is pinned for frames " +
                                quoted(other->second) + " and " + quoted(name));
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

    // ---------------------------------------------------------------------
    // NADs
    // ---------------------------------------------------------------------

    static std::vector<std::int32_t> own_nads(const NcfDiagnosticDef& diagnostic) {
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
    void choose_nads() {
        nads_.assign(nodes_.size(), 0);
        std::map<std::int64_t, std::string_view> taken;
        std::set<std::size_t> configured;
        for (const auto& [name, nad] : settings_.nads) {
            const auto found = std::find_if(nodes_.begin(), nodes_.end(),
                                            [&](const NodeEntry& e) { return e.node->name == name; });
            const auto n = static_cast<std::size_t>(found - nodes_.begin());
            if (found == nodes_.end() || is_master(n)) {
                report_settings("A NAD is configured for " + quoted(name) +
                                ", which is no slave of the cluster");
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
    void require_a_signal() {
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
                           "The cluster has no node, and so no signal for an LDF to describe",
                           "cluster-empty"});
            return;
        }
        report("cluster-empty", place_of(0, nodes_[0].node->positions.name),
               "No node of the cluster has a frame with a signal for an LDF to describe");
    }

    // ---------------------------------------------------------------------
    // The description
    // ---------------------------------------------------------------------

    std::string highest_version(bool protocol) const {
        std::string best;
        for (std::size_t f = 0; f < files_.size(); ++f) {
            std::vector<std::string_view> versions;
            if (protocol) {
                for (const NcfNodeDef& node : files_[f].file.nodes) {
                    versions.push_back(node.general.protocol_version);
                }
            } else {
                versions.push_back(files_[f].file.language_version);
            }
            for (const std::string_view version : versions) {
                if (best.empty() || version_rank(best) < version_rank(version)) {
                    best = version;
                }
            }
        }
        return best.empty() ? std::string(newest_version) : best;  // a cluster without nodes
    }

    LdfDescription describe() {
        LdfDescription d;
        d.protocol_version = settings_.protocol_version.value_or(highest_version(true));
        d.language_version = settings_.language_version.value_or(highest_version(false));
        d.speed_kbps = rate_;
        d.channel = settings_.channel;
        d.master = master_name();
        d.time_base_ms = settings_.time_base_ms;
        d.jitter_ms = settings_.jitter_ms;
        for (std::size_t n = 0; n < nodes_.size(); ++n) {
            if (!is_master(n)) {
                d.slaves.push_back(node_name(n));
            }
        }
        describe_frames(d);
        describe_event_triggered_frames(d);
        d.diagnostic_frames = !d.slaves.empty();
        describe_node_attributes(d);
        describe_schedules(d);
        describe_encodings(d);
        return d;
    }

    std::string publisher_of(const ClusterFrame& frame) const {
        return frame.published ? node_name(frame.uses[*frame.published].node) : master_name();
    }

    // The frames with their signals, and the signals with their publisher and
    // subscribers: the nodes that describe the signal in the frame, and the
    // master of its own, which takes every signal the slaves publish.
    void describe_frames(LdfDescription& d) const {
        for (std::size_t f = 0; f < frames_.size(); ++f) {
            const ClusterFrame& frame = frames_[f];
            const FrameUse& ref = reference(frame);
            detail::LdfFrame out{
                frame.name, frame_ids_[f], publisher_of(frame), ref.frame->properties.length, {}};
            for (const NcfSignalDef& signal : ref.frame->signals) {
                out.signals.push_back({signal.name, signal.properties.offset});
                detail::LdfSignal entry{
                    signal.name, signal.properties.size, signal.properties.init_value, out.publisher, {}};
                for (const FrameUse& use : frame.uses) {
                    const std::string& subscriber = node_name(use.node);
                    if (subscriber != out.publisher && find_signal(*use.frame, signal.name) != nullptr &&
                        std::find(entry.subscribers.begin(), entry.subscribers.end(), subscriber) ==
                            entry.subscribers.end()) {
                        entry.subscribers.push_back(subscriber);
                    }
                }
                if (!master_node_ && frame.published) {
                    entry.subscribers.push_back(master_name());
                }
                d.signals.push_back(std::move(entry));
            }
            d.frames.push_back(std::move(out));
        }
    }

    void describe_event_triggered_frames(LdfDescription& d) const {
        for (std::size_t e = 0; e < event_triggered_.size(); ++e) {
            detail::LdfEventTriggeredFrame out{
                event_triggered_[e].name, collision_table_name(event_triggered_[e]), event_ids_[e], {}};
            for (const std::size_t f : event_triggered_[e].frames) {
                out.frames.push_back(frames_[f].name);
            }
            d.event_triggered_frames.push_back(std::move(out));
        }
    }

    static std::string collision_table_name(const EventTriggered& event) {
        return event.name + "_collisions";
    }

    void describe_node_attributes(LdfDescription& d) const {
        for (std::size_t n = 0; n < nodes_.size(); ++n) {
            if (is_master(n)) {
                continue;
            }
            const NcfNodeDef& node = *nodes_[n].node;
            detail::LdfNodeAttributes out;
            out.node = node.name;
            out.protocol = node.general.protocol_version;
            out.configured_nad = nads_[n];
            const std::vector<std::int32_t> own = own_nads(node.diagnostic);
            if (!own.empty() && own.front() != nads_[n]) {
                out.initial_nad = own.front();
            }
            out.supplier_id = node.general.supplier_id;
            out.function_id = node.general.function_id;
            out.variant_id = node.general.variant_id;
            if (!node.status.response_error.empty()) {
                out.response_error = node.status.response_error;
            }
            out.fault_state_signals = node.status.fault_state_signals;
            out.p2_min = node.diagnostic.p2_min;
            out.st_min = node.diagnostic.st_min;
            out.n_as_timeout = node.diagnostic.n_as_timeout;
            out.n_cr_timeout = node.diagnostic.n_cr_timeout;
            for (const NcfSingleFrame& frame : node.frames) {
                add_once(out.configurable_frames, frame.name);
                if (frame.properties.event_triggered_frame) {
                    add_once(out.configurable_frames, *frame.properties.event_triggered_frame);
                }
            }
            d.node_attributes.push_back(std::move(out));
        }
    }

    static void add_once(std::vector<std::string>& names, const std::string& name) {
        if (std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(name);
        }
    }

    // The normal table: every frame that is not one of an event-triggered
    // frame's, and each event-triggered frame (its slot that of its longest
    // frame); a table each event-triggered frame resolves its collisions
    // with; and a table each for the diagnostic request and response.
    void describe_schedules(LdfDescription& d) {
        std::set<std::size_t> members;
        for (const EventTriggered& event : event_triggered_) {
            members.insert(event.frames.begin(), event.frames.end());
        }
        std::vector<detail::ScheduledFrame> scheduled;
        std::vector<Place> places;
        for (std::size_t f = 0; f < frames_.size(); ++f) {
            if (members.contains(f)) {
                continue;
            }
            const FrameUse& ref = reference(frames_[f]);
            const NcfFrameProperties& properties = ref.frame->properties;
            scheduled.push_back(
                {frames_[f].name, properties.length, properties.min_period, properties.max_period});
            places.push_back(place_of(ref.node, properties.positions.max_period.known()
                                                    ? properties.positions.max_period
                                                    : ref.frame->positions.name));
        }
        for (const EventTriggered& event : event_triggered_) {
            std::int32_t longest = 0;
            for (const std::size_t f : event.frames) {
                longest = std::max(longest, reference(frames_[f]).frame->properties.length);
            }
            const FrameUse& ref = reference(frames_[event.frames.front()]);
            scheduled.push_back({event.name, longest, std::nullopt, std::nullopt});
            places.push_back(place_of(ref.node, ref.frame->properties.positions.event_triggered_frame));
        }
        const detail::Schedule normal = detail::build_schedule(scheduled, rate_, settings_.time_base_ms);
        for (const auto& problem : normal.problems) {
            report("cluster-schedule", places[problem.frame], problem.message);
        }
        if (!normal.slots.empty()) {
            d.schedule_tables.push_back({"NormalTable", normal.slots});
        }
        // An event-triggered frame's collisions are resolved by polling its
        // frames one by one.
        for (const EventTriggered& event : event_triggered_) {
            detail::LdfScheduleTable collisions{collision_table_name(event), {}};
            for (const std::size_t f : event.frames) {
                const std::int32_t length = reference(frames_[f]).frame->properties.length;
                collisions.slots.push_back(
                    {frames_[f].name, detail::slot_time(length, rate_, settings_.time_base_ms)});
            }
            d.schedule_tables.push_back(std::move(collisions));
        }
        if (d.diagnostic_frames) {
            const double slot = detail::slot_time(8, rate_, settings_.time_base_ms);
            d.schedule_tables.push_back(
                {"MasterReqTable", {{std::string(spelling(detail::LdfWord::MasterReq)), slot}}});
            d.schedule_tables.push_back(
                {"SlaveRespTable", {{std::string(spelling(detail::LdfWord::SlaveResp)), slot}}});
        }
    }

    // The encodings the signals use, each from the node whose description of
    // the signal the LDF takes, and the signals of each.
    void describe_encodings(LdfDescription& d) const {
        std::unordered_map<std::string_view, std::size_t> index;
        for (const ClusterFrame& frame : frames_) {
            const FrameUse& ref = reference(frame);
            for (const NcfSignalDef& signal : ref.frame->signals) {
                const auto& name = signal.properties.encoding_name;
                if (!name) {
                    continue;
                }
                const auto [found, added] = index.try_emplace(*name, d.representations.size());
                if (added) {
                    const auto& encodings = nodes_[ref.node].node->encodings;
                    const auto entry =
                        std::find_if(encodings.begin(), encodings.end(),
                                     [&](const NcfEncodingEntry& e) { return e.name == *name; });
                    NcfEncodingEntry copy =
                        entry != encodings.end() ? *entry : NcfEncodingEntry{*name, {}, {}};
                    d.encodings.push_back(std::move(copy));
                    d.representations.push_back({*name, {}});
                }
                add_once(d.representations[found->second].signals, signal.name);
            }
        }
    }

    std::span<const ClusterFile> files_;
    const ClusterSettings& settings_;
    std::vector<Diagnostic> own_;
    std::vector<std::pair<std::tuple<std::size_t, std::uint64_t, std::uint64_t>, Diagnostic>> cluster_;
    bool stopped_ = false;

    std::vector<NodeEntry> nodes_;
    std::optional<std::size_t> master_node_;
    std::vector<ClusterFrame> frames_;
    std::vector<EventTriggered> event_triggered_;
    double rate_ = 0.0;
    std::vector<std::int32_t> frame_ids_;
    std::vector<std::int32_t> event_ids_;
    bool ids_exhausted_ = false;
    std::vector<std::int32_t> nads_;
};

}  // namespace

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
    return Composer(files, settings).run();
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
