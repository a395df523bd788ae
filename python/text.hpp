// The one conversion of text from the parser to Python.
#pragma once

#include <pybind11/pybind11.h>

#include <string_view>

namespace tolvane {

// Text bytes as a Python str: UTF-8, with every byte that is not part of a
// valid sequence written as a \xNN escape, exactly as
// bytes.decode('utf-8', 'backslashreplace') does. Text from a file with a
// stray byte outside a string literal thus stays readable (and printable)
// instead of raising.
inline pybind11::str python_text(std::string_view bytes) {
    PyObject* text =
        PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), "backslashreplace");
    if (text == nullptr) {
        throw pybind11::error_already_set();
    }
    return pybind11::reinterpret_steal<pybind11::str>(text);
}

}  // namespace tolvane
