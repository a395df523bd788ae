// The records of a parsed node capability file, and the diagnostic record.
//
// Plain aggregates with public fields and no behaviour. Every record owns its
// whole subtree by value, so copying is deep and moving moves the subtree.
// Text is held as bytes exactly as the lexer delivered them (string literals
// are already UTF-8); names that refer to other parts of the file are plain
// text and are never resolved.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolvane {

// One problem found while reading the input.
struct Diagnostic {
    enum class Severity : std::int32_t { Error = 0, Warning = 1, Info = 2 };

    Severity severity = Severity::Error;
    std::string file;
    std::uint64_t line = 0;
    std::uint64_t column = 0;
    std::string message;
};

// The initial value of a signal: a scalar, or a byte array written in braces.
struct NcfInitValue {
    bool is_array = false;
    std::int32_t scalar = 0;
    std::vector<std::int32_t> array_values;
};

// The bit rate of a node; rates are in kbps as written.
struct NcfBitrateDefinition {
    std::string type;  // "automatic", "select" or "fixed"
    std::optional<double> min_br;
    std::optional<double> max_br;
    std::vector<double> rates;
    std::optional<double> fixed_rate;
};

struct NcfGeneralDef {
    std::string protocol_version;
    std::int32_t supplier_id = 0;
    std::int32_t function_id = 0;
    std::int32_t variant_id = 0;
    NcfBitrateDefinition bitrate;
    std::optional<bool> sends_wake_up_signal;
    std::optional<double> volt_from;
    std::optional<double> volt_to;
    std::optional<double> temp_from;
    std::optional<double> temp_to;
    std::optional<std::string> conformance;
};

struct NcfDiagnosticDef {
    std::int32_t nad_lhs = 0;
    std::optional<std::int32_t> nad_rhs;  // upper end of a NAD range
    std::vector<std::int32_t> nad_list;   // second and later values of a NAD list
    std::optional<std::int32_t> diagnostic_class;
    std::optional<double> p2_min;  // times in ms as written
    std::optional<double> st_min;
    std::optional<double> n_as_timeout;
    std::optional<double> n_cr_timeout;
    std::vector<std::int32_t> support_sids;
    std::optional<std::int32_t> max_message_length;
};

struct NcfSignalProperties {
    NcfInitValue init_value;
    std::int32_t size = 0;
    std::int32_t offset = 0;
    std::optional<std::string> encoding_name;
};

struct NcfSignalDef {
    std::string name;
    NcfSignalProperties properties;
};

// The properties of one frame; the frame's signals live in NcfSingleFrame.
struct NcfFrameProperties {
    std::int32_t length = 0;
    std::optional<std::int32_t> min_period;  // ms as written
    std::optional<std::int32_t> max_period;  // ms as written
    std::optional<std::string> event_triggered_frame;
};

struct NcfSingleFrame {
    std::string kind;  // "publish" or "subscribe"
    std::string name;
    NcfFrameProperties properties;
    std::vector<NcfSignalDef> signals;
};

struct NcfLogicalValue {
    std::int32_t signal_value = 0;
    std::optional<std::string> text_info;
};

struct NcfPhysicalRange {
    std::int32_t min_value = 0;
    std::int32_t max_value = 0;
    double scale = 0.0;
    double offset_val = 0.0;
    std::optional<std::string> text_info;
};

// One value line of an encoding: exactly one of the optional parts is present
// for "logical" and "physical", neither for "bcd" and "ascii".
struct NcfEncodingValue {
    std::string type;  // "logical", "physical", "bcd" or "ascii"
    std::optional<NcfLogicalValue> logical_value;
    std::optional<NcfPhysicalRange> physical_range;
};

struct NcfEncodingEntry {
    std::string name;
    std::vector<NcfEncodingValue> values;
};

struct NcfStatusManagement {
    std::string response_error;
    std::vector<std::string> fault_state_signals;
};

struct NcfNodeDef {
    std::string name;
    NcfGeneralDef general;
    NcfDiagnosticDef diagnostic;
    std::vector<NcfSingleFrame> frames;
    std::vector<NcfEncodingEntry> encodings;
    NcfStatusManagement status;
    std::optional<std::string> free_text;
};

struct NcfFile {
    std::string filename;
    std::string language_version;
    std::vector<NcfNodeDef> nodes;
};

}  // namespace tolvane
