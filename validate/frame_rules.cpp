// The frames section: frame lengths and periods, and where each signal sits
// in its frame. Frame bit k is bit k mod 8 of data byte k div 8; a signal
// occupies bits offset .. offset + size - 1.
#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "validate/findings.hpp"
#include "validate/name_table.hpp"

namespace tolvane::detail {

namespace {

constexpr std::int64_t bits_per_byte = 8;

// The bits a signal occupies, in 64 bits so that no offset and size the
// parser can read overflow.
struct BitSpan {
    std::int64_t first = 0;
    std::int64_t last = 0;

    std::string text() const { return decimal(first) + ".." + decimal(last); }
};

BitSpan bits_of(const NcfSignalProperties& properties) {
    return {properties.offset, std::int64_t{properties.offset} + properties.size - 1};
}

// A signal of size 0 or less occupies no bits: its size is reported, and
// where it would sit is not.
bool occupies_bits(const NcfSignalProperties& properties) {
    return properties.size >= 1;
}

bool is_byte_array(const NcfSignalProperties& properties) {
    return properties.init_value.is_array;
}

bool valid_signal_size(const NcfSignalProperties& properties) {
    const std::int32_t size = properties.size;
    return is_byte_array(properties) ? size >= 8 && size <= 64 && size % 8 == 0 : size >= 1 && size <= 16;
}

// What a frame's checks need of the frames before it.
struct FrameNames {
    struct FirstSignal {
        const NcfSingleFrame* frame = nullptr;
        const NcfSingleFrame* latest_frame = nullptr;  // the frame where the name was last seen
    };

    NameTable<const NcfSingleFrame*> frames;  // the first frame of each name
    NameTable<bool> event_triggered;          // frames named by another's event_triggered_frame
    NameTable<FirstSignal> signals;

