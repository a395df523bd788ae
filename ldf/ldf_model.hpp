// The LIN description file of a cluster as plain records, in the order the
// file lists them: what the composer fills and the writer writes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/ncf_records.hpp"

namespace tolvane::detail {

struct LdfSignal {
    std::string name;
    std::int32_t size = 0;
    NcfInitValue init_value;
    std::string publisher;
    std::vector<std::string> subscribers;
};

struct LdfFrameSignal {
    std::string name;
    std::int32_t offset = 0;
};

struct LdfFrame {
    std::string name;
    std::int32_t id = 0;
    std::string publisher;
    std::int32_t length = 0;
    std::vector<LdfFrameSignal> signals;
};

struct LdfEventTriggeredFrame {
    std::string name;
    std::string collision_table;  // the schedule table that polls its frames one by one
    std::int32_t id = 0;
    std::vector<std::string> frames;
};

struct LdfNodeAttributes {
    std::string node;
    std::string protocol;
    std::int32_t configured_nad = 0;
    std::optional<std::int32_t> initial_nad;
    std::int32_t supplier_id = 0;
    std::int32_t function_id = 0;
    std::int32_t variant_id = 0;
    std::optional<std::string> response_error;
    std::vector<std::string> fault_state_signals;
    std::optional<double> p2_min;
    std::optional<double> st_min;
    std::optional<double> n_as_timeout;
    std::optional<double> n_cr_timeout;
    std::vector<std::string> configurable_frames;
};

struct LdfScheduleSlot {
    std::string frame;
    double delay_ms = 0.0;
};

struct LdfScheduleTable {
    std::string name;
    std::vector<LdfScheduleSlot> slots;
};

struct LdfRepresentation {
    std::string encoding;
    std::vector<std::string> signals;
};

struct LdfDescription {
    std::string protocol_version;
    std::string language_version;
    double speed_kbps = 0.0;
    std::optional<std::string> channel;
    std::string master;
    double time_base_ms = 0.0;
    double jitter_ms = 0.0;
    std::vector<std::string> slaves;
    std::vector<LdfSignal> signals;
    std::vector<LdfFrame> frames;
    std::vector<LdfEventTriggeredFrame> event_triggered_frames;
    bool diagnostic_frames = false;  // MasterReq and SlaveResp with their signals
    std::vector<LdfNodeAttributes> node_attributes;
    std::vector<LdfScheduleTable> schedule_tables;
    std::vector<NcfEncodingEntry> encodings;
    std::vector<LdfRepresentation> representations;
};

}  // namespace tolvane::detail
