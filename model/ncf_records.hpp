// The records of a parsed node capability file.
//
// Plain aggregates with public fields and no behaviour. Every record owns its
// whole subtree by value, so copying is deep and moving moves the subtree.
// Text is held as bytes exactly as the lexer delivered them (string literals
// are already UTF-8); names that refer to other parts of the file are plain
// text and are never resolved.
//
// Each record is followed by its description (record_description.hpp): the
// one place that says, for every consumer, which fields it has, what they
// mean and where their positions are kept. A record read from text knows
// where it began (`positions.start`) and where each of its values was read;
// a record or value the text never provided has position 0:0.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "diagnostic.hpp"
#include "record_description.hpp"
#include "source_position.hpp"

namespace tolvane {

// The initial value of a signal: a scalar, or a byte array written in braces.
struct NcfInitValue {
    bool is_array = false;
    std::int32_t scalar = 0;
    std::vector<std::int32_t> array_values;

    struct Positions {
        SourcePosition start;  // the `init_value` keyword
        SourcePosition scalar;
        std::vector<SourcePosition> array_values;
    } positions{};
};

template <>
struct Description<NcfInitValue> {
    using R = NcfInitValue;
    using P = R::Positions;
    static constexpr std::string_view name = "NcfInitValue";
    static constexpr std::tuple fields{
        shown(
            field("is_array", &R::is_array, &P::start, "True when the value is written as a list of bytes")),
        shown(field("scalar", &R::scalar, &P::scalar, "the value of the scalar form; 0 for a list")),
        shown(field("array_values", &R::array_values, &P::array_values,
                    "the bytes of the list form, in file order; empty for a scalar")),
    };
};
static_assert(described_completely<NcfInitValue>());

// The bit rate of a node; rates are in kbps as written.
struct NcfBitrateDefinition {
    std::string type;
    std::optional<double> min_br;
    std::optional<double> max_br;
    std::vector<double> rates;
    std::optional<double> fixed_rate;

    struct Positions {
        SourcePosition start;  // `automatic`, `select` or the fixed rate
        SourcePosition min_br;
        SourcePosition max_br;
        std::vector<SourcePosition> rates;
    } positions{};
};

template <>
struct Description<NcfBitrateDefinition> {
    using R = NcfBitrateDefinition;
    using P = R::Positions;
    static constexpr std::string_view name = "NcfBitrateDefinition";
    static constexpr std::tuple fields{
        shown(field("type", &R::type, &P::start,
                    "how the rate is given: \"automatic\", \"select\" or \"fixed\" (one rate)")),
        shown(field("min_br", &R::min_br, &P::min_br, "lowest rate of an automatic bit rate, in kbps")),
        shown(field("max_br", &R::max_br, &P::max_br, "highest rate of an automatic bit rate, in kbps")),
        shown(field("rates", &R::rates, &P::rates,
                    "the rates a select bit rate offers, in kbps, in file order")),
        shown(field("fixed_rate", &R::fixed_rate, &P::start, "the one rate of a fixed bit rate, in kbps")),
    };
};
static_assert(described_completely<NcfBitrateDefinition>());

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

    struct Positions {
        SourcePosition start;  // the `general` keyword
        SourcePosition protocol_version;
        SourcePosition supplier_id;
        SourcePosition function_id;
        SourcePosition variant_id;
        SourcePosition sends_wake_up_signal;
        SourcePosition volt_range;  // the statement's keyword
        SourcePosition volt_from;
        SourcePosition volt_to;
        SourcePosition temp_range;  // the statement's keyword
        SourcePosition temp_from;
        SourcePosition temp_to;
        SourcePosition conformance;
    } positions{};
};

template <>
struct Description<NcfGeneralDef> {
    using R = NcfGeneralDef;
    using P = R::Positions;
    static constexpr std::string_view name = "NcfGeneralDef";
    static constexpr std::tuple fields{
        shown(field("protocol_version", &R::protocol_version, &P::protocol_version,
                    "the LIN protocol version the node implements (`LIN_protocol_version`)")),
        shown(field("supplier_id", &R::supplier_id, &P::supplier_id, "the supplier ID (`supplier`)")),
        shown(field("function_id", &R::function_id, &P::function_id, "the function ID (`function`)")),
        shown(field("variant_id", &R::variant_id, &P::variant_id, "the variant ID (`variant`)")),
        field("bitrate", &R::bitrate, "the bit rates the node supports (`bitrate`)"),
        field("sends_wake_up_signal", &R::sends_wake_up_signal, &P::sends_wake_up_signal,
              "whether the node can send a wake-up signal"),
        field("volt_from", &R::volt_from, &P::volt_from, "lowest supply voltage, in V (`volt_range`)"),
        field("volt_to", &R::volt_to, &P::volt_to, "highest supply voltage, in V (`volt_range`)"),
        field("temp_from", &R::temp_from, &P::temp_from,
              "lowest operating temperature, in degrees Celsius (`temp_range`)"),
        field("temp_to", &R::temp_to, &P::temp_to,
              "highest operating temperature, in degrees Celsius (`temp_range`)"),
        field("conformance", &R::conformance, &P::conformance, "the conformance statement (`conformance`)"),
    };
    static constexpr std::tuple keywords{
        Keyword<P>{"volt_range", &P::volt_range},
        Keyword<P>{"temp_range", &P::temp_range},
    };
};
static_assert(described_completely<NcfGeneralDef>());

