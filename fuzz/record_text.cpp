#include "fuzz/record_text.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>
#include <type_traits>
#include <vector>

#include "fuzz/fail.hpp"

namespace tolvane::fuzz {

namespace {

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
void write_text(std::string& out, const std::string& text) {
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

// Every real in a tree is finite: a number that overflows reads as 0.0, and
// no token spells an infinity or a NaN.
void write_real(std::string& out, double value) {
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

void write_severity(std::string& out, Diagnostic::Severity severity) {
    switch (severity) {
        case Diagnostic::Severity::Error:
        case Diagnostic::Severity::Warning:
        case Diagnostic::Severity::Info:
            out.append("<Severity.").append(severity_name(severity)).append(": ");
            out.append(std::to_string(static_cast<int>(severity))).append(">");
            return;
    }
    fail("a diagnostic has a severity outside the enumeration");
}

// What must hold of a record whatever the input, beyond its fields' types.
void check_record(const NcfInitValue& record) {
    // The initial value is in exactly one of its two forms.
    if (record.is_array) {
        require(record.scalar == 0 && !record.array_values.empty(), "an array init value has a scalar part");
    } else {
        require(record.array_values.empty(), "a scalar init value has array values");
    }
}

void check_record(const NcfBitrateDefinition& record) {
    // The bit rate's type says which of its fields are set. The lenient
    // reading leaves the starting record where the statement is missing.
    const bool fixed = record.type == "fixed";
    const bool select = record.type == "select";
    const bool automatic = record.type == "automatic";
    const bool untouched = record.type.empty() && !record.fixed_rate && record.rates.empty() &&
                           !record.min_br && !record.max_br && !record.positions.start.known();
    require(fixed || select || automatic || untouched, "a bit rate has no known type");
    require(record.fixed_rate.has_value() == fixed, "only a fixed bit rate has a fixed rate");
    require(record.rates.empty() != select, "exactly a select bit rate has rates");
    require(automatic || (!record.min_br && !record.max_br), "only an automatic bit rate has limits");
}

void check_record(const NcfGeneralDef& record) {
    require(record.volt_from.has_value() == record.volt_to.has_value(), "a voltage range has one end");
    require(record.temp_from.has_value() == record.temp_to.has_value(), "a temperature range has one end");
}

void check_record(const NcfDiagnosticDef& record) {
    require(!(record.nad_rhs && !record.nad_list.empty()), "a NAD is both a range and a list");
}

void check_record(const NcfSingleFrame& record) {
    require(record.kind == "publish" || record.kind == "subscribe",
            "a frame is neither published nor subscribed");
}

void check_record(const NcfEncodingValue& record) {
    // A value line holds the part its type names, and no other.
    const bool logical = record.type == "logical";
    const bool physical = record.type == "physical";
    require(logical || physical || record.type == "bcd" || record.type == "ascii",
            "an encoding value has no known type");
    require(record.logical_value.has_value() == logical, "only a logical value line has a logical value");
    require(record.physical_range.has_value() == physical, "only a physical value line has a physical range");
}

template <class Record>
void check_record(const Record& /*record*/) {}

// Writes "Record(name=value, name=value, ...)" with every field of the
// record's description, checking the record on the way.
class RecordWriter {
public:
    explicit RecordWriter(std::string& out) : out_(out) {}

    template <described_record Record>
    void record(const Record& value) {
        check_record(value);
        out_.append(Description<Record>::name).push_back('(');
        bool first = true;
        for_each_field<Record>([&](const auto& described) {
            out_.append(first ? "" : ", ").append(described.name).push_back('=');
            first = false;
            field_value(described.of(value));
        });
        out_.push_back(')');
    }

private:
    template <class Value>
    void field_value(const Value& value) {
        if constexpr (described_record<Value>) {
            record(value);
        } else if constexpr (is_optional<Value>::value) {
            if (value) {
                field_value(*value);
            } else {
                out_.append("None");
            }
        } else if constexpr (is_list<Value>::value) {
            out_.push_back('[');
            for (std::size_t i = 0; i < value.size(); ++i) {
                out_.append(i == 0 ? "" : ", ");
                field_value(value[i]);
            }
            out_.push_back(']');
        } else if constexpr (std::is_same_v<Value, std::string>) {
            write_text(out_, value);
        } else if constexpr (std::is_same_v<Value, bool>) {
            out_.append(value ? "True" : "False");
        } else if constexpr (std::is_same_v<Value, double>) {
            write_real(out_, value);
        } else if constexpr (std::is_same_v<Value, Diagnostic::Severity>) {
            write_severity(out_, value);
        } else {
            static_assert(std::is_integral_v<Value>, "a field of a kind the walk does not know");
            out_.append(std::to_string(value));
        }
    }

    std::string& out_;
};

}  // namespace

std::string record_text(const NcfFile& file) {
    std::string out;
    RecordWriter(out).record(file);
    return out;
}

std::string record_text(const Diagnostic& diagnostic) {
    std::string out;
    RecordWriter(out).record(diagnostic);
    return out;
}

}  // namespace tolvane::fuzz