    FrameNames(std::size_t frame_count, std::size_t signal_count)
        : frames(frame_count), event_triggered(frame_count), signals(signal_count) {}
};

void check_frame_length(NodeScope& scope, const NcfSingleFrame& frame) {
    const NcfFrameProperties& properties = frame.properties;
    if (properties.length < 1 || properties.length > 8) {
        scope.findings.error(
            "frame-length", properties.positions.length,
            "Frame " + quoted(frame.name) + " has length " + decimal(properties.length) + ", expected 1..8");
    }
}

// A negative period is reported by itself; the order of the two periods only
// when neither is negative.
void check_frame_periods(NodeScope& scope, const NcfSingleFrame& frame) {
    const NcfFrameProperties& properties = frame.properties;
    const auto check_negative = [&](std::string_view name, const std::optional<std::int32_t>& period,
                                    SourcePosition where) {
        if (period && *period < 0) {
            scope.findings.error("frame-period", where,
                                 "Frame " + quoted(frame.name) + ": " + std::string(name) + " " +
                                     decimal(*period) + " ms is negative");
            return true;
        }
        return false;
    };
    const bool min_negative =
        check_negative("min_period", properties.min_period, properties.positions.min_period);
    const bool max_negative =
        check_negative("max_period", properties.max_period, properties.positions.max_period);
    if (properties.min_period && properties.max_period && !min_negative && !max_negative &&
        *properties.min_period > *properties.max_period) {
        scope.findings.error("frame-period", properties.positions.min_period,
                             "Frame " + quoted(frame.name) + ": min_period " +
                                 decimal(*properties.min_period) + " ms is above max_period " +
                                 decimal(*properties.max_period) + " ms");
    }
}

void check_frame_name(NodeScope& scope, FrameNames& names, const NcfSingleFrame& frame) {
    if (!names.frames.try_emplace(frame.name, &frame).second) {
        scope.findings.error(
            "duplicate-frame", frame.positions.name,
            "Frame " + quoted(frame.name) + " is defined twice in node " + quoted(scope.node.name));
    }
    // An event-triggered frame carries the signals of the frames that name
    // it, so it has none of its own.
    if (frame.signals.empty() && !names.event_triggered.contains(frame.name)) {
        scope.findings.warning("empty-frame", frame.positions.name,
                               "Frame " + quoted(frame.name) + " has no signals");
    }
}

void check_signal_size(NodeScope& scope, const NcfSignalDef& signal) {
    const NcfSignalProperties& properties = signal.properties;
    if (valid_signal_size(properties)) {
        return;
    }
    const SourcePosition where = first_known({properties.positions.size, signal.positions.start});
    if (is_byte_array(properties)) {
        scope.findings.error("signal-size", where,
                             "Byte-array signal " + quoted(signal.name) + " has size " +
                                 decimal(properties.size) + ", expected 8, 16, ..., 64");
    } else {
        scope.findings.error("signal-size", where,
                             "Scalar signal " + quoted(signal.name) + " has size " +
                                 decimal(properties.size) + ", expected 1..16");
    }
}

void check_array_offset(NodeScope& scope, const NcfSignalDef& signal) {
    const NcfSignalProperties& properties = signal.properties;
    if (is_byte_array(properties) && properties.offset % 8 != 0) {
        scope.findings.error("array-offset",
                             first_known({properties.positions.offset, signal.positions.start}),
                             "Byte-array signal " + quoted(signal.name) + " starts at bit " +
                                 decimal(properties.offset) + ", not on a byte boundary");
    }
}

// A frame whose own length is not positive would report every signal; its
// length is reported instead.
void check_signal_in_frame(NodeScope& scope, const NcfSingleFrame& frame, const NcfSignalDef& signal) {
    const NcfSignalProperties& properties = signal.properties;
    const std::int64_t length = frame.properties.length;
    if (!occupies_bits(properties) || length < 1) {
        return;
    }
    const BitSpan bits = bits_of(properties);
    if (bits.first < 0 || bits.last >= bits_per_byte * length) {
        scope.findings.error("signal-outside-frame", signal.positions.start,
                             "Signal " + quoted(signal.name) + " (bits " + bits.text() +
                                 ") does not fit frame " + quoted(frame.name) + " of " + decimal(length) +
                                 " byte(s)");
    }
}

void check_init_value(NodeScope& scope, const NcfSignalDef& signal) {
    const NcfSignalProperties& properties = signal.properties;
    const NcfInitValue& init = properties.init_value;
    const SourcePosition where = first_known({init.positions.start, signal.positions.start});
    if (!init.is_array) {
        if (!occupies_bits(properties)) {
            return;  // no bits to fit: the size is reported
        }
        const std::int64_t value = init.scalar;
        const bool fits =
            value >= 0 && (properties.size >= 62 || value < (std::int64_t{1} << properties.size));
        if (!fits) {
            scope.findings.error("init-value", where,
                                 "Initial value " + decimal(value) + " of signal " + quoted(signal.name) +
                                     " does not fit " + decimal(properties.size) + " bits");
        }
        return;
    }
    // The count is only compared with a size that is itself valid.
    const auto count = static_cast<std::int64_t>(init.array_values.size());
    if (valid_signal_size(properties) && count != properties.size / 8) {
        scope.findings.error("init-value", where,
                             "Signal " + quoted(signal.name) + " has " + decimal(count) +
                                 " initial bytes for size " + decimal(properties.size));
    }
    for (std::size_t i = 0; i < init.array_values.size(); ++i) {
        const std::int32_t byte = init.array_values[i];
        if (byte < 0 || byte > 0xFF) {
            const SourcePosition byte_position =
                i < init.positions.array_values.size() ? init.positions.array_values[i] : where;
            scope.findings.error("init-value", byte_position,
                                 "Initial byte " + decimal(byte) + " of signal " + quoted(signal.name) +
                                     " does not fit 8 bits");
        }
    }
}

// A name twice in one frame is an error; in two frames of the node a
// warning, except between two frames of one name, which duplicate-frame
// already reports.
void check_signal_name(NodeScope& scope, FrameNames& names, const NcfSingleFrame& frame,
                       const NcfSignalDef& signal) {
    const auto [first, first_time] =
        names.signals.try_emplace(signal.name, FrameNames::FirstSignal{&frame, &frame});
    if (first_time) {
        return;
    }
    if (first.latest_frame == &frame) {
        scope.findings.error(
            "duplicate-signal", signal.positions.start,
            "Signal " + quoted(signal.name) + " is defined twice in frame " + quoted(frame.name));
    } else if (first.frame->name != frame.name) {
        scope.findings.warning("duplicate-signal", signal.positions.start,
                               "Signal " + quoted(signal.name) + " is defined in frames " +
                                   quoted(first.frame->name) + " and " + quoted(frame.name));
    }
    first.latest_frame = &frame;
}

// Behind an event-triggered frame the first data byte carries the protected
// identifier of the frame that answers.
void check_identifier_byte(NodeScope& scope, const NcfSingleFrame& frame, const NcfSignalDef& signal) {
    const auto& event_triggered = frame.properties.event_triggered_frame;
    if (!event_triggered || !occupies_bits(signal.properties)) {
        return;
    }
    const BitSpan bits = bits_of(signal.properties);
    if (bits.first <= 7 && bits.last >= 0) {
        scope.findings.error("event-triggered-pid-byte", signal.positions.start,
                             "Signal " + quoted(signal.name) + " (bits " + bits.text() +
                                 ") overlaps the identifier byte of event-triggered frame " +
                                 quoted(*event_triggered) + " in frame " + quoted(frame.name));
    }
}

// One finding per pair of signals that share a bit, at the later of the two.
// Sorted by first bit, each signal meets only those still open at its first
// bit, all of which it overlaps: the cost is that of the sort and the pairs.
// A frame has at most 64 bits, so only a hostile text has more than a few
// signals open at once; at most `most_open` are kept open, which bounds the
// pairs per signal instead of letting them grow with the square of the
// signals. Of a hostile frame's many pairs only the first few are worded:
// the others are counted.
class OverlapSweep {
public:
    void check(NodeScope& scope, const NcfSingleFrame& frame) {
        collect_spans(frame);
        find_twins(frame);
        FirstByPlace<Pair> first(findings_per_rule_and_group + 1);
        seen_.clear();
        open_.clear();
        for (const Span& span : spans_) {
            std::erase_if(open_, [&](const Span& other) { return other.bits.last < span.bits.first; });
            for (const Span& other : open_) {
                const Pair pair = other.index < span.index ? Pair{span, other} : Pair{other, span};
                const SourcePosition where = frame.signals[pair.later.index].positions.start;
                if (!repeats_a_finding(pair, where)) {
                    first.offer(where, pair);
                }
            }
            if (open_.size() < most_open) {
                open_.push_back(span);
            }
        }
        const std::vector<Pair> reported = first.first();
        for (const Pair& pair : reported) {
            report(scope, frame, pair);
        }
        scope.findings.left_out("signal-overlap", Diagnostic::Severity::Error,
                                first.offered() - reported.size());
    }

private:
    static constexpr std::size_t most_open = 64;

