// Records from the plain form to_dict() gives (and `tolvane json` writes):
// dicts with every field of the record, lists, None for what is absent. A
// missing key, a key no field has or a value of the wrong type raises
// ValueError naming the path of the value, as `nodes[0].frames[2].length`.
// The "line" and "column" that to_dict(positions=True) adds are accepted and
// left out: positions come from text only.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/ncf_records.hpp"

namespace tolvane {

namespace detail {

class PlainReader {
public:
    template <described_record Record>
    Record record(pybind11::handle value) {
        if (!PyDict_Check(value.ptr())) {
            fail("expected a dict of the fields of " + std::string(Description<Record>::name));
        }
        const auto plain = pybind11::reinterpret_borrow<pybind11::dict>(value);
        Record result{};
        for_each_field<Record>([&](const auto& described) {
            const std::string_view name = described.name;
            const pybind11::str key(name.data(), name.size());
            path_.push_back(std::string(name));
            if (!plain.contains(key)) {
                fail("missing");
            }
            result.*described.member =
                field_value<typename std::remove_cvref_t<decltype(described)>::value_type>(plain[key]);
            path_.pop_back();
        });
        for (const auto& [key, item] : plain) {
            if (!is_field_name<Record>(key) && !is_position_key(key)) {
                path_.push_back(describe_key(key));
                fail("no field of " + std::string(Description<Record>::name) + " has this name");
            }
        }
        return result;
    }

private:
    template <class Value>
    Value field_value(pybind11::handle value) {
        if constexpr (described_record<Value>) {
            return record<Value>(value);
        } else if constexpr (is_optional<Value>::value) {
            if (value.is_none()) {
                return std::nullopt;
            }
            return field_value<typename Value::value_type>(value);
        } else if constexpr (is_list<Value>::value) {
            if (!PyList_Check(value.ptr()) && !PyTuple_Check(value.ptr())) {
                fail("expected a list, not " + type_name(value));
            }
            const auto items = pybind11::reinterpret_borrow<pybind11::sequence>(value);
            Value list;
            list.reserve(items.size());
            const std::string field = path_.back();
            for (std::size_t i = 0; i < items.size(); ++i) {
                path_.back() = field + "[" + std::to_string(i) + "]";
                list.push_back(field_value<typename Value::value_type>(items[i]));
            }
            path_.back() = field;
            return list;
        } else if constexpr (std::is_same_v<Value, std::string>) {
            return text(value);
        } else if constexpr (std::is_same_v<Value, bool>) {
            if (!PyBool_Check(value.ptr())) {
                fail("expected True or False, not " + type_name(value));
            }
            return value.ptr() == Py_True;
        } else if constexpr (std::is_same_v<Value, std::int32_t>) {
            return int32(value);
        } else {
            static_assert(std::is_same_v<Value, double>, "a field kind the plain form does not hold");
            return real(value);
        }
    }

    std::string text(pybind11::handle value) {
        if (!PyUnicode_Check(value.ptr())) {
            fail("expected a str, not " + type_name(value));
        }
        Py_ssize_t size = 0;
        const char* data = PyUnicode_AsUTF8AndSize(value.ptr(), &size);
        if (data == nullptr) {
            PyErr_Clear();
            fail("a str that is not Unicode text (it holds a lone surrogate)");
        }
        return std::string(data, static_cast<std::size_t>(size));
    }

    std::int32_t int32(pybind11::handle value) {
        if (!PyLong_Check(value.ptr()) || PyBool_Check(value.ptr())) {
            fail("expected an int, not " + type_name(value));
        }
        int overflow = 0;
        const long long number = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
        if (overflow != 0 || number < std::numeric_limits<std::int32_t>::min() ||
            number > std::numeric_limits<std::int32_t>::max()) {
            fail("an int outside the 32-bit signed range");
        }
        return static_cast<std::int32_t>(number);
    }

    double real(pybind11::handle value) {
        if (PyFloat_Check(value.ptr())) {
            return PyFloat_AS_DOUBLE(value.ptr());
        }
        if (!PyLong_Check(value.ptr()) || PyBool_Check(value.ptr())) {
            fail("expected a float, not " + type_name(value));
        }
        const double number = PyLong_AsDouble(value.ptr());
        if (number == -1.0 && PyErr_Occurred()) {
            PyErr_Clear();
            fail("an int too large for a float");
        }
        return number;
    }

    template <described_record Record>
    static bool is_field_name(pybind11::handle key) {
        if (!PyUnicode_Check(key.ptr())) {
            return false;
        }
        const std::string name = key.cast<std::string>();
        bool found = false;
        for_each_field<Record>([&](const auto& described) { found = found || described.name == name; });
        return found;
    }

    static bool is_position_key(pybind11::handle key) {
        return PyUnicode_Check(key.ptr()) &&
               (key.cast<std::string>() == "line" || key.cast<std::string>() == "column");
    }

    static std::string describe_key(pybind11::handle key) { return pybind11::repr(key).cast<std::string>(); }

    static std::string type_name(pybind11::handle value) {
        return pybind11::type::handle_of(value).attr("__name__").cast<std::string>();
    }

    [[noreturn]] void fail(const std::string& reason) const {
        std::string path;
        for (const std::string& step : path_) {
            path += path.empty() ? step : "." + step;
        }
        throw pybind11::value_error((path.empty() ? std::string("the file") : path) + ": " + reason);
    }

    std::vector<std::string> path_;
};

}  // namespace detail

// The NcfFile that `plain`, the to_dict() form of one, describes.
inline NcfFile ncf_file_from_dict(pybind11::handle plain) {
    return detail::PlainReader().record<NcfFile>(plain);
}

}  // namespace tolvane
