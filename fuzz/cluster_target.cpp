// The cluster target: the input, cut at its form feeds into up to four node
// capability files, each read leniently, makes a cluster whose master is the
// first node of the first file or a name of its own. Making its LDF ends on
// any input; when the LDF is written, its records say what the files say
// (every frame where its publisher puts it, every identifier and NAD taken
// once and in range, every schedule slot a frame of the LDF, a whole number
// of time bases), and its text is the writer's text of those records; when
// it is not, an error that stops it was reported.
#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fail.hpp"
#include "fuzz/targets.hpp"
#include "ldf/cluster.hpp"
#include "ldf/compose.hpp"
#include "ldf/ldf_writer.hpp"
#include "parser/ncf_parser.hpp"

namespace tolvane::fuzz {

namespace {

std::vector<ClusterFile> files_of(std::string_view bytes) {
    std::vector<ClusterFile> files;
    std::size_t start = 0;
    while (files.size() < 4) {
        const std::size_t end = std::min(bytes.find('\f', start), bytes.size());
        std::string name = "node";  // appended: GCC 12 takes "node" + std::string for an overlapping copy
        name += std::to_string(files.size()) + ".ncf";
        NcfParser parser = NcfParser::from_text(name, std::string(bytes.substr(start, end - start)),
                                                ParseOptions{.lenient = true});
        NcfFile file = parser.parse();
        files.push_back({std::move(file), parser.get_diagnostics()});
        if (end == bytes.size()) {
            break;
        }
        start = end + 1;
    }
    return files;
}

// The description of frame `name` the LDF takes: its publisher's, else the
// first; and who publishes it.
std::pair<const NcfSingleFrame*, const NcfNodeDef*> reference_of(const std::vector<ClusterFile>& files,
                                                                 std::string_view name) {
    const NcfSingleFrame* first = nullptr;
    for (const ClusterFile& input : files) {
        for (const NcfNodeDef& node : input.file.nodes) {
            for (const NcfSingleFrame& frame : node.frames) {
                if (frame.name != name) {
                    continue;
                }
                if (frame.kind == "publish") {
                    return {&frame, &node};
                }
                first = first != nullptr ? first : &frame;
            }
        }
    }
    return {first, nullptr};
}

void check_description(const detail::LdfDescription& ldf, const std::vector<ClusterFile>& files,
                       const ClusterSettings& settings) {
    std::set<std::int32_t> ids;
    std::set<std::string> names;
    for (const detail::LdfFrame& frame : ldf.frames) {
        const auto [reference, publisher] = reference_of(files, frame.name);
        require(reference != nullptr, "the LDF has a frame no file has");
        require(frame.publisher == (publisher != nullptr ? publisher->name : *settings.master),
                "a frame of the LDF has another publisher than the files give it");
        require(frame.length == reference->properties.length, "a frame of the LDF has another length");
        require(frame.signals.size() == reference->signals.size(), "a frame of the LDF has other signals");
        for (std::size_t i = 0; i < frame.signals.size(); ++i) {
            require(frame.signals[i].name == reference->signals[i].name &&
                        frame.signals[i].offset == reference->signals[i].properties.offset,
                    "a signal of the LDF lies elsewhere than in its file");
        }
        require(frame.id >= 0 && frame.id <= 0x3B && ids.insert(frame.id).second,
                "a frame identifier of the LDF is out of range or taken twice");
        names.insert(frame.name);
    }
    for (const detail::LdfEventTriggeredFrame& event : ldf.event_triggered_frames) {
        require(event.id >= 0 && event.id <= 0x3B && ids.insert(event.id).second,
                "an event-triggered frame's identifier is out of range or taken twice");
        for (const std::string& member : event.frames) {
            require(names.contains(member), "an event-triggered frame names a frame the LDF lacks");
        }
        names.insert(event.name);
    }
    std::set<std::int32_t> nads;
    for (const detail::LdfNodeAttributes& node : ldf.node_attributes) {
        require(node.configured_nad >= 1 && node.configured_nad <= 0x7D &&
                    nads.insert(node.configured_nad).second,
                "a configured NAD of the LDF is out of range or taken twice");
    }
    names.insert("MasterReq");
    names.insert("SlaveResp");
    for (const detail::LdfScheduleTable& table : ldf.schedule_tables) {
        for (const detail::LdfScheduleSlot& slot : table.slots) {
            require(names.contains(slot.frame), "a schedule table names a frame the LDF lacks");
            const double bases = slot.delay_ms / ldf.time_base_ms;
            require(slot.delay_ms > 0.0 && std::fabs(bases - std::round(bases)) < 1e-6,
                    "a schedule slot is not a whole number of time bases");
        }
    }
}

}  // namespace

void cluster_target(std::string_view bytes) {
    const std::vector<ClusterFile> files = files_of(bytes);
    for (const bool own_master : {false, true}) {
        ClusterSettings settings;
        settings.master = "Gateway";
        if (!own_master && !files.front().file.nodes.empty()) {
            settings.master = files.front().file.nodes.front().name;
        }
        const detail::ComposedLdf composed = detail::compose_ldf(files, settings);
        const LdfResult made = make_ldf(files, settings);
        if (!composed.description) {
            require(!made.text, "make_ldf writes an LDF that its composer stopped");
            require(
                std::any_of(made.diagnostics.begin(), made.diagnostics.end(),
                            [](const Diagnostic& d) { return d.severity == Diagnostic::Severity::Error; }),
                "the LDF was stopped without an error that says why");
            continue;
        }
        check_description(*composed.description, files, settings);
        require(made.text == detail::write_ldf(*composed.description),
                "make_ldf's text is not the writer's text of the composed records");
    }
}

}  // namespace tolvane::fuzz
