// Field values as Python objects, the one conversion that the properties'
// neighbours (to_dict and the text representations) share.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>
#include <string>

#include "model/diagnostic.hpp"
#include "python/text.hpp"

namespace tolvane {

inline pybind11::object python_value(bool value) {
    return pybind11::bool_(value);
}
inline pybind11::object python_value(std::int32_t value) {
    return pybind11::int_(value);
}
inline pybind11::object python_value(std::uint64_t value) {
    return pybind11::int_(value);
}
inline pybind11::object python_value(double value) {
    return pybind11::float_(value);
}
inline pybind11::object python_value(const std::string& text) {
    return python_text(text);
}
// The member of Diagnostic.Severity.
inline pybind11::object python_value(Diagnostic::Severity severity) {
    return pybind11::cast(severity);
}

template <class T>
pybind11::object python_value(const std::optional<T>& value) {
    return value ? python_value(*value) : pybind11::none();
}

}  // namespace tolvane
