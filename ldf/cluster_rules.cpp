// The rules of a cluster as a whole: one publisher a frame, one description
// of each frame, signal and encoding in every node, event-triggered frames
// whose frames go together, names the LDF can spell. Each finding stands at
// the later of two conflicting places, the earlier one named in its message.
#include <algorithm>
#include <map>
#include <set>

#include "ldf/composer.hpp"
#include "ldf/ldf_syntax.hpp"

namespace tolvane::detail::cluster {

namespace {

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

}  // namespace

// One publisher a frame; one at all when the master is an input node.
void Composer::check_publishers() {
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
                   "Frame " + quoted(frame.name) + " is published by node " + quoted(node_name(use.node)) +
                       " and by node " + quoted(node_name(first.node)) + " " +
                       at(first.node, first.frame->positions.name));
        }
        if (!frame.published && master_node_) {
            const FrameUse& use = frame.uses.front();
            report("cluster-unpublished", place_of(use.node, use.frame->positions.name),
                   "No node of the cluster publishes frame " + quoted(frame.name) + ", which node " +
                       quoted(node_name(use.node)) + " subscribes to");
        }
    }
}

// Every other description of a frame against the reference: its length,
// and each of its signals' offset and size.
void Composer::check_frame_descriptions() {
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
                           "Signal " + quoted(signal.name) + " is not in frame " + quoted(frame.name) + " " +
                               in_node(ref.node, ref.frame->positions.name));
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

SourcePosition Composer::first_known(SourcePosition position, const FrameUse& use) {
    return position.known() ? position : use.frame->positions.name;
}

const NcfSignalDef* Composer::find_signal(const NcfSingleFrame& frame, std::string_view name) {
    const auto found = std::find_if(frame.signals.begin(), frame.signals.end(),
                                    [&](const NcfSignalDef& signal) { return signal.name == name; });
    return found == frame.signals.end() ? nullptr : &*found;
}

// One signal, described in every frame and node that has it: one frame,
// one initial value and encoding (its offset and size are the frame's
// rule, cluster-frame).
void Composer::check_signals() {
    struct First {
        const NcfSignalDef* signal;
        std::size_t node;
        const ClusterFrame* frame;
    };
    std::unordered_map<std::string_view, First> first;
    for (const ClusterFrame& frame : frames_) {
        for (const FrameUse& use : frame.uses) {
            for (const NcfSignalDef& signal : use.frame->signals) {
                const auto [found, added] = first.try_emplace(signal.name, First{&signal, use.node, &frame});
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
void Composer::check_encodings() {
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

void Composer::collect_event_triggered_frames() {
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

void Composer::check_event_triggered(const EventTriggered& event,
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
                   "Frame " + quoted(frames_[f].name) + " of event-triggered frame " + quoted(event.name) +
                       " has length " + std::to_string(use.frame->properties.length) + ", frame " +
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
                       " of event-triggered frame " + quoted(event.name) + " are both published by node " +
                       quoted(node_name(use.node)));
        }
    }
}

void Composer::require_name(std::string_view what, std::string_view name, std::size_t node,
                            SourcePosition at) {
    if (!is_ldf_identifier(name)) {
        report("cluster-name", place_of(node, at),
               std::string(what) + " name " + quoted(name) +
                   " cannot be written in an LDF (a letter or '_', then letters, digits and '_', and no "
                   "word of "
                   "the language)");
    }
}

void Composer::require_text(std::string_view text, std::size_t node, SourcePosition at) {
    if (!spellable_text(text)) {
        report("cluster-name", place_of(node, at),
               "Text " + quoted(text) + " cannot be written in an LDF string (ISO 8859-1, no lone quote)");
    }
}

void Composer::check_names() {
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

}  // namespace tolvane::detail::cluster
