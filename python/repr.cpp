#include "python/repr.hpp"

#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "python/text.hpp"

namespace py = pybind11;

namespace tolvane {

namespace {

// Collects the bytes of one representation. Text fields go in raw; values
// shown "as Python shows them" go through Python's own repr(). The finished
// bytes become a str through the one text conversion of the module.
class ReprBuilder {
public:
    ReprBuilder& piece(std::string_view text) {
        text_.append(text);
        return *this;
    }
    ReprBuilder& integer(std::int64_t value) { return piece(std::to_string(value)); }
    ReprBuilder& unsigned_integer(std::uint64_t value) { return piece(std::to_string(value)); }
    // printf's %g with precision 6, independent of the locale.
    ReprBuilder& real(double value) {
        char buffer[32];
        const auto result =
            std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
        return piece(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
    }
    ReprBuilder& truth(bool value) { return piece(value ? "True" : "False"); }
    ReprBuilder& python_repr(const py::handle& value) {
        Py_ssize_t size = 0;
        const py::str text = py::repr(value);
        const char* utf8 = PyUnicode_AsUTF8AndSize(text.ptr(), &size);
        if (utf8 == nullptr) {
            throw py::error_already_set();
        }
        return piece(std::string_view(utf8, static_cast<std::size_t>(size)));
    }
    ReprBuilder& optional_integer(const std::optional<std::int32_t>& value) {
        return value ? integer(*value) : piece("None");
    }
    ReprBuilder& optional_real(const std::optional<double>& value) {
        return value ? python_repr(py::float_(*value)) : piece("None");
    }
    ReprBuilder& optional_text(const std::optional<std::string>& value) {
        return value ? python_repr(python_text(*value)) : piece("None");
    }
    ReprBuilder& integer_list(const std::vector<std::int32_t>& values) {
        piece("[");
        for (std::size_t i = 0; i < values.size(); ++i) {
            piece(i == 0 ? "" : ", ").integer(values[i]);
        }
        return piece("]");
    }
    ReprBuilder& real_list(const std::vector<double>& values) {
        piece("[");
        for (std::size_t i = 0; i < values.size(); ++i) {
            piece(i == 0 ? "" : ", ").python_repr(py::float_(values[i]));
        }
        return piece("]");
    }
    // A nested record in its own representation.
    template <class Record>
    ReprBuilder& nested(const Record& record) {
        append_repr(*this, record);
        return *this;
    }

    py::str finish() const { return python_text(text_); }

private:
    std::string text_;
};

void append_repr(ReprBuilder& builder, const Diagnostic& record) {
    builder.piece("Diagnostic(severity=")
        .python_repr(py::cast(record.severity))
        .piece(", file='")
        .piece(record.file)
        .piece("', line=")
        .unsigned_integer(record.line)
        .piece(", column=")
        .unsigned_integer(record.column)
        .piece(", message='")
        .piece(record.message)
        .piece("')");
}

void append_repr(ReprBuilder& builder, const NcfInitValue& record) {
    builder.piece("NcfInitValue(is_array=")
        .truth(record.is_array)
        .piece(", scalar=")
        .integer(record.scalar)
        .piece(", array_values=")
        .integer_list(record.array_values)
        .piece(")");
}

void append_repr(ReprBuilder& builder, const NcfBitrateDefinition& record) {
    builder.piece("NcfBitrateDefinition(type='")
        .piece(record.type)
        .piece("', min_br=")
        .optional_real(record.min_br)
        .piece(", max_br=")
        .optional_real(record.max_br)
        .piece(", rates=")
        .real_list(record.rates)
        .piece(", fixed_rate=")
        .optional_real(record.fixed_rate)
        .piece(")");
}

void append_repr(ReprBuilder& builder, const NcfGeneralDef& record) {
    builder.piece("NcfGeneralDef(protocol_version='")
        .piece(record.protocol_version)
        .piece("', supplier_id=")
        .integer(record.supplier_id)
        .piece(", function_id=")
        .integer(record.function_id)
        .piece(", variant_id=")
        .integer(record.variant_id)
        .piece(")");
}

void append_repr(ReprBuilder& builder, const NcfDiagnosticDef& record) {
    builder.piece("NcfDiagnosticDef(nad_lhs=")
        .integer(record.nad_lhs)
        .piece(", nad_rhs=")
        .optional_integer(record.nad_rhs)
        .piece(")");
}

void append_repr(ReprBuilder& builder, const NcfSignalProperties& record) {
    builder.piece("NcfSignalProperties(size=")
        .integer(record.size)
        .piece(", offset=")
        .integer(record.offset)
        .piece(", encoding_name=")
        .optional_text(record.encoding_name)
        .piece(")");
}

void append_repr(ReprBuilder& builder, const NcfSignalDef& record) {
    builder.piece("NcfSignalDef(name='")
        .piece(record.name)
        .piece("', properties=")
        .nested(record.properties)
        .piece(")");
}

void append_repr(ReprBuilder& builder, const NcfFrameProperties& record) {
    builder.piece("NcfFrameProperties(length=").integer(record.length).piece(")");
}

void append_repr(ReprBuilder& builder, const NcfSingleFrame& record) {
    builder.piece("NcfSingleFrame(kind='")
        .piece(record.kind)
        .piece("', name='")
        .piece(record.name)
        .piece("')");
}

void append_repr(ReprBuilder& builder, const NcfLogicalValue& record) {
    builder.piece("NcfLogicalValue(signal_value=")
        .integer(record.signal_value)
        .piece(", text_info=")
        .optional_text(record.text_info)
        .piece(")");
}

void append_repr(ReprBuilder& builder, const NcfPhysicalRange& record) {
    builder.piece("NcfPhysicalRange(min_value=")
        .integer(record.min_value)
        .piece(", max_value=")
        .integer(record.max_value)
        .piece(", scale=")
        .real(record.scale)
        .piece(", offset_val=")
        .real(record.offset_val)
        .piece(")");
}

void append_repr(ReprBuilder& builder, const NcfEncodingValue& record) {
    builder.piece("NcfEncodingValue(type='").piece(record.type).piece("')");
}

void append_repr(ReprBuilder& builder, const NcfEncodingEntry& record) {
    builder.piece("NcfEncodingEntry(name='").piece(record.name).piece("')");
}

void append_repr(ReprBuilder& builder, const NcfStatusManagement& record) {
    builder.piece("NcfStatusManagement(response_error='").piece(record.response_error).piece("')");
}

void append_repr(ReprBuilder& builder, const NcfNodeDef& record) {
    builder.piece("NcfNodeDef(name='").piece(record.name).piece("')");
}

void append_repr(ReprBuilder& builder, const NcfFile& record) {
    builder.piece("NcfFile(filename='")
        .piece(record.filename)
        .piece("', language_version='")
        .piece(record.language_version)
        .piece("', nodes=[");
    for (std::size_t i = 0; i < record.nodes.size(); ++i) {
        builder.piece(i == 0 ? "" : ", ").nested(record.nodes[i]);
    }
    builder.piece("])");
}

template <class Record>
py::str representation(const Record& record) {
    ReprBuilder builder;
    append_repr(builder, record);
    return builder.finish();
}

}  // namespace

py::str repr_of(const Diagnostic& record) {
    return representation(record);
}
py::str repr_of(const NcfInitValue& record) {
    return representation(record);
}
py::str repr_of(const NcfBitrateDefinition& record) {
    return representation(record);
}
py::str repr_of(const NcfGeneralDef& record) {
    return representation(record);
}
py::str repr_of(const NcfDiagnosticDef& record) {
    return representation(record);
}
py::str repr_of(const NcfSignalProperties& record) {
    return representation(record);
}
py::str repr_of(const NcfSignalDef& record) {
    return representation(record);
}
py::str repr_of(const NcfFrameProperties& record) {
    return representation(record);
}
py::str repr_of(const NcfSingleFrame& record) {
    return representation(record);
}
py::str repr_of(const NcfLogicalValue& record) {
    return representation(record);
}
py::str repr_of(const NcfPhysicalRange& record) {
    return representation(record);
}
py::str repr_of(const NcfEncodingValue& record) {
    return representation(record);
}
py::str repr_of(const NcfEncodingEntry& record) {
    return representation(record);
}
py::str repr_of(const NcfStatusManagement& record) {
    return representation(record);
}
py::str repr_of(const NcfNodeDef& record) {
    return representation(record);
}
py::str repr_of(const NcfFile& record) {
    return representation(record);
}

}  // namespace tolvane
