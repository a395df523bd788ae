// The description of a cluster the writer writes: the header and the nodes,
// the frames with their signals, publishers and subscribers, the
// event-triggered and diagnostic frames, the node attributes, the schedule
// tables and the encodings.
#include <algorithm>
#include <charconv>
#include <set>
#include <tuple>

#include "ldf/composer.hpp"
#include "ldf/ldf_syntax.hpp"
#include "ldf/schedule.hpp"

namespace tolvane::detail::cluster {

namespace {

// The newest version of the language: the versions of a cluster without nodes.
constexpr std::string_view newest_version = "2.2";

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

}  // namespace

std::string Composer::highest_version(bool protocol) const {
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

LdfDescription Composer::describe() {
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

std::string Composer::publisher_of(const ClusterFrame& frame) const {
    return frame.published ? node_name(frame.uses[*frame.published].node) : master_name();
}

// The frames with their signals, and the signals with their publisher and
// subscribers: the nodes that describe the signal in the frame, and the
// master of its own, which takes every signal the slaves publish.
void Composer::describe_frames(LdfDescription& d) const {
    for (std::size_t f = 0; f < frames_.size(); ++f) {
        const ClusterFrame& frame = frames_[f];
        const FrameUse& ref = reference(frame);
        LdfFrame out{frame.name, frame_ids_[f], publisher_of(frame), ref.frame->properties.length, {}};
        for (const NcfSignalDef& signal : ref.frame->signals) {
            out.signals.push_back({signal.name, signal.properties.offset});
            LdfSignal entry{
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

void Composer::describe_event_triggered_frames(LdfDescription& d) const {
    for (std::size_t e = 0; e < event_triggered_.size(); ++e) {
        LdfEventTriggeredFrame out{
            event_triggered_[e].name, collision_table_name(event_triggered_[e]), event_ids_[e], {}};
        for (const std::size_t f : event_triggered_[e].frames) {
            out.frames.push_back(frames_[f].name);
        }
        d.event_triggered_frames.push_back(std::move(out));
    }
}

void Composer::describe_node_attributes(LdfDescription& d) const {
    for (std::size_t n = 0; n < nodes_.size(); ++n) {
        if (is_master(n)) {
            continue;
        }
        const NcfNodeDef& node = *nodes_[n].node;
        LdfNodeAttributes out;
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

void Composer::add_once(std::vector<std::string>& names, const std::string& name) {
    if (std::find(names.begin(), names.end(), name) == names.end()) {
        names.push_back(name);
    }
}

// The normal table: every frame that is not one of an event-triggered
// frame's, and each event-triggered frame (its slot that of its longest
// frame); a table each event-triggered frame resolves its collisions
// with; and a table each for the diagnostic request and response.
void Composer::describe_schedules(LdfDescription& d) {
    std::set<std::size_t> members;
    for (const EventTriggered& event : event_triggered_) {
        members.insert(event.frames.begin(), event.frames.end());
    }
    std::vector<ScheduledFrame> scheduled;
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
    const Schedule normal = build_schedule(scheduled, rate_, settings_.time_base_ms);
    for (const auto& problem : normal.problems) {
        report("cluster-schedule", places[problem.frame], problem.message);
    }
    if (!normal.slots.empty()) {
        d.schedule_tables.push_back({"NormalTable", normal.slots});
    }
    // An event-triggered frame's collisions are resolved by polling its
    // frames one by one.
    for (const EventTriggered& event : event_triggered_) {
        LdfScheduleTable collisions{collision_table_name(event), {}};
        for (const std::size_t f : event.frames) {
            const std::int32_t length = reference(frames_[f]).frame->properties.length;
            collisions.slots.push_back({frames_[f].name, slot_time(length, rate_, settings_.time_base_ms)});
        }
        d.schedule_tables.push_back(std::move(collisions));
    }
    if (d.diagnostic_frames) {
        const double slot = slot_time(8, rate_, settings_.time_base_ms);
        d.schedule_tables.push_back({"MasterReqTable", {{std::string(spelling(LdfWord::MasterReq)), slot}}});
        d.schedule_tables.push_back({"SlaveRespTable", {{std::string(spelling(LdfWord::SlaveResp)), slot}}});
    }
}

// The encodings the signals use, each from the node whose description of
// the signal the LDF takes, and the signals of each.
void Composer::describe_encodings(LdfDescription& d) const {
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
                const auto entry = std::find_if(encodings.begin(), encodings.end(),
                                                [&](const NcfEncodingEntry& e) { return e.name == *name; });
                NcfEncodingEntry copy = entry != encodings.end() ? *entry : NcfEncodingEntry{*name, {}, {}};
                d.encodings.push_back(std::move(copy));
                d.representations.push_back({*name, {}});
            }
            add_once(d.representations[found->second].signals, signal.name);
        }
    }
}

}  // namespace tolvane::detail::cluster
