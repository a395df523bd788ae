// A LIN cluster made from the node capability files of its nodes: the LIN
// description file (LDF) that the cluster's designer would write, with what
// only the cluster knows (the master, the bit rate, frame identifiers,
// configured NADs, schedule tables) taken from the settings or chosen, and
// every conflict between the nodes reported at its place in the files.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "../model/diagnostic.hpp"
#include "../model/ncf_records.hpp"

namespace tolvane {

// What no node capability file says, all of it optional.
struct ClusterSettings {
    // One of the input nodes, whose frames are then the master's, or a name
    // of the master's own. Required.
    std::optional<std::string> master;
    double time_base_ms = 5.0;
    double jitter_ms = 0.1;
    // Default: the fastest rate every node supports.
    std::optional<double> bitrate_kbps;
    // Defaults: the highest of the nodes' protocol versions, and of the
    // files' language versions.
    std::optional<std::string> protocol_version;
    std::optional<std::string> language_version;
    std::optional<std::string> channel;
    // Pinned identifiers of unconditional and event-triggered frames, and
    // configured NADs of slaves, in the order given.
    std::vector<std::pair<std::string, std::int64_t>> frame_ids;
    std::vector<std::pair<std::string, std::int64_t>> nads;
    // The name that diagnostics about the settings report (their file).
    std::string source;
};

// One node capability file of the cluster: its tree and what its parse
// reported.
struct ClusterFile {
    NcfFile file;
    std::vector<Diagnostic> diagnostics;
};

struct LdfResult {
    // The LDF text, absent when an error stops it. Bytes: string literals
    // hold ISO 8859-1, as in the node capability files.
    std::optional<std::string> text;
    // Every diagnostic: each file's own (its parse's and its nodes' rules),
    // file by file in input order, then the cluster's, ordered by file and
    // position.
    std::vector<Diagnostic> diagnostics;
};

// The LDF of the cluster of the nodes of `files` (every node a slave unless
// it is the master). The text is written unless a syntax error, an error of
// the cluster's rules, or an error of a node's own rules about what the LDF
// carries (its frames, signals, encodings, NADs and identity) stops it.
LdfResult make_ldf(std::span<const ClusterFile> files, const ClusterSettings& settings);

// Whether a diagnostic of that code and severity, found in a slave (or in
// the master), stops the LDF.
bool stops_ldf(const Diagnostic& diagnostic, bool in_a_slave);

}  // namespace tolvane
