// One-line text representations of the records, as repr() and str() give them.
#pragma once

#include <pybind11/pybind11.h>

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <vector>

#include "model/ncf_records.hpp"
#include "python/text.hpp"
#include "python/values.hpp"

namespace tolvane {

namespace detail {

// Collects the bytes of one representation. The way a value is written
// follows from its kind: text raw between single quotes, integers in
// decimal, a plain real as printf's %g does, a truth value as True or False;
// optional values, list elements and the severity as Python's own repr()
// shows them; a nested record in its own representation. The finished bytes
// become a str through the one text conversion of the module.
class ReprBuilder {
public:
    template <described_record Record>
    void record(const Record& value) {
        piece(Description<Record>::name).piece("(");
        bool first = true;
        for_each_field<Record>([&](const auto& described) {
            if (!described.shown_in_repr) {
                return;
            }
            piece(first ? "" : ", ").piece(described.name).piece("=");
            first = false;
            field_value(described.of(value));
        });
        piece(")");
    }

    pybind11::str finish() const { return python_text(text_); }

private:
    ReprBuilder& piece(std::string_view text) {
        text_.append(text);
        return *this;
    }

    void field_value(const std::string& text) { piece("'").piece(text).piece("'"); }
    void field_value(std::int32_t value) { piece(std::to_string(value)); }
    void field_value(std::uint64_t value) { piece(std::to_string(value)); }
    void field_value(bool value) { piece(value ? "True" : "False"); }
    // printf's %g with precision 6, independent of the locale.
    void field_value(double value) {
        char buffer[32];
        const auto result =
            std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
        piece(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
    }
    void field_value(Diagnostic::Severity severity) { python_repr(python_value(severity)); }
    template <class T>
    void field_value(const std::optional<T>& value) {
        if (value) {
            as_python_shows(*value);
        } else {
            piece("None");
        }
    }
    template <class T>
    void field_value(const std::vector<T>& values) {
        piece("[");
        for (std::size_t i = 0; i < values.size(); ++i) {
            piece(i == 0 ? "" : ", ");
            as_python_shows(values[i]);
        }
        piece("]");
    }
    // An element or a present optional value: a record in its own
    // representation, an integer in decimal (which is how Python shows an
    // int), anything else through Python's repr().
    template <class T>
    void as_python_shows(const T& value) {
        if constexpr (described_record<T>) {
            record(value);
        } else if constexpr (std::is_same_v<T, std::int32_t>) {
            piece(std::to_string(value));
        } else {
            python_repr(python_value(value));
        }
    }
    template <described_record Record>
    void field_value(const Record& nested) {
        record(nested);
    }

    void python_repr(const pybind11::handle& value) {
        Py_ssize_t size = 0;
        const pybind11::str text = pybind11::repr(value);
        const char* utf8 = PyUnicode_AsUTF8AndSize(text.ptr(), &size);
        if (utf8 == nullptr) {
            throw pybind11::error_already_set();
        }
        piece(std::string_view(utf8, static_cast<std::size_t>(size)));
    }

    std::string text_;
};

}  // namespace detail

// "Record(field=value, ...)" with the fields that the record's description
// marks as shown, each written the way its kind is written.
template <described_record Record>
pybind11::str repr_of(const Record& record) {
    detail::ReprBuilder builder;
    builder.record(record);
    return builder.finish();
}

}  // namespace tolvane
