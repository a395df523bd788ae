// The Python class of each record, made from the record's description:
// one read-only property per field in field order, then `line` and `column`
// (or, for a diagnostic, `code`), the text representations, position_of()
// and __match_args__.
#pragma once

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "model/ncf_records.hpp"
#include "python/fast_getter.hpp"
#include "python/repr.hpp"
#include "python/text.hpp"

namespace tolvane {

namespace detail {

inline pybind11::str python_texts(const std::string& text) {
    return python_text(text);
}

inline std::optional<pybind11::str> python_texts(const std::optional<std::string>& text) {
    if (!text) {
        return std::nullopt;
    }
    return python_text(*text);
}

// A vector of str (not a py::list) so that the getter is annotated list[str].
inline std::vector<pybind11::str> python_texts(const std::vector<std::string>& texts) {
    std::vector<pybind11::str> list;
    list.reserve(texts.size());
    for (const std::string& text : texts) {
        list.push_back(python_text(text));
    }
    return list;
}

template <class Value>
constexpr bool holds_text =
    std::is_same_v<Value, std::string> || std::is_same_v<Value, std::optional<std::string>> ||
    std::is_same_v<Value, std::vector<std::string>>;

// Text fields go through the module's one text conversion; every other field
// is a plain read-only member (record-valued ones come back as views that keep
// their parent alive).
template <class Record, class Field>
void add_property(pybind11::class_<Record>& cls, const Field& described) {
    using Value = typename Field::value_type;
    const char* name = described.name.data();
    const char* doc = described.doc.data();
    const auto member = described.member;
    if constexpr (holds_text<Value>) {
        // Made as a method so that its signature names the instance `self`,
        // as the getters that def_readonly makes do.
        cls.def_property_readonly(
            name,
            pybind11::cpp_function([member](const Record& record) { return python_texts(record.*member); },
                                   pybind11::is_method(cls)),
            doc);
        speed_up_getter(cls, name, [member](const Record& record, pybind11::handle) {
            return as_object(python_texts(record.*member));
        });
    } else {
        cls.def_readonly(name, member, doc);
        speed_up_getter(cls, name, [member](const Record& record, pybind11::handle self) {
            return pybind11::cast(record.*member, pybind11::return_value_policy::reference_internal, self);
        });
    }
}

template <class Record, class Getter>
void add_computed_property(pybind11::class_<Record>& cls, const char* name, Getter getter, const char* doc) {
    cls.def_property_readonly(name, pybind11::cpp_function(getter, pybind11::is_method(cls)), doc);
    speed_up_getter(cls, name,
                    [getter](const Record& record, pybind11::handle) { return as_object(getter(record)); });
}

using PythonPosition = std::optional<std::tuple<std::uint32_t, std::uint32_t>>;

template <positioned_record Record>
void add_positions(pybind11::class_<Record>& cls) {
    add_computed_property(
        cls, "line", [](const Record& record) { return record.positions.start.line; },
        "1-based line of the record's first token; 0 when the text did not provide the record");
    add_computed_property(
        cls, "column", [](const Record& record) { return record.positions.start.column; },
        "1-based column of the record's first token, counted in bytes; 0 when the text did not provide it");
}

template <positioned_record Record>
void add_position_of(pybind11::class_<Record>& cls) {
    cls.def(
        "position_of",
        [](const Record& record, std::string_view name, std::optional<long long> index) -> PythonPosition {
            if (index && *index < 0) {
                throw pybind11::index_error("position_of() takes an index of 0 or more, not " +
                                            std::to_string(*index));
            }
            const std::optional<std::size_t> item =
                index ? std::optional(static_cast<std::size_t>(*index)) : std::nullopt;
            const std::optional<SourcePosition> found = tolvane::position_of(record, name, item);
            if (!found) {
                return std::nullopt;
            }
            return std::tuple{found->line, found->column};
        },
        pybind11::arg("name"), pybind11::arg("index") = pybind11::none(),
        "(line, column) where the value of field `name` was read (for a list, its item `index`), where a "
        "sub-record begins, or where a statement keyword stood; None when the text did not provide it");
}

template <class Record>
void add_text_representations(pybind11::class_<Record>& cls) {
    cls.def("__repr__", [](const Record& record) { return repr_of(record); });
    // Python's repr() of the same record, so str(x) == repr(x) always.
    cls.def("__str__", [](pybind11::handle self) { return pybind11::repr(self); });
}

template <class Record>
pybind11::tuple field_names() {
    pybind11::list names;
    for_each_field<Record>([&](const auto& described) {
        names.append(pybind11::str(described.name.data(), described.name.size()));
    });
    return pybind11::tuple(names);
}

// Records come only from a parse. `cls()` already fails in pybind11's
// __init__, but `cls.__new__(cls)` would make an instance that holds no
// record, and every read of it would follow a null pointer; refusing in
// __new__ closes that door with the same error `cls()` gives.
template <class Record>
void refuse_instances_without_record(pybind11::class_<Record>& cls) {
    cls.def_static("__new__", [](pybind11::handle type, const pybind11::args&, const pybind11::kwargs&) {
        if (!PyType_Check(type.ptr())) {
            throw pybind11::type_error("tolvane." + std::string(Description<Record>::name) +
                                       ".__new__(X): X is not a type object");
        }
        auto* record_type = reinterpret_cast<PyTypeObject*>(type.ptr());
        throw pybind11::type_error(pybind11::detail::get_fully_qualified_tp_name(record_type) +
                                   ": No constructor defined!");
    });
}

inline void add_severity(pybind11::class_<Diagnostic>& cls) {
    pybind11::enum_<Diagnostic::Severity>(cls, "Severity")
        .value("Error", Diagnostic::Severity::Error)
        .value("Warning", Diagnostic::Severity::Warning)
        .value("Info", Diagnostic::Severity::Info)
        .export_values();
}

}  // namespace detail

template <described_record Record>
void bind_record(pybind11::module_& module) {
    pybind11::class_<Record> cls(module, Description<Record>::name.data());
    if constexpr (std::is_same_v<Record, Diagnostic>) {
        // The enumeration is registered before the property that holds it: a
        // getter's signature is written when the getter is made, and would
        // otherwise name the C++ type instead of tolvane.Diagnostic.Severity.
        detail::add_severity(cls);
    }
    for_each_field<Record>([&](const auto& described) { detail::add_property(cls, described); });
    if constexpr (positioned_record<Record>) {
        detail::add_positions(cls);
    }
    detail::add_text_representations(cls);
    if constexpr (positioned_record<Record>) {
        detail::add_position_of(cls);
    }
    detail::refuse_instances_without_record(cls);
    // The fields in order, for `match` patterns such as
    // `case NcfSingleFrame(kind, name)` and for code that walks records.
    cls.attr("__match_args__") = detail::field_names<Record>();
}

// Every record class, each before the records that hold it.
template <class... Records>
void bind_records(pybind11::module_& module, std::tuple<Records...>* /*in this order*/) {
    (bind_record<Records>(module), ...);
}

}  // namespace tolvane
