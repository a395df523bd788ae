// The constructor's text arguments: a str (taken as its UTF-8 bytes) or a
// bytes-like object (taken as it is), handed to the parser without a copy
// where Python guarantees the bytes stay put.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>
#include <string>
#include <utility>

#include "parser/source_text.hpp"

namespace tolvane {

struct TextArgument {
    SourceText text;

    std::string bytes() const { return std::string(text.view()); }
};

// A file name: what TextArgument takes, or any os.PathLike, taken as its
// os.fspath() (a str or bytes in turn).
struct FileNameArgument : TextArgument {};

}  // namespace tolvane

namespace pybind11::detail {

template <>
struct type_caster<tolvane::TextArgument> {
    PYBIND11_TYPE_CASTER(tolvane::TextArgument, const_name("str"));

    bool load(handle source, bool /*convert*/) {
        if (PyUnicode_Check(source.ptr())) {
            // The UTF-8 form is cached inside the str and lives as long as it.
            Py_ssize_t size = 0;
            const char* data = PyUnicode_AsUTF8AndSize(source.ptr(), &size);
            if (data == nullptr) {
                PyErr_Clear();  // a lone surrogate: not text this parser can take
                return false;
            }
            value.text = borrowed(source, data, size);
            return true;
        }
        if (PyBytes_Check(source.ptr())) {
            value.text = borrowed(source, PyBytes_AS_STRING(source.ptr()), PyBytes_GET_SIZE(source.ptr()));
            return true;
        }
        if (PyByteArray_Check(source.ptr())) {
            // A bytearray may change under the parser: take a copy.
            value.text = tolvane::SourceText(
                std::string(PyByteArray_AS_STRING(source.ptr()),
                            static_cast<std::size_t>(PyByteArray_GET_SIZE(source.ptr()))));
            return true;
        }
        return false;
    }

    // A view of an immutable object's bytes, keeping the object alive. The
    // parser that holds it is destroyed by Python with the interpreter lock
    // held, so the reference is released under the lock too.
    static tolvane::SourceText borrowed(handle owner, const char* data, Py_ssize_t size) {
        auto keep_alive = std::shared_ptr<const void>(owner.inc_ref().ptr(), [](const void* object) {
            gil_scoped_acquire lock;
            Py_DECREF(static_cast<PyObject*>(const_cast<void*>(object)));
        });
        return tolvane::SourceText(std::string_view(data, static_cast<std::size_t>(size)),
                                   std::move(keep_alive));
    }
};

template <>
struct type_caster<tolvane::FileNameArgument> {
    PYBIND11_TYPE_CASTER(tolvane::FileNameArgument, const_name("str | os.PathLike"));

    bool load(handle source, bool convert) {
        type_caster<tolvane::TextArgument> text;
        if (text.load(source, convert)) {
            static_cast<tolvane::TextArgument&>(value) = std::move(static_cast<tolvane::TextArgument&>(text));
            return true;
        }
        if (!hasattr(source, "__fspath__")) {
            return false;
        }
        const object path = reinterpret_steal<object>(PyOS_FSPath(source.ptr()));
        if (!path) {
            throw error_already_set();  // __fspath__ raised, or returned neither str nor bytes
        }
        if (!text.load(path, convert)) {
            return false;
        }
        static_cast<tolvane::TextArgument&>(value) = std::move(static_cast<tolvane::TextArgument&>(text));
        return true;
    }
};

}  // namespace pybind11::detail
