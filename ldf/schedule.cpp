// Building the normal schedule table: slot lengths, how often each frame
// comes, and the order of one cycle.
#include "ldf/schedule.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string_view>
#include <tuple>

#include "writer/spellings.hpp"

namespace tolvane::detail {

namespace {

std::string ms(double value) {
    std::string text;
    append_number(text, value);
    return text + " ms";
}

std::string quoted(std::string_view name) {
    return "'" + std::string(name) + "'";
}

// The starts of each frame's slots in one cycle of `sequence` (frame indices
// in order), and the cycle's length.
struct Layout {
    std::vector<std::vector<double>> starts;
    double cycle = 0.0;
};

Layout lay_out(const std::vector<std::size_t>& sequence, const std::vector<double>& slots, std::size_t frames,
               double padding) {
    Layout layout;
    layout.starts.resize(frames);
    for (const std::size_t frame : sequence) {
        layout.starts[frame].push_back(layout.cycle);
        layout.cycle += slots[frame];
    }
    layout.cycle += padding;
    return layout;
}

// The longest and the shortest time from a slot of a frame to its next,
// round the cycle.
std::pair<double, double> gaps(const std::vector<double>& starts, double cycle) {
    double longest = 0.0;
    double shortest = cycle;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const double next = i + 1 < starts.size() ? starts[i + 1] : starts.front() + cycle;
        longest = std::max(longest, next - starts[i]);
        shortest = std::min(shortest, next - starts[i]);
    }
    return {longest, shortest};
}

// One cycle with frame i `counts[i]` times, each frame's slots spread evenly
// over the cycle and the frames staggered, ties in the order given.
std::vector<std::size_t> sequence_of(const std::vector<std::size_t>& counts) {
    std::vector<std::tuple<double, std::size_t>> occurrences;
    const auto frames = static_cast<double>(counts.size());
    for (std::size_t i = 0; i < counts.size(); ++i) {
        for (std::size_t j = 0; j < counts[i]; ++j) {
            const double stagger = static_cast<double>(i) / frames;
            occurrences.emplace_back((static_cast<double>(j) + stagger) / static_cast<double>(counts[i]), i);
        }
    }
    std::sort(occurrences.begin(), occurrences.end());
    std::vector<std::size_t> sequence;
    sequence.reserve(occurrences.size());
    for (const auto& [position, frame] : occurrences) {
        sequence.push_back(frame);
    }
    return sequence;
}

}  // namespace

double slot_time(std::int32_t length, double rate_kbps, double time_base_ms) {
    const double bits = 1.4 * (34.0 + 10.0 * (static_cast<double>(length) + 1.0));
    const double nominal = bits / rate_kbps;  // kbps: bits per millisecond
    // A hair below a whole number of time bases is that number: 1.4 x 54 /
    // 19.2 is 3.9375 and stays so, 10.000000000000002 / 5 is 2.
    const double bases = std::ceil(nominal / time_base_ms - 1e-9);
    return std::max(1.0, bases) * time_base_ms;
}

