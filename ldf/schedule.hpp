// The normal schedule table of a cluster: each frame's slot long enough for
// the frame at the cluster's bit rate, each frame as often as its
// max_period asks and no more often than its min_period allows.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ldf/ldf_model.hpp"

namespace tolvane::detail {

struct ScheduledFrame {
    std::string name;
    std::int32_t length = 0;  // data bytes
    std::optional<std::int32_t> min_period;
    std::optional<std::int32_t> max_period;
};

// The slot of a frame of `length` data bytes: its nominal maximum time,
// 1.4 x (34 + 10 x (length + 1)) bit times at `rate_kbps`, rounded up to a
// multiple of the time base.
double slot_time(std::int32_t length, double rate_kbps, double time_base_ms);

struct Schedule {
    std::vector<LdfScheduleSlot> slots;
    // Why a frame's periods are not met, by index in the frames given.
    struct Problem {
        std::size_t frame;
        std::string message;
    };
    std::vector<Problem> problems;
};

// The slots of one cycle, in time order, each lasting until the next
// begins. A frame with a max_period comes at a fixed period not above it
// (so no gap between two of its slots exceeds it), the others once a cycle;
// no frame comes sooner than its min_period. When the frames' periods
// cannot be met, or no cycle is found, the problems say why, with the
// numbers, and the slots are not to be used.
Schedule build_schedule(std::span<const ScheduledFrame> frames, double rate_kbps, double time_base_ms);

}  // namespace tolvane::detail