struct NcfDiagnosticDef {
    std::int32_t nad_lhs = 0;
    std::optional<std::int32_t> nad_rhs;
    std::vector<std::int32_t> nad_list;
    std::optional<std::int32_t> diagnostic_class;
    std::optional<double> p2_min;
    std::optional<double> st_min;
    std::optional<double> n_as_timeout;
    std::optional<double> n_cr_timeout;
    std::vector<std::int32_t> support_sids;
    std::optional<std::int32_t> max_message_length;

    struct Positions {
        SourcePosition start;  // the `diagnostic` keyword
        SourcePosition nad;    // the `NAD` keyword
        SourcePosition nad_lhs;
        SourcePosition nad_rhs;
        std::vector<SourcePosition> nad_list;
        SourcePosition diagnostic_class;
        SourcePosition p2_min;
        SourcePosition st_min;
        SourcePosition n_as_timeout;
        SourcePosition n_cr_timeout;
        SourcePosition support_sid;  // the `support_sid` keyword
        std::vector<SourcePosition> support_sids;
        SourcePosition max_message_length;
    } positions{};
};

template <>
struct Description<NcfDiagnosticDef> {
    using R = NcfDiagnosticDef;
    using P = R::Positions;
    static constexpr std::string_view name = "NcfDiagnosticDef";
    static constexpr std::tuple fields{
        shown(field("nad_lhs", &R::nad_lhs, &P::nad_lhs,
                    "the node address (NAD), or the first of a range or list")),
        shown(field("nad_rhs", &R::nad_rhs, &P::nad_rhs, "the last NAD of a range (`NAD = a to b`)")),
        field("nad_list", &R::nad_list, &P::nad_list,
              "the second and later NADs of a list (`NAD = a, b, c`)"),
        field("diagnostic_class", &R::diagnostic_class, &P::diagnostic_class,
              "the diagnostic class, 1 to 3 (`diagnostic_class`)"),
        field("p2_min", &R::p2_min, &P::p2_min, "`P2_min`, in ms"),
        field("st_min", &R::st_min, &P::st_min, "`ST_min`, in ms"),
        field("n_as_timeout", &R::n_as_timeout, &P::n_as_timeout, "`N_As_timeout`, in ms"),
        field("n_cr_timeout", &R::n_cr_timeout, &P::n_cr_timeout, "`N_Cr_timeout`, in ms"),
        field("support_sids", &R::support_sids, &P::support_sids,
              "the diagnostic service IDs the node supports (`support_sid`), in file order"),
        field("max_message_length", &R::max_message_length, &P::max_message_length,
              "the longest diagnostic message, in bytes (`max_message_length`)"),
    };
    static constexpr std::tuple keywords{
        Keyword<P>{"NAD", &P::nad},
        Keyword<P>{"support_sid", &P::support_sid},
    };
};
static_assert(described_completely<NcfDiagnosticDef>());

struct NcfSignalProperties {
    NcfInitValue init_value;
    std::int32_t size = 0;
    std::int32_t offset = 0;
    std::optional<std::string> encoding_name;

    struct Positions {
        SourcePosition start;  // the first statement after the signal's "{"
        SourcePosition size;
        SourcePosition offset;
        SourcePosition encoding_name;
    } positions{};
};

template <>
struct Description<NcfSignalProperties> {
    using R = NcfSignalProperties;
    using P = R::Positions;
    static constexpr std::string_view name = "NcfSignalProperties";
    static constexpr std::tuple fields{
        field("init_value", &R::init_value, "the signal's initial value (`init_value`)"),
        shown(field("size", &R::size, &P::size, "the signal's size in bits (`size`)")),
        shown(field("offset", &R::offset, &P::offset, "the frame bit at which the signal begins (`offset`)")),
        shown(field("encoding_name", &R::encoding_name, &P::encoding_name,
                    "the name of the encoding the signal uses, as written (not looked up)")),
    };
};
static_assert(described_completely<NcfSignalProperties>());

struct NcfSignalDef {
    std::string name;
    NcfSignalProperties properties;

    struct Positions {
        SourcePosition start;  // the signal's name
    } positions{};
};

