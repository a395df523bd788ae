#include "fuzz/record_text.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "fuzz/fail.hpp"

namespace tolvane::fuzz {

namespace {

// Every overload is declared before the templates that call them, so that
// lookup from inside a template finds them all.
void write_value(std::string& out, bool value);
void write_value(std::string& out, std::int32_t value);
void write_value(std::string& out, std::uint64_t value);
void write_value(std::string& out, double value);
void write_value(std::string& out, const std::string& text);
void write_value(std::string& out, Diagnostic::Severity severity);
void write_value(std::string& out, const NcfInitValue& record);
void write_value(std::string& out, const NcfBitrateDefinition& record);
void write_value(std::string& out, const NcfGeneralDef& record);
void write_value(std::string& out, const NcfDiagnosticDef& record);
void write_value(std::string& out, const NcfSignalProperties& record);
void write_value(std::string& out, const NcfSignalDef& record);
void write_value(std::string& out, const NcfFrameProperties& record);
void write_value(std::string& out, const NcfSingleFrame& record);
void write_value(std::string& out, const NcfLogicalValue& record);
void write_value(std::string& out, const NcfPhysicalRange& record);
void write_value(std::string& out, const NcfEncodingValue& record);
void write_value(std::string& out, const NcfEncodingEntry& record);
void write_value(std::string& out, const NcfStatusManagement& record);
void write_value(std::string& out, const NcfNodeDef& record);

template <class T>
void write_value(std::string& out, const std::optional<T>& value) {
    if (value) {
        write_value(out, *value);
    } else {
        out.append("None");
    }
}

template <class T>
void write_value(std::string& out, const std::vector<T>& values) {
    out.push_back('[');
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i != 0) {
            out.append(", ");
        }
        write_value(out, values[i]);
    }
    out.push_back(']');
}

// Writes "Record(name=value, name=value, ...)": the opening on construction,
// one call per field, the closing parenthesis on destruction.
class Fields {
public:
    Fields(std::string& out, std::string_view record) : out_(out) { out_.append(record).push_back('('); }
    Fields(const Fields&) = delete;
    Fields& operator=(const Fields&) = delete;
    ~Fields() { out_.push_back(')'); }

    template <class T>
    void add(std::string_view name, const T& value) {
        if (!first_) {
            out_.append(", ");
        }
        first_ = false;
        out_.append(name).push_back('=');
        write_value(out_, value);
    }

private:
    std::string& out_;
    bool first_ = true;
};

// The length of the well-formed UTF-8 sequence at the start of `bytes`, or 0
// (Python's strict decoder: no overlong forms, no surrogates, nothing above
// U+10FFFF). Python shows text that fails here with \xNN escapes.
std::size_t utf8_sequence_length(std::string_view bytes) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const auto continuation = [&](std::size_t i) { return i < bytes.size() && (byte(i) & 0xC0) == 0x80; };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return continuation(1) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (!continuation(1) || !continuation(2)) {
            return 0;
        }
        const bool overlong = lead == 0xE0 && byte(1) < 0xA0;
        const bool surrogate = lead == 0xED && byte(1) >= 0xA0;
        return overlong || surrogate ? 0 : 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (!continuation(1) || !continuation(2) || !continuation(3)) {
            return 0;
        }
        const bool overlong = lead == 0xF0 && byte(1) < 0x90;
        const bool too_large = lead == 0xF4 && byte(1) >= 0x90;
        return overlong || too_large ? 0 : 4;
    }
    return 0;
}

void write_hex_escape(std::string& out, unsigned char byte) {
    constexpr std::string_view digits = "0123456789abcdef";
    out.append("\\x").push_back(digits[byte >> 4]);
    out.push_back(digits[byte & 0x0F]);
}

// A text as Python shows a str: quoted, with backslash, quote and control
// characters escaped, and every byte outside a valid UTF-8 sequence as \xNN.
void write_value(std::string& out, const std::string& text) {
    out.push_back('\'');
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t length = utf8_sequence_length(rest);
        const auto lead = static_cast<unsigned char>(rest[0]);
        if (length == 0) {
            write_hex_escape(out, lead);
            rest.remove_prefix(1);
            continue;
        }
        if (lead == '\\' || lead == '\'') {
            out.push_back('\\');
            out.push_back(rest[0]);
        } else if (lead == '\n') {
            out.append("\\n");
        } else if (lead < 0x20 || lead == 0x7F) {
            write_hex_escape(out, lead);
        } else {
            out.append(rest.substr(0, length));
        }
        rest.remove_prefix(length);
    }
    out.push_back('\'');
}

