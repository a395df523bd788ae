// The words of the LIN description file language: those the writer spells
// and those a name must not be, in one table.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tolvane::detail {

enum class LdfWord : std::size_t {
    DescriptionFile,
    ProtocolVersion,
    LanguageVersion,
    Speed,
    ChannelName,
    Nodes,
    Master,
    Slaves,
    Signals,
    DiagnosticSignals,
    Frames,
    EventTriggeredFrames,
    DiagnosticFrames,
    MasterReq,
    SlaveResp,
    NodeAttributes,
    LinProtocol,
    ConfiguredNad,
    InitialNad,
    ProductId,
    ResponseError,
    FaultStateSignals,
    P2Min,
    StMin,
    NAsTimeout,
    NCrTimeout,
    ConfigurableFrames,
    ScheduleTables,
    Delay,
    SignalEncodingTypes,
    LogicalValue,
    PhysicalValue,
    BcdValue,
    AsciiValue,
    SignalRepresentation,
    Kbps,
    Ms,
    // Words of the language the writer does not use, which a name may not be either.
    SporadicFrames,
    Composite,
    Configuration,
    SignalGroups,
    DiagnosticAddresses,
    FileRevision,
    BigEndian,
    LittleEndian,
    ResponseTolerance,
    WakeupTime,
    PoweronTime,
    Bits,
    AssignNad,
    ConditionalChangeNad,
    DataDump,
    SaveConfiguration,
    AssignFrameIdRange,
    AssignFrameId,
    UnassignFrameId,
    FreeFormat,
    Count,
};

inline constexpr std::array<std::string_view, static_cast<std::size_t>(LdfWord::Count)> ldf_words{
    "LIN_description_file",
    "LIN_protocol_version",
    "LIN_language_version",
    "LIN_speed",
    "Channel_name",
    "Nodes",
    "Master",
    "Slaves",
    "Signals",
    "Diagnostic_signals",
    "Frames",
    "Event_triggered_frames",
    "Diagnostic_frames",
    "MasterReq",
    "SlaveResp",
    "Node_attributes",
    "LIN_protocol",
    "configured_NAD",
    "initial_NAD",
    "product_id",
    "response_error",
    "fault_state_signals",
    "P2_min",
    "ST_min",
    "N_As_timeout",
    "N_Cr_timeout",
    "configurable_frames",
    "Schedule_tables",
    "delay",
    "Signal_encoding_types",
    "logical_value",
    "physical_value",
    "bcd_value",
    "ascii_value",
    "Signal_representation",
    "kbps",
    "ms",
    "Sporadic_frames",
    "composite",
    "configuration",
    "Signal_groups",
    "Diagnostic_addresses",
    "LDF_file_revision",
    "LIN_sig_byte_order_big_endian",
    "LIN_sig_byte_order_little_endian",
    "response_tolerance",
    "wakeup_time",
    "poweron_time",
    "bits",
    "AssignNAD",
    "ConditionalChangeNAD",
    "DataDump",
    "SaveConfiguration",
    "AssignFrameIdRange",
    "AssignFrameId",
    "UnassignFrameId",
    "FreeFormat",
};

constexpr std::string_view spelling(LdfWord word) {
    return ldf_words[static_cast<std::size_t>(word)];
}

constexpr bool is_ldf_word(std::string_view text) {
    return std::find(ldf_words.begin(), ldf_words.end(), text) != ldf_words.end();
}

// A name the LDF grammar reads as an identifier: a letter or an underscore,
// then letters, digits and underscores (ASCII), and no word of the language.
constexpr bool is_ldf_identifier(std::string_view text) {
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (text.empty() || !letter(text.front())) {
        return false;
    }
    return std::all_of(text.begin(), text.end(), [&](char c) { return letter(c) || digit(c); }) &&
           !is_ldf_word(text);
}

// The names of the diagnostic frames' signals, MasterReqB0..7 and SlaveRespB0..7.
inline constexpr std::array<std::string_view, 8> master_request_signals{
    "MasterReqB0", "MasterReqB1", "MasterReqB2", "MasterReqB3",
    "MasterReqB4", "MasterReqB5", "MasterReqB6", "MasterReqB7"};
inline constexpr std::array<std::string_view, 8> slave_response_signals{
    "SlaveRespB0", "SlaveRespB1", "SlaveRespB2", "SlaveRespB3",
    "SlaveRespB4", "SlaveRespB5", "SlaveRespB6", "SlaveRespB7"};

inline constexpr std::int32_t master_request_id = 0x3C;
inline constexpr std::int32_t slave_response_id = 0x3D;

}  // namespace tolvane::detail
