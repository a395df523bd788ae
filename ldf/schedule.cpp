// Building the normal schedule table: slot lengths, how often each frame
// comes, and the order of one cycle.
#include "ldf/schedule.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string_view>

#include "validate/findings.hpp"
#include "writer/spellings.hpp"

namespace tolvane::detail {

namespace {

std::string ms(double value) {
    std::string text;
    append_number(text, value);
    return text + " ms";
}

// A cycle beyond this many time bases is not looked for: the search stays
// cheap whatever the periods.
constexpr std::size_t most_cells = 4096;

// One cycle as a grid of time bases, each cell free or the frame whose slot
// covers it.
class Grid {
public:
    explicit Grid(std::size_t cells) : owner_(cells, free_cell) {}

    std::size_t size() const { return owner_.size(); }

    // Places `frame` at `offset` + j x `period` for every j, each `cells`
    // long, when all of them are free; says whether it did.
    bool place(std::size_t frame, std::size_t period, std::size_t cells) {
        for (std::size_t offset = 0; offset < period; ++offset) {
            if (fits(offset, period, cells)) {
                for (std::size_t start = offset; start < size(); start += period) {
                    for (std::size_t c = 0; c < cells; ++c) {
                        owner_[(start + c) % size()] = frame;
                    }
                }
                starts_.push_back({offset, frame, period});
                return true;
            }
        }
        return false;
    }

    // The slots in time order: each frame's start and which frame.
    std::vector<std::pair<std::size_t, std::size_t>> slots() const {
        std::vector<std::pair<std::size_t, std::size_t>> all;
        for (const Start& start : starts_) {
            for (std::size_t at = start.offset; at < size(); at += start.period) {
                all.emplace_back(at, start.frame);
            }
        }
        std::sort(all.begin(), all.end());
        return all;
    }

private:
    static constexpr std::size_t free_cell = static_cast<std::size_t>(-1);
    struct Start {
        std::size_t offset;
        std::size_t frame;
        std::size_t period;
    };

    bool fits(std::size_t offset, std::size_t period, std::size_t cells) const {
        for (std::size_t start = offset; start < size(); start += period) {
            for (std::size_t c = 0; c < cells; ++c) {
                if (owner_[(start + c) % size()] != free_cell) {
                    return false;
                }
            }
        }
        return true;
    }