void write_value(std::string& out, bool value) {
    out.append(value ? "True" : "False");
}

void write_value(std::string& out, std::int32_t value) {
    out.append(std::to_string(value));
}

void write_value(std::string& out, std::uint64_t value) {
    out.append(std::to_string(value));
}

// Every real in a tree is finite: a number that overflows reads as 0.0, and
// no token spells an infinity or a NaN.
void write_value(std::string& out, double value) {
    require(std::isfinite(value), "a real field holds an infinity or a NaN");
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    require(result.ec == std::errc{}, "a real field does not format");
    const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
    out.append(text);
    if (text.find_first_of(".e") == std::string_view::npos) {
        out.append(".0");  // Python shows a float with a point
    }
}

void write_value(std::string& out, Diagnostic::Severity severity) {
    switch (severity) {
        case Diagnostic::Severity::Error:
            out.append("<Severity.Error: 0>");
            return;
        case Diagnostic::Severity::Warning:
            out.append("<Severity.Warning: 1>");
            return;
        case Diagnostic::Severity::Info:
            out.append("<Severity.Info: 2>");
            return;
    }
    fail("a diagnostic has a severity outside the enumeration");
}

// The initial value is in exactly one of its two forms.
void write_value(std::string& out, const NcfInitValue& record) {
    if (record.is_array) {
        require(record.scalar == 0 && !record.array_values.empty(), "an array init value has a scalar part");
    } else {
        require(record.array_values.empty(), "a scalar init value has array values");
    }
    Fields fields(out, "NcfInitValue");
    fields.add("is_array", record.is_array);
    fields.add("scalar", record.scalar);
    fields.add("array_values", record.array_values);
}

// The bit rate's type says which of its fields are set.
void write_value(std::string& out, const NcfBitrateDefinition& record) {
    const bool fixed = record.type == "fixed";
    const bool select = record.type == "select";
    const bool automatic = record.type == "automatic";
    require(fixed || select || automatic, "a bit rate has no known type");
    require(record.fixed_rate.has_value() == fixed, "only a fixed bit rate has a fixed rate");
    require(record.rates.empty() != select, "exactly a select bit rate has rates");
    require(automatic || (!record.min_br && !record.max_br), "only an automatic bit rate has limits");
    Fields fields(out, "NcfBitrateDefinition");
    fields.add("type", record.type);
    fields.add("min_br", record.min_br);
    fields.add("max_br", record.max_br);
    fields.add("rates", record.rates);
    fields.add("fixed_rate", record.fixed_rate);
}

void write_value(std::string& out, const NcfGeneralDef& record) {
    require(record.volt_from.has_value() == record.volt_to.has_value(), "a voltage range has one end");
    require(record.temp_from.has_value() == record.temp_to.has_value(), "a temperature range has one end");
    Fields fields(out, "NcfGeneralDef");
    fields.add("protocol_version", record.protocol_version);
    fields.add("supplier_id", record.supplier_id);
    fields.add("function_id", record.function_id);
    fields.add("variant_id", record.variant_id);
    fields.add("bitrate", record.bitrate);
    fields.add("sends_wake_up_signal", record.sends_wake_up_signal);
    fields.add("volt_from", record.volt_from);
    fields.add("volt_to", record.volt_to);
    fields.add("temp_from", record.temp_from);
    fields.add("temp_to", record.temp_to);
    fields.add("conformance", record.conformance);
}

void write_value(std::string& out, const NcfDiagnosticDef& record) {
    require(!(record.nad_rhs && !record.nad_list.empty()), "a NAD is both a range and a list");
    Fields fields(out, "NcfDiagnosticDef");
    fields.add("nad_lhs", record.nad_lhs);
    fields.add("nad_rhs", record.nad_rhs);
    fields.add("nad_list", record.nad_list);
    fields.add("diagnostic_class", record.diagnostic_class);
    fields.add("p2_min", record.p2_min);
    fields.add("st_min", record.st_min);
    fields.add("n_as_timeout", record.n_as_timeout);
    fields.add("n_cr_timeout", record.n_cr_timeout);
    fields.add("support_sids", record.support_sids);
    fields.add("max_message_length", record.max_message_length);
}