Schedule build_schedule(std::span<const ScheduledFrame> frames, double rate_kbps, double time_base_ms) {
    Schedule schedule;
    const std::size_t n = frames.size();
    if (n == 0) {
        return schedule;
    }
    std::vector<double> slots(n);
    for (std::size_t i = 0; i < n; ++i) {
        slots[i] = slot_time(frames[i].length, rate_kbps, time_base_ms);
    }

    // What no cycle can meet: a frame that asks to come sooner than its own
    // slot ends, and periodic frames that together need more than the bus.
    double share = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto& most = frames[i].max_period;
        if (most && *most < slots[i]) {
            schedule.problems.push_back({i, "Frame " + quoted(frames[i].name) + " takes a slot of " +
                                                ms(slots[i]) + ", longer than its max_period " + ms(*most)});
        } else if (most) {
            share += slots[i] / *most;
        }
    }
    if (schedule.problems.empty() && share > 1.0) {
        std::string needs;
        std::size_t tightest = n;
        for (std::size_t i = 0; i < n; ++i) {
            if (const auto& most = frames[i].max_period) {
                needs += (needs.empty() ? "" : ", ") + quoted(frames[i].name) + " " + ms(slots[i]) +
                         " every " + ms(*most);
                if (tightest == n || *most < *frames[tightest].max_period) {
                    tightest = i;
                }
            }
        }
        schedule.problems.push_back(
            {tightest, "The frames' max_periods ask for more than the bus can carry: " + needs});
    }
    if (!schedule.problems.empty()) {
        return schedule;
    }

    // How often each frame comes: as often as the cycle, made of all of
    // them, needs for the max_periods; then more where the layout's uneven
    // slots leave a gap too long.
    std::vector<std::size_t> counts(n, 1);
    Layout layout;
    std::vector<std::size_t> sequence;
    constexpr int attempts = 256;
    bool met = false;
    for (int attempt = 0; attempt < attempts && !met; ++attempt) {
        double cycle = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            cycle += static_cast<double>(counts[i]) * slots[i];
        }
        bool grew = false;
        for (std::size_t i = 0; i < n; ++i) {
            if (const auto& most = frames[i].max_period) {
                const auto needed = static_cast<std::size_t>(std::ceil(cycle / *most - 1e-9));
                if (needed > counts[i]) {
                    counts[i] = needed;
                    grew = true;
                }
            }
        }
        if (grew) {
            continue;
        }
        sequence = sequence_of(counts);
        layout = lay_out(sequence, slots, n, 0.0);
        met = true;
        for (std::size_t i = 0; i < n; ++i) {
            if (frames[i].max_period && gaps(layout.starts[i], layout.cycle).first > *frames[i].max_period) {
                ++counts[i];
                met = false;
            }
        }
    }
    if (!met) {
        for (std::size_t i = 0; i < n; ++i) {
            if (frames[i].max_period && gaps(layout.starts[i], layout.cycle).first > *frames[i].max_period) {
                schedule.problems.push_back({i, "No cycle found in which frame " + quoted(frames[i].name) +
                                                    " (slot " + ms(slots[i]) + ") comes at least every " +
                                                    ms(*frames[i].max_period)});
            }
        }
        return schedule;
    }

    // A frame that comes once a cycle comes every cycle: a cycle shorter
    // than its min_period grows by an idle time after its last slot.
    double padding = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto& least = frames[i].min_period;
        if (!least) {
            continue;
        }
        const double shortest = gaps(layout.starts[i], layout.cycle).second;
        if (shortest >= *least) {
            continue;
        }
        if (counts[i] == 1) {
            padding = std::max(padding, *least - layout.cycle);
        } else {
            schedule.problems.push_back({i, "Frame " + quoted(frames[i].name) + " must come every " +
                                                ms(gaps(layout.starts[i], layout.cycle).first) +
                                                " for the max_periods, sooner than its min_period " +
                                                ms(*least)});
        }
    }
    if (padding > 0.0) {
        padding = std::ceil(padding / time_base_ms - 1e-9) * time_base_ms;
        layout = lay_out(sequence, slots, n, padding);
        for (std::size_t i = 0; i < n; ++i) {
            if (frames[i].max_period && gaps(layout.starts[i], layout.cycle).first > *frames[i].max_period) {
                schedule.problems.push_back({i, "Frame " + quoted(frames[i].name) +
                                                    " must come at least every " + ms(*frames[i].max_period) +
                                                    ", but the cycle grows to " + ms(layout.cycle) +
                                                    " for the min_periods of frames that come once a cycle"});
            }
        }
    }
    if (!schedule.problems.empty()) {
        return schedule;
    }
    for (std::size_t k = 0; k < sequence.size(); ++k) {
        const double extra = k + 1 == sequence.size() ? padding : 0.0;
        schedule.slots.push_back({frames[sequence[k]].name, slots[sequence[k]] + extra});
    }
    return schedule;
}

}  // namespace tolvane::detail
