// The Python module: record classes with read-only properties, the parser
// class, and the entry point with its interpreter-version check.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "model/ncf_records.hpp"
#include "parser/ncf_parser.hpp"
#include "python/repr.hpp"
#include "python/text.hpp"
#include "python/text_argument.hpp"
#include "python/version_check.hpp"

namespace py = pybind11;

namespace tolvane {

namespace {

py::str to_python(const std::string& text) {
    return python_text(text);
}

std::optional<py::str> to_python(const std::optional<std::string>& text) {
    if (!text) {
        return std::nullopt;
    }
    return python_text(*text);
}

// A vector of str (not a py::list) so that the getter is annotated list[str].
std::vector<py::str> to_python(const std::vector<std::string>& texts) {
    std::vector<py::str> list;
    list.reserve(texts.size());
    for (const std::string& text : texts) {
        list.push_back(python_text(text));
    }
    return list;
}

// Text fields go through the module's one text conversion; every other field
// is a plain read-only member (record-valued ones come back as views that keep
// their parent alive).
template <class Record, class Field>
void add_property(py::class_<Record>& cls, const char* name, Field Record::* field) {
    if constexpr (std::is_same_v<Field, std::string> || std::is_same_v<Field, std::optional<std::string>> ||
                  std::is_same_v<Field, std::vector<std::string>>) {
        // Made as a method so that its signature names the instance `self`,
        // as the getters that def_readonly makes do.
        cls.def_property_readonly(
            name, py::cpp_function([field](const Record& record) { return to_python(record.*field); },
                                   py::is_method(cls)));
    } else {
        cls.def_readonly(name, field);
    }
}

template <class Record>
void add_text_representations(py::class_<Record>& cls) {
    cls.def("__repr__", [](const Record& record) { return repr_of(record); });
    // Python's repr() of the same record, so str(x) == repr(x) always.
    cls.def("__str__", [](py::handle self) { return py::repr(self); });
}

void bind_diagnostic(py::module_& module) {
    py::class_<Diagnostic> cls(module, "Diagnostic");
    // The enumeration is registered before the property that holds it: a
    // getter's signature is written when the getter is made, and would
    // otherwise name the C++ type instead of tolvane.Diagnostic.Severity.
    py::enum_<Diagnostic::Severity>(cls, "Severity")
        .value("Error", Diagnostic::Severity::Error)
        .value("Warning", Diagnostic::Severity::Warning)
        .value("Info", Diagnostic::Severity::Info)
        .export_values();
    add_property(cls, "severity", &Diagnostic::severity);
    add_property(cls, "file", &Diagnostic::file);
    add_property(cls, "line", &Diagnostic::line);
    add_property(cls, "column", &Diagnostic::column);
    add_property(cls, "message", &Diagnostic::message);
    add_text_representations(cls);
}

void bind_init_value(py::module_& module) {
    py::class_<NcfInitValue> init_value(module, "NcfInitValue");
    add_property(init_value, "is_array", &NcfInitValue::is_array);
    add_property(init_value, "scalar", &NcfInitValue::scalar);
    add_property(init_value, "array_values", &NcfInitValue::array_values);
    add_text_representations(init_value);
}

void bind_general_records(py::module_& module) {
    py::class_<NcfBitrateDefinition> bitrate(module, "NcfBitrateDefinition");
    add_property(bitrate, "type", &NcfBitrateDefinition::type);
    add_property(bitrate, "min_br", &NcfBitrateDefinition::min_br);
    add_property(bitrate, "max_br", &NcfBitrateDefinition::max_br);
    add_property(bitrate, "rates", &NcfBitrateDefinition::rates);
    add_property(bitrate, "fixed_rate", &NcfBitrateDefinition::fixed_rate);
    add_text_representations(bitrate);

    py::class_<NcfGeneralDef> general(module, "NcfGeneralDef");
    add_property(general, "protocol_version", &NcfGeneralDef::protocol_version);
    add_property(general, "supplier_id", &NcfGeneralDef::supplier_id);
    add_property(general, "function_id", &NcfGeneralDef::function_id);
    add_property(general, "variant_id", &NcfGeneralDef::variant_id);
    add_property(general, "bitrate", &NcfGeneralDef::bitrate);
    add_property(general, "sends_wake_up_signal", &NcfGeneralDef::sends_wake_up_signal);
    add_property(general, "volt_from", &NcfGeneralDef::volt_from);
    add_property(general, "volt_to", &NcfGeneralDef::volt_to);
    add_property(general, "temp_from", &NcfGeneralDef::temp_from);
    add_property(general, "temp_to", &NcfGeneralDef::temp_to);
    add_property(general, "conformance", &NcfGeneralDef::conformance);
    add_text_representations(general);

    py::class_<NcfDiagnosticDef> diagnostic(module, "NcfDiagnosticDef");
    add_property(diagnostic, "nad_lhs", &NcfDiagnosticDef::nad_lhs);
    add_property(diagnostic, "nad_rhs", &NcfDiagnosticDef::nad_rhs);
    add_property(diagnostic, "nad_list", &NcfDiagnosticDef::nad_list);
    add_property(diagnostic, "diagnostic_class", &NcfDiagnosticDef::diagnostic_class);
    add_property(diagnostic, "p2_min", &NcfDiagnosticDef::p2_min);
    add_property(diagnostic, "st_min", &NcfDiagnosticDef::st_min);
    add_property(diagnostic, "n_as_timeout", &NcfDiagnosticDef::n_as_timeout);
    add_property(diagnostic, "n_cr_timeout", &NcfDiagnosticDef::n_cr_timeout);
    add_property(diagnostic, "support_sids", &NcfDiagnosticDef::support_sids);
    add_property(diagnostic, "max_message_length", &NcfDiagnosticDef::max_message_length);
    add_text_representations(diagnostic);
}

void bind_frame_records(py::module_& module) {
    py::class_<NcfSignalProperties> signal_properties(module, "NcfSignalProperties");
    add_property(signal_properties, "init_value", &NcfSignalProperties::init_value);
    add_property(signal_properties, "size", &NcfSignalProperties::size);
    add_property(signal_properties, "offset", &NcfSignalProperties::offset);
    add_property(signal_properties, "encoding_name", &NcfSignalProperties::encoding_name);
    add_text_representations(signal_properties);

    py::class_<NcfSignalDef> signal(module, "NcfSignalDef");
    add_property(signal, "name", &NcfSignalDef::name);
    add_property(signal, "properties", &NcfSignalDef::properties);
    add_text_representations(signal);

    py::class_<NcfFrameProperties> frame_properties(module, "NcfFrameProperties");
    add_property(frame_properties, "length", &NcfFrameProperties::length);
    add_property(frame_properties, "min_period", &NcfFrameProperties::min_period);
    add_property(frame_properties, "max_period", &NcfFrameProperties::max_period);
    add_property(frame_properties, "event_triggered_frame", &NcfFrameProperties::event_triggered_frame);
    add_text_representations(frame_properties);

    py::class_<NcfSingleFrame> frame(module, "NcfSingleFrame");
    add_property(frame, "kind", &NcfSingleFrame::kind);
    add_property(frame, "name", &NcfSingleFrame::name);
    add_property(frame, "properties", &NcfSingleFrame::properties);
    add_property(frame, "signals", &NcfSingleFrame::signals);
    add_text_representations(frame);
}

void bind_encoding_records(py::module_& module) {
    py::class_<NcfLogicalValue> logical(module, "NcfLogicalValue");
    add_property(logical, "signal_value", &NcfLogicalValue::signal_value);
    add_property(logical, "text_info", &NcfLogicalValue::text_info);
    add_text_representations(logical);

    py::class_<NcfPhysicalRange> physical(module, "NcfPhysicalRange");
    add_property(physical, "min_value", &NcfPhysicalRange::min_value);
    add_property(physical, "max_value", &NcfPhysicalRange::max_value);
    add_property(physical, "scale", &NcfPhysicalRange::scale);
    add_property(physical, "offset_val", &NcfPhysicalRange::offset_val);
    add_property(physical, "text_info", &NcfPhysicalRange::text_info);
    add_text_representations(physical);

    py::class_<NcfEncodingValue> value(module, "NcfEncodingValue");
    add_property(value, "type", &NcfEncodingValue::type);
    add_property(value, "logical_value", &NcfEncodingValue::logical_value);
    add_property(value, "physical_range", &NcfEncodingValue::physical_range);
    add_text_representations(value);

    py::class_<NcfEncodingEntry> entry(module, "NcfEncodingEntry");
    add_property(entry, "name", &NcfEncodingEntry::name);
    add_property(entry, "values", &NcfEncodingEntry::values);
    add_text_representations(entry);
}

void bind_node_records(py::module_& module) {
    py::class_<NcfStatusManagement> status(module, "NcfStatusManagement");
    add_property(status, "response_error", &NcfStatusManagement::response_error);
    add_property(status, "fault_state_signals", &NcfStatusManagement::fault_state_signals);
    add_text_representations(status);

    py::class_<NcfNodeDef> node(module, "NcfNodeDef");
    add_property(node, "name", &NcfNodeDef::name);
    add_property(node, "general", &NcfNodeDef::general);
    add_property(node, "diagnostic", &NcfNodeDef::diagnostic);
    add_property(node, "frames", &NcfNodeDef::frames);
    add_property(node, "encodings", &NcfNodeDef::encodings);
    add_property(node, "status", &NcfNodeDef::status);
    add_property(node, "free_text", &NcfNodeDef::free_text);
    add_text_representations(node);

    py::class_<NcfFile> file(module, "NcfFile");
    add_property(file, "filename", &NcfFile::filename);
    add_property(file, "language_version", &NcfFile::language_version);
    add_property(file, "nodes", &NcfFile::nodes);
    add_text_representations(file);
}

void bind_parser(py::module_& module) {
    py::class_<NcfParser>(module, "NcfParser")
        // Each argument is a str (taken as its UTF-8 bytes) or bytes-like (taken as is).
        .def(py::init([](const TextArgument& filename, TextArgument& content) {
                 return std::make_unique<NcfParser>(filename.bytes(), std::move(content.text));
             }),
             py::arg("filename") = "", py::arg("content") = "")
        .def("parse", &NcfParser::parse)
        .def("set_trace", &NcfParser::set_trace)  // positional only: no keyword name
        .def("get_diagnostics", &NcfParser::get_diagnostics);

    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) {
                std::rethrow_exception(thrown);
            }
        } catch (const CannotOpenFile& error) {
            PyErr_SetObject(PyExc_RuntimeError, python_text(error.message()).ptr());
        }
    });
}

}  // namespace

}  // namespace tolvane