template <>
struct Description<NcfSignalDef> {
    using R = NcfSignalDef;
    using P = R::Positions;
    static constexpr std::string_view name = "NcfSignalDef";
    static constexpr std::tuple fields{
        shown(field("name", &R::name, &P::start, "the signal's name")),
        shown(field("properties", &R::properties, "its size, initial value, offset and encoding")),
    };
};
static_assert(described_completely<NcfSignalDef>());

// The properties of one frame; the frame's signals live in NcfSingleFrame.
struct NcfFrameProperties {
    std::int32_t length = 0;
    std::optional<std::int32_t> min_period;
    std::optional<std::int32_t> max_period;
    std::optional<std::string> event_triggered_frame;

    struct Positions {
        SourcePosition start;  // the `length` keyword
        SourcePosition length;
        SourcePosition min_period;
        SourcePosition max_period;
        SourcePosition event_triggered_frame;
    } positions{};
};

template <>
struct Description<NcfFrameProperties> {
    using R = NcfFrameProperties;
    using P = R::Positions;
    static constexpr std::string_view name = "NcfFrameProperties";
    static constexpr std::tuple fields{
        shown(field("length", &R::length, &P::length, "the number of data bytes (`length`)")),
        field("min_period", &R::min_period, &P::min_period, "the shortest period, in ms (`min_period`)"),
        field("max_period", &R::max_period, &P::max_period, "the longest period, in ms (`max_period`)"),
        field("event_triggered_frame", &R::event_triggered_frame, &P::event_triggered_frame,
              "the name of the event-triggered frame that carries this one, as written"),
    };
};
static_assert(described_completely<NcfFrameProperties>());

struct NcfSingleFrame {
    std::string kind;
    std::string name;
    NcfFrameProperties properties;
    std::vector<NcfSignalDef> signals;

    struct Positions {
        SourcePosition start;  // `publish` or `subscribe`
        SourcePosition name;
    } positions{};
};

template <>
struct Description<NcfSingleFrame> {
    using R = NcfSingleFrame;
    using P = R::Positions;
    static constexpr std::string_view name = "NcfSingleFrame";
    static constexpr std::tuple fields{
        shown(field("kind", &R::kind, &P::start,
                    "\"publish\" or \"subscribe\": whether the node sends or receives the frame")),
        shown(field("name", &R::name, &P::name, "the frame's name")),
        field("properties", &R::properties, "its length, periods and event-triggered frame"),
        field("signals", &R::signals, "its signals, in file order"),
    };
};
static_assert(described_completely<NcfSingleFrame>());

// A logical value line of an encoding, `logical_value, raw [, "text"];`.
// Its values share the position of their line, the one statement they make
// up (the tree keeps several such lines per encoding).
struct NcfLogicalValue {
    std::int32_t signal_value = 0;
    std::optional<std::string> text_info;

    struct Positions {
        SourcePosition start;  // the `logical_value` keyword
    } positions{};
};

template <>
struct Description<NcfLogicalValue> {
    using R = NcfLogicalValue;
    using P = R::Positions;
    static constexpr std::string_view name = "NcfLogicalValue";
    static constexpr std::tuple fields{
        shown(field("signal_value", &R::signal_value, &P::start, "the raw value")),
        shown(field("text_info", &R::text_info, &P::start, "what the raw value means")),
    };
};
static_assert(described_completely<NcfLogicalValue>());

// A physical range line, `physical_value, min, max, scale, offset [, "text"];`.
// Its values share the position of their line, as a logical value's do.
struct NcfPhysicalRange {
    std::int32_t min_value = 0;
    std::int32_t max_value = 0;
    double scale = 0.0;
    double offset_val = 0.0;
    std::optional<std::string> text_info;

    struct Positions {
        SourcePosition start;  // the `physical_value` keyword
    } positions{};
};

template <>
struct Description<NcfPhysicalRange> {
    using R = NcfPhysicalRange;
    using P = R::Positions;
    static constexpr std::string_view name = "NcfPhysicalRange";
    static constexpr std::tuple fields{
        shown(field("min_value", &R::min_value, &P::start, "the lowest raw value of the range")),
        shown(field("max_value", &R::max_value, &P::start, "the highest raw value of the range")),
        shown(field("scale", &R::scale, &P::start, "the factor from raw to physical value")),
        shown(field("offset_val", &R::offset_val, &P::start, "the offset added after scaling")),
        field("text_info", &R::text_info, &P::start, "the unit or a description"),
    };
};
static_assert(described_completely<NcfPhysicalRange>());

// One value line of an encoding: exactly one of the optional parts is present
// for "logical" and "physical", neither for "bcd" and "ascii".
struct NcfEncodingValue {
    std::string type;
    std::optional<NcfLogicalValue> logical_value;
    std::optional<NcfPhysicalRange> physical_range;