    std::vector<std::size_t> owner_;
    std::vector<Start> starts_;
};

}  // namespace

double slot_time(std::int32_t length, double rate_kbps, double time_base_ms) {
    const double bits = 1.4 * (34.0 + 10.0 * (static_cast<double>(length) + 1.0));
    const double nominal = bits / rate_kbps;  // kbps: bits per millisecond
    // A hair above a whole number of time bases is that number: rounding
    // errors must not cost a time base.
    const double bases = std::ceil(nominal / time_base_ms - 1e-9);
    return std::max(1.0, bases) * time_base_ms;
}

// The frames with a max_period repeat at a fixed period each: the shortest
// max_period, rounded down to whole time bases, and it times powers of two,
// each frame's the largest not above its max_period. So every period divides
// the cycle, a power of two times the shortest, and a frame's slots are
// placed once for all its repetitions: the frames of shorter periods first,
// each at the first offset where all its slots are free, then the frames
// without a max_period once a cycle. When they do not fit, the cycle
// doubles; a cycle shorter than a min_period too.
Schedule build_schedule(std::span<const ScheduledFrame> frames, double rate_kbps, double time_base_ms) {
    Schedule schedule;
    const std::size_t n = frames.size();
    if (n == 0) {
        return schedule;
    }
    const auto cells_of = [&](double time) {
        return static_cast<std::size_t>(std::llround(time / time_base_ms));
    };
    std::vector<std::size_t> slot_cells(n);
    double share = 0.0;
    std::optional<std::int32_t> shortest;
    for (std::size_t i = 0; i < n; ++i) {
        const double slot = slot_time(frames[i].length, rate_kbps, time_base_ms);
        slot_cells[i] = cells_of(slot);
        if (const auto& most = frames[i].max_period) {
            if (*most < slot) {
                schedule.problems.push_back({i, "Frame " + quoted(frames[i].name) + " takes a slot of " +
                                                    ms(slot) + ", longer than its max_period " + ms(*most)});
                continue;
            }
            share += slot / *most;
            shortest = shortest ? std::min(*shortest, *most) : *most;
        }
        if (const auto& least = frames[i].min_period;
            least && frames[i].max_period && *least > *frames[i].max_period) {
            schedule.problems.push_back({i, "Frame " + quoted(frames[i].name) + " has a min_period " +
                                                ms(*least) + " above its max_period " +
                                                ms(*frames[i].max_period)});
        }
    }
    if (!schedule.problems.empty()) {
        return schedule;
    }
    if (share > 1.0) {
        std::size_t tightest = 0;
        std::string needs;
        for (std::size_t i = 0; i < n; ++i) {
            if (const auto& most = frames[i].max_period) {
                needs += (needs.empty() ? "" : ", ") + quoted(frames[i].name) + " " +
                         ms(static_cast<double>(slot_cells[i]) * time_base_ms) + " every " + ms(*most);
                if (!frames[tightest].max_period || *most < *frames[tightest].max_period) {
                    tightest = i;
                }
            }
        }
        schedule.problems.push_back(
            {tightest,
             "No schedule table can meet the max_periods, which ask for more than the bus can carry: " +
                 needs});
        return schedule;
    }

    // The periods in time bases.
    const std::size_t base =
        shortest
            ? std::max<std::size_t>(1, cells_of(std::floor(*shortest / time_base_ms + 1e-9) * time_base_ms))
            : 1;
    std::vector<std::size_t> period(n, 0);  // 0: once a cycle
    std::size_t longest = base;
    for (std::size_t i = 0; i < n; ++i) {
        if (const auto& most = frames[i].max_period) {
            std::size_t p = base;
            while (static_cast<double>(2 * p) * time_base_ms <= *most + 1e-9) {
                p *= 2;
            }
            period[i] = p;
            longest = std::max(longest, p);
        }
    }
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const std::size_t pa = period[a] == 0 ? static_cast<std::size_t>(-1) : period[a];
        const std::size_t pb = period[b] == 0 ? static_cast<std::size_t>(-1) : period[b];
        return pa < pb;
    });
    std::size_t least_cycle = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (frames[i].min_period && period[i] == 0) {
            least_cycle = std::max(
                least_cycle, cells_of(std::ceil(*frames[i].min_period / time_base_ms - 1e-9) * time_base_ms));
        }
        if (frames[i].min_period && period[i] != 0 &&
            static_cast<double>(period[i]) * time_base_ms < *frames[i].min_period - 1e-9) {
            schedule.problems.push_back({i, "Frame " + quoted(frames[i].name) + " must come every " +
                                                ms(static_cast<double>(period[i]) * time_base_ms) +
                                                " to meet its max_period, sooner than its min_period " +
                                                ms(*frames[i].min_period)});
        }
    }
    if (!schedule.problems.empty()) {
        return schedule;
    }
    std::size_t unplaced = order.front();
    std::size_t largest_cycle = longest;
    for (std::size_t cycle = longest; cycle <= most_cells; cycle *= 2) {
        largest_cycle = cycle;
        if (cycle < least_cycle) {
            continue;
        }
        Grid grid(cycle);
        const auto missing = std::find_if(order.begin(), order.end(), [&](std::size_t i) {
            return !grid.place(i, period[i] == 0 ? cycle : period[i], slot_cells[i]);
        });
        if (missing != order.end()) {
            unplaced = *missing;
            continue;
        }
        // Each slot lasts until the next begins: free time after a slot is
        // its own. The table begins with its first slot.
        const auto slots = grid.slots();
        for (std::size_t k = 0; k < slots.size(); ++k) {
            const std::size_t next = k + 1 < slots.size() ? slots[k + 1].first : slots.front().first + cycle;
            schedule.slots.push_back(
                {frames[slots[k].second].name, static_cast<double>(next - slots[k].first) * time_base_ms});
        }
        return schedule;
    }
    double periodic = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        if (period[i] != 0) {
            periodic += static_cast<double>(slot_cells[i]) / static_cast<double>(period[i]);
        }
    }
    schedule.problems.push_back({unplaced, "No schedule table found: frame " + quoted(frames[unplaced].name) +
                                               " (slot " +
                                               ms(static_cast<double>(slot_cells[unplaced]) * time_base_ms) +
                                               ") finds no room in a cycle of up to " +
                                               ms(static_cast<double>(largest_cycle) * time_base_ms) +
                                               " beside the frames with a max_period, which take " +
                                               ms(periodic * static_cast<double>(base) * time_base_ms) +
                                               " of every " + ms(static_cast<double>(base) * time_base_ms)});
    return schedule;
}

}  // namespace tolvane::detail