// The module body, run by the module's exec slot.
PYBIND11_MODULE_EXEC(tolvane, module) {
    module.doc() = "C++ NCF Parser extension for Python";
    tolvane::bind_diagnostic(module);
    tolvane::bind_init_value(module);
    tolvane::bind_general_records(module);
    tolvane::bind_frame_records(module);
    tolvane::bind_encoding_records(module);
    tolvane::bind_node_records(module);
    tolvane::bind_parser(module);
}

// The entry point: refuses any interpreter but the one the module was built
// for before touching anything else, then hands over a multi-phase module
// definition (create and exec slots; multiple interpreters not supported).
extern "C" PYBIND11_EXPORT PyObject* PyInit_tolvane() {
    const char* version = Py_GetVersion();
    if (!tolvane::interpreter_version_supported(version)) {
        PyErr_Format(PyExc_ImportError,
                     "Python version mismatch: module was compiled for Python %s, but the interpreter "
                     "version is incompatible: %s.",
                     std::string(tolvane::compiled_python_version).c_str(), version);
        return nullptr;
    }
    try {
        pybind11::detail::ensure_internals();
        static pybind11::detail::slots_array slots = pybind11::detail::init_slots(&pybind11_exec_tolvane);
        static PyModuleDef definition{PyModuleDef_HEAD_INIT, "tolvane", nullptr, 0,      nullptr,
                                      slots.data(),          nullptr,   nullptr, nullptr};
        return PyModuleDef_Init(&definition);
    }
    PYBIND11_CATCH_INIT_EXCEPTIONS
    return nullptr;
}