    struct Positions {
        SourcePosition start;  // the value line's keyword
    } positions{};
};

template <>
struct Description<NcfEncodingValue> {
    using R = NcfEncodingValue;
    using P = R::Positions;
    static constexpr std::string_view name = "NcfEncodingValue";
    static constexpr std::tuple fields{
        shown(field(
            "type", &R::type, &P::start,
            "the kind of value line: \"logical\", \"physical\", \"bcd\" or \"ascii\" (from its keyword)")),
        field("logical_value", &R::logical_value, "the line's raw value and text, for a logical value line"),
        field("physical_range", &R::physical_range,
              "the line's range, scale and offset, for a physical line"),
    };
};
static_assert(described_completely<NcfEncodingValue>());

struct NcfEncodingEntry {
    std::string name;
    std::vector<NcfEncodingValue> values;

    struct Positions {
        SourcePosition start;  // the encoding's name
    } positions{};
};

template <>
struct Description<NcfEncodingEntry> {
    using R = NcfEncodingEntry;
    using P = R::Positions;
    static constexpr std::string_view name = "NcfEncodingEntry";
    static constexpr std::tuple fields{
        shown(field("name", &R::name, &P::start, "the encoding's name")),
        field("values", &R::values, "its value lines, in file order"),
    };
};
static_assert(described_completely<NcfEncodingEntry>());

struct NcfStatusManagement {
    std::string response_error;
    std::vector<std::string> fault_state_signals;

    struct Positions {
        SourcePosition start;  // the `status_management` keyword
        SourcePosition response_error;
        std::vector<SourcePosition> fault_state_signals;
    } positions{};
};

template <>
struct Description<NcfStatusManagement> {
    using R = NcfStatusManagement;
    using P = R::Positions;
    static constexpr std::string_view name = "NcfStatusManagement";
    static constexpr std::tuple fields{
        shown(field("response_error", &R::response_error, &P::response_error,
                    "the name of the signal that reports a response error, as written")),
        field("fault_state_signals", &R::fault_state_signals, &P::fault_state_signals,
              "the names of the fault-state signals, as written, in file order"),
    };
};
static_assert(described_completely<NcfStatusManagement>());

struct NcfNodeDef {
    std::string name;
    NcfGeneralDef general;
    NcfDiagnosticDef diagnostic;
    std::vector<NcfSingleFrame> frames;
    std::vector<NcfEncodingEntry> encodings;
    NcfStatusManagement status;
    std::optional<std::string> free_text;

    struct Positions {
        SourcePosition start;  // the `node` keyword
        SourcePosition name;
        SourcePosition free_text;
    } positions{};
};

template <>
struct Description<NcfNodeDef> {
    using R = NcfNodeDef;
    using P = R::Positions;
    static constexpr std::string_view name = "NcfNodeDef";
    static constexpr std::tuple fields{
        shown(field("name", &R::name, &P::name, "the node's name")),
        field("general", &R::general, "the `general` section"),
        field("diagnostic", &R::diagnostic, "the `diagnostic` section"),
        field("frames", &R::frames, "the frames of the `frames` section, in file order"),
        field("encodings", &R::encodings, "the encodings of the `encoding` section; empty without one"),
        field("status", &R::status, "the `status_management` section"),
        field("free_text", &R::free_text, &P::free_text, "the text of the `free_text` section"),
    };
};
static_assert(described_completely<NcfNodeDef>());

struct NcfFile {
    std::string filename;
    std::string language_version;
    std::vector<NcfNodeDef> nodes;

    struct Positions {
        SourcePosition start;  // the first token
        SourcePosition language_version;
    } positions{};
};

template <>
struct Description<NcfFile> {
    using R = NcfFile;
    using P = R::Positions;
    static constexpr std::string_view name = "NcfFile";
    static constexpr std::tuple fields{
        shown(field("filename", &R::filename, "the file name the parser was given")),
        shown(field("language_version", &R::language_version, &P::language_version,
                    "the LIN language version of the file (`LIN_language_version`)")),
        shown(field("nodes", &R::nodes, "the nodes, in file order")),
    };
};
static_assert(described_completely<NcfFile>());

// Every record type, in the order the Python module registers them: each
// comes before the records that hold it.
using AllRecords = std::tuple<Diagnostic, NcfInitValue, NcfBitrateDefinition, NcfGeneralDef, NcfDiagnosticDef,
                              NcfSignalProperties, NcfSignalDef, NcfFrameProperties, NcfSingleFrame,
                              NcfLogicalValue, NcfPhysicalRange, NcfEncodingValue, NcfEncodingEntry,
                              NcfStatusManagement, NcfNodeDef, NcfFile>;

}  // namespace tolvane
