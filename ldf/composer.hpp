// The composer of a cluster's LDF, shared by the sources that make it:
// compose.cpp (the nodes and the choices the settings leave open),
// cluster_rules.cpp (the rules of the cluster as a whole) and describe.cpp
// (the description the writer writes).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ldf/cluster.hpp"
#include "ldf/compose.hpp"
#include "ldf/ldf_model.hpp"
#include "validate/findings.hpp"
#include "writer/spellings.hpp"

namespace tolvane::detail::cluster {

inline std::string hex2(std::int64_t value) {
    std::string text;
    append_hex(text, value, 2);
    return text;
}

inline std::string number_text(double value) {
    std::string text;
    append_number(text, value);
    return text;
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

    ComposedLdf run();

private:
    // ---------------------------------------------------------------------
    // Reporting
    // ---------------------------------------------------------------------

    void report(std::string_view code, Place place, std::string message);
    void report_settings(std::string message);
    std::string at(std::size_t node, SourcePosition position) const;
    std::string in_node(std::size_t node, SourcePosition position) const;
    Place place_of(std::size_t node, SourcePosition at) const { return {nodes_[node].file, at}; }
    const std::string& node_name(std::size_t node) const { return nodes_[node].node->name; }

    // ---------------------------------------------------------------------
    // Each file's own diagnostics
    // ---------------------------------------------------------------------

    void own_diagnostics();
    bool is_master_node(const NcfFile& file, const Diagnostic& diagnostic) const;

    // ---------------------------------------------------------------------
    // The settings' own values
    // ---------------------------------------------------------------------

    void check_settings_values();
    static bool spellable_text(std::string_view text);

    // ---------------------------------------------------------------------
    // Nodes and the master
    // ---------------------------------------------------------------------

    void collect_nodes();
    void choose_master();

    bool is_master(std::size_t node) const { return master_node_ == node; }

    std::string master_name() const { return settings_.master.value_or(std::string()); }

    // ---------------------------------------------------------------------
    // Frames
    // ---------------------------------------------------------------------

    void collect_frames();
    void check_publishers();
    static const FrameUse& reference(const ClusterFrame& frame);
    void check_frame_descriptions();
    static SourcePosition first_known(SourcePosition position, const FrameUse& use);
    static const NcfSignalDef* find_signal(const NcfSingleFrame& frame, std::string_view name);
    void check_signals();
    void check_encodings();

    // ---------------------------------------------------------------------
    // Event-triggered frames
    // ---------------------------------------------------------------------

    struct EventTriggered {
        std::string name;
        std::vector<std::size_t> frames;  // in frames_, in input order
    };
    void collect_event_triggered_frames();
    void check_event_triggered(const EventTriggered& event,
                               const std::unordered_map<std::string_view, std::size_t>& unconditional);

    // ---------------------------------------------------------------------
    // Names and texts the LDF can spell
    // ---------------------------------------------------------------------

    void require_name(std::string_view what, std::string_view name, std::size_t node, SourcePosition at);
    void require_text(std::string_view text, std::size_t node, SourcePosition at);
    void check_names();

    // ---------------------------------------------------------------------
    // Bit rate
    // ---------------------------------------------------------------------

    static bool supports(const NcfBitrateDefinition& bitrate, double rate);
    static std::string rates_text(const NcfBitrateDefinition& bitrate);
    void choose_bitrate();
    bool common_rate_exists(std::size_t nodes) const;

    // ---------------------------------------------------------------------
    // Frame identifiers
    // ---------------------------------------------------------------------

    void choose_frame_ids();

    // ---------------------------------------------------------------------
    // NADs
    // ---------------------------------------------------------------------

    static std::vector<std::int32_t> own_nads(const NcfDiagnosticDef& diagnostic);
    void choose_nads();
    void require_a_signal();

    // ---------------------------------------------------------------------
    // The description
    // ---------------------------------------------------------------------

    std::string highest_version(bool protocol) const;
    LdfDescription describe();
    std::string publisher_of(const ClusterFrame& frame) const;
    void describe_frames(LdfDescription& d) const;
    void describe_event_triggered_frames(LdfDescription& d) const;
    static std::string collision_table_name(const EventTriggered& event);
    void describe_node_attributes(LdfDescription& d) const;
    static void add_once(std::vector<std::string>& names, const std::string& name);
    void describe_schedules(LdfDescription& d);
    void describe_encodings(LdfDescription& d) const;
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

}  // namespace tolvane::detail::cluster
