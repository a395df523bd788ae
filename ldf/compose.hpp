// The composer behind make_ldf(): the LDF of a cluster as records, before
// the writer puts them into text (for the fuzz target's law, which checks the
// records against the files).
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "ldf/cluster.hpp"
#include "ldf/ldf_model.hpp"

namespace tolvane::detail {

struct ComposedLdf {
    std::optional<LdfDescription> description;  // absent when an error stops it
    std::vector<Diagnostic> diagnostics;
};

ComposedLdf compose_ldf(std::span<const ClusterFile> files, const ClusterSettings& settings);

}  // namespace tolvane::detail
