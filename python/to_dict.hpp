// Records as plain Python data: dicts in field order, lists, None for what is
// absent, severities by name, text through the module's one conversion.
#pragma once

#include <pybind11/pybind11.h>

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/ncf_records.hpp"
#include "python/values.hpp"

namespace tolvane {

namespace detail {

class PlainBuilder {
public:
    explicit PlainBuilder(bool with_positions) : with_positions_(with_positions) {}

    // With positions, every record read from text also gets "line" and
    // "column", after its fields.
    template <described_record Record>
    pybind11::dict record(const Record& value) const {
        pybind11::dict plain;
        for_each_field<Record>([&](const auto& described) {
            set(plain, key(described.name), field_value(described.of(value)));
        });
        if constexpr (positioned_record<Record>) {
            if (with_positions_) {
                set(plain, key("line"), pybind11::int_(value.positions.start.line));
                set(plain, key("column"), pybind11::int_(value.positions.start.column));
            }
        }
        return plain;
    }

private:
    // The key of a field name: made once per call and shared by every dict
    // of the tree, its hash computed once. Field names are literals that
    // outlive the call.
    const pybind11::object& key(std::string_view name) const {
        pybind11::object& cached = keys_[name];
        if (!cached) {
            cached = pybind11::str(name.data(), name.size());
        }
        return cached;
    }

    static void set(const pybind11::dict& dict, const pybind11::handle key, const pybind11::object& value) {
        if (PyDict_SetItem(dict.ptr(), key.ptr(), value.ptr()) != 0) {
            throw pybind11::error_already_set();
        }
    }

    template <class Value>
    pybind11::object field_value(const Value& value) const {
        if constexpr (described_record<Value>) {
            return record(value);
        } else if constexpr (std::is_same_v<Value, Diagnostic::Severity>) {
            const std::string_view name = severity_name(value);
            return pybind11::str(name.data(), name.size());
        } else if constexpr (is_optional<Value>::value) {
            return value ? field_value(*value) : pybind11::none();
        } else if constexpr (is_list<Value>::value) {
            pybind11::list items(value.size());
            for (std::size_t i = 0; i < value.size(); ++i) {
                PyList_SET_ITEM(items.ptr(), static_cast<Py_ssize_t>(i),
                                field_value(value[i]).release().ptr());
            }
            return items;
        } else {
            return python_value(value);
        }
    }

    bool with_positions_;
    mutable std::unordered_map<std::string_view, pybind11::object> keys_;
};

}  // namespace detail

// The cyclic garbage collector paused while the plain form is built: it
// would otherwise walk the growing tree again and again (a third of the time
// for a large file), and none of the new dicts and lists can form a cycle.
class CollectorPause {
public:
    CollectorPause() : was_enabled_(PyGC_Disable() == 1) {}
    ~CollectorPause() {
        if (was_enabled_) {
            PyGC_Enable();
        }
    }
    CollectorPause(const CollectorPause&) = delete;
    CollectorPause& operator=(const CollectorPause&) = delete;

private:
    bool was_enabled_;
};

template <described_record Record>
pybind11::dict to_dict(const Record& record, bool with_positions) {
    const CollectorPause pause;
    return detail::PlainBuilder(with_positions).record(record);
}

}  // namespace tolvane