    struct Span {
        BitSpan bits;
        std::size_t index;  // in the frame's signals
    };
    struct Pair {
        Span later;  // in the frame's order: the signal the finding is about
        Span earlier;
    };

    void collect_spans(const NcfSingleFrame& frame) {
        spans_.clear();
        for (std::size_t i = 0; i < frame.signals.size(); ++i) {
            if (occupies_bits(frame.signals[i].properties)) {
                spans_.push_back({bits_of(frame.signals[i].properties), i});
            }
        }
        std::sort(spans_.begin(), spans_.end(), [](const Span& a, const Span& b) {
            return a.bits.first != b.bits.first ? a.bits.first < b.bits.first : a.index < b.index;
        });
    }

    // Two earlier signals of one name and the same bits give a later one the
    // same finding twice; `twin_` maps each signal to the first of its kind.
    // Only a frame that repeats a name can have twins.
    void find_twins(const NcfSingleFrame& frame) {
        twin_.clear();
        NameTable<bool> names(frame.signals.size());
        bool repeated = false;
        for (const Span& span : spans_) {
            repeated = !names.try_emplace(frame.signals[span.index].name, true).second || repeated;
        }
        if (!repeated) {
            return;
        }
        std::map<std::tuple<std::string_view, std::int64_t, std::int64_t>, std::size_t> first_of_kind;
        twin_.resize(frame.signals.size());
        for (const Span& span : spans_) {
            const auto key =
                std::tuple(std::string_view(frame.signals[span.index].name), span.bits.first, span.bits.last);
            const auto [found, added] = first_of_kind.try_emplace(key, span.index);
            twin_[span.index] = found->second;
        }
    }

    // Whether `pair` words a finding already found at the same place. A tree
    // built by hand has no places, and every pair counts.
    bool repeats_a_finding(const Pair& pair, SourcePosition where) {
        if (twin_.empty() || !where.known()) {
            return false;
        }
        return !seen_.emplace(pair.later.index, twin_[pair.earlier.index]).second;
    }

    static void report(NodeScope& scope, const NcfSingleFrame& frame, const Pair& pair) {
        const NcfSignalDef& signal = frame.signals[pair.later.index];
        scope.findings.error("signal-overlap", signal.positions.start,
                             "Signal " + quoted(signal.name) + " (bits " + pair.later.bits.text() +
                                 ") overlaps signal " + quoted(frame.signals[pair.earlier.index].name) +
                                 " (bits " + pair.earlier.bits.text() + ") in frame " + quoted(frame.name));
    }

    std::vector<Span> spans_;
    std::vector<Span> open_;
    std::vector<std::size_t> twin_;
    std::set<std::pair<std::size_t, std::size_t>> seen_;
};

}  // namespace

void check_frames(NodeScope& scope) {
    std::size_t signal_count = 0;
    for (const NcfSingleFrame& frame : scope.node.frames) {
        signal_count += frame.signals.size();
    }
    FrameNames names(scope.node.frames.size(), signal_count);
    for (const NcfSingleFrame& frame : scope.node.frames) {
        if (frame.properties.event_triggered_frame) {
            names.event_triggered.try_emplace(*frame.properties.event_triggered_frame, true);
        }
    }
    OverlapSweep overlaps;
    for (const NcfSingleFrame& frame : scope.node.frames) {
        const Findings::Group group(scope.findings, "frame", frame.name);
        check_frame_length(scope, frame);
        check_frame_periods(scope, frame);
        check_frame_name(scope, names, frame);
        for (const NcfSignalDef& signal : frame.signals) {
            check_signal_size(scope, signal);
            check_array_offset(scope, signal);
            check_signal_in_frame(scope, frame, signal);
            check_init_value(scope, signal);
            check_signal_name(scope, names, frame, signal);
            check_identifier_byte(scope, frame, signal);
        }
        overlaps.check(scope, frame);
    }
}

}  // namespace tolvane::detail