void write_value(std::string& out, const NcfSignalProperties& record) {
    Fields fields(out, "NcfSignalProperties");
    fields.add("init_value", record.init_value);
    fields.add("size", record.size);
    fields.add("offset", record.offset);
    fields.add("encoding_name", record.encoding_name);
}

void write_value(std::string& out, const NcfSignalDef& record) {
    Fields fields(out, "NcfSignalDef");
    fields.add("name", record.name);
    fields.add("properties", record.properties);
}

void write_value(std::string& out, const NcfFrameProperties& record) {
    Fields fields(out, "NcfFrameProperties");
    fields.add("length", record.length);
    fields.add("min_period", record.min_period);
    fields.add("max_period", record.max_period);
    fields.add("event_triggered_frame", record.event_triggered_frame);
}

void write_value(std::string& out, const NcfSingleFrame& record) {
    require(record.kind == "publish" || record.kind == "subscribe",
            "a frame is neither published nor subscribed");
    Fields fields(out, "NcfSingleFrame");
    fields.add("kind", record.kind);
    fields.add("name", record.name);
    fields.add("properties", record.properties);
    fields.add("signals", record.signals);
}

void write_value(std::string& out, const NcfLogicalValue& record) {
    Fields fields(out, "NcfLogicalValue");
    fields.add("signal_value", record.signal_value);
    fields.add("text_info", record.text_info);
}

void write_value(std::string& out, const NcfPhysicalRange& record) {
    Fields fields(out, "NcfPhysicalRange");
    fields.add("min_value", record.min_value);
    fields.add("max_value", record.max_value);
    fields.add("scale", record.scale);
    fields.add("offset_val", record.offset_val);
    fields.add("text_info", record.text_info);
}

// A value line holds the part its type names, and no other.
void write_value(std::string& out, const NcfEncodingValue& record) {
    const bool logical = record.type == "logical";
    const bool physical = record.type == "physical";
    require(logical || physical || record.type == "bcd" || record.type == "ascii",
            "an encoding value has no known type");
    require(record.logical_value.has_value() == logical, "only a logical value line has a logical value");
    require(record.physical_range.has_value() == physical, "only a physical value line has a physical range");
    Fields fields(out, "NcfEncodingValue");
    fields.add("type", record.type);
    fields.add("logical_value", record.logical_value);
    fields.add("physical_range", record.physical_range);
}

void write_value(std::string& out, const NcfEncodingEntry& record) {
    Fields fields(out, "NcfEncodingEntry");
    fields.add("name", record.name);
    fields.add("values", record.values);
}

void write_value(std::string& out, const NcfStatusManagement& record) {
    Fields fields(out, "NcfStatusManagement");
    fields.add("response_error", record.response_error);
    fields.add("fault_state_signals", record.fault_state_signals);
}

void write_value(std::string& out, const NcfNodeDef& record) {
    Fields fields(out, "NcfNodeDef");
    fields.add("name", record.name);
    fields.add("general", record.general);
    fields.add("diagnostic", record.diagnostic);
    fields.add("frames", record.frames);
    fields.add("encodings", record.encodings);
    fields.add("status", record.status);
    fields.add("free_text", record.free_text);
}

void write_value(std::string& out, const NcfFile& record) {
    Fields fields(out, "NcfFile");
    fields.add("filename", record.filename);
    fields.add("language_version", record.language_version);
    fields.add("nodes", record.nodes);
}

void write_value(std::string& out, const Diagnostic& record) {
    Fields fields(out, "Diagnostic");
    fields.add("severity", record.severity);
    fields.add("file", record.file);
    fields.add("line", record.line);
    fields.add("column", record.column);
    fields.add("message", record.message);
}

}  // namespace

std::string record_text(const NcfFile& file) {
    std::string out;
    write_value(out, file);
    return out;
}

std::string record_text(const Diagnostic& diagnostic) {
    std::string out;
    write_value(out, diagnostic);
    return out;
}

}  // namespace tolvane::fuzz
