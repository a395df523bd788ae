// The Python module: the record classes, the parser class, to_dict, and the
// entry point with its interpreter-version check.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/typing.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <tuple>
#include <utility>
#include <vector>

#include "format/formatter.hpp"
#include "model/ncf_records.hpp"
#include "parser/ncf_parser.hpp"
#include "python/codec_binding.hpp"
#include "python/from_dict.hpp"
#include "python/json_text.hpp"
#include "python/ldf_binding.hpp"
#include "python/record_classes.hpp"
#include "python/text.hpp"
#include "python/text_argument.hpp"
#include "python/to_dict.hpp"
#include "python/version_check.hpp"
#include "validate/check_files.hpp"
#include "validate/validator.hpp"
#include "writer/ncf_writer.hpp"

namespace py = pybind11;

namespace tolvane {

namespace {

// A comment handed to Python: its own copy of the text, which outlives the
// parser.
struct KeptComment {
    std::string text;
    std::uint64_t line;
    std::uint64_t column;
};

void bind_parser(py::module_& module) {
    py::class_<NcfParser>(module, "NcfParser")
        // Each text argument is a str (taken as its UTF-8 bytes) or bytes-like
        // (taken as is); the options come after them and only by keyword.
        .def(py::init([](const FileNameArgument& filename, TextArgument& content, bool lenient, bool recover) {
                 return std::make_unique<NcfParser>(filename.bytes(), std::move(content.text),
                                                    ParseOptions{.lenient = lenient, .recover = recover});
             }),
             py::arg("filename") = "", py::arg("content") = "", py::kw_only(), py::arg("lenient") = false,
             py::arg("recover") = false)
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

// The record of whichever class `record` is, as plain data.
template <class... Records>
py::dict plain_record(py::handle record, bool with_positions, std::tuple<Records...>* /*candidates*/) {
    py::dict plain;
    const auto try_class = [&]<class Record>(Record* /*class*/) {
        if (!py::isinstance<Record>(record)) {
            return false;
        }
        plain = to_dict(record.cast<const Record&>(), with_positions);
        return true;
    };
    if (!(try_class(static_cast<Records*>(nullptr)) || ...)) {
        throw py::type_error("to_dict() takes a tolvane record, not " +
                             std::string(py::str(py::type::handle_of(record).attr("__name__"))));
    }
    return plain;
}

void bind_to_dict(py::module_& module) {
    module.def(
        "to_dict",
        [](py::handle record, bool positions) {
            return plain_record(record, positions, static_cast<AllRecords*>(nullptr));
        },
        py::arg("record"), py::kw_only(), py::arg("positions") = false,
        "The record and everything below it as plain dicts and lists: keys in field order, None for what "
        "is absent, severities by name; with positions=True each record read from text also has "
        "'line' and 'column'");
}

// For `tolvane json`: the document, written from the records.
void bind_json_document(py::module_& module) {
    module.def(
        "_write_json_document",
        [](py::handle write, const NcfFile& ncf_file, const std::vector<Diagnostic>& diagnostics,
           bool positions) {
            write_json_document(ncf_file, diagnostics, positions, [&](std::string_view chunk) {
                write(py::bytes(chunk.data(), chunk.size()));
            });
        },
        py::arg("write"), py::arg("ncf_file"), py::arg("diagnostics"), py::kw_only(),
        py::arg("positions") = false,
        "Writes the JSON text of {'ncf_file': to_dict(ncf_file), 'diagnostics': [...]} exactly as "
        "json.dumps(..., indent=2) writes it, without the final newline, by calling write() with ASCII bytes "
        "a chunk at a time.");
}

// A file name as open() takes it: str (in the file system's encoding, which
// keeps the bytes of undecodable names), bytes or os.PathLike.
std::string system_name(py::handle filename) {
    if (PyUnicode_CheckExact(filename.ptr()) && PyUnicode_IS_ASCII(filename.ptr())) {
        // The common name: its bytes are the same in every encoding, and at hand.
        return {static_cast<const char*>(PyUnicode_DATA(filename.ptr())),
                static_cast<std::size_t>(PyUnicode_GET_LENGTH(filename.ptr()))};
    }
    const py::object path = py::reinterpret_steal<py::object>(PyOS_FSPath(filename.ptr()));
    if (!path) {
        throw py::error_already_set();  // TypeError: expected str, bytes or os.PathLike object
    }
    const py::bytes bytes = PyUnicode_Check(path.ptr())
                                ? py::reinterpret_steal<py::bytes>(PyUnicode_EncodeFSDefault(path.ptr()))
                                : py::reinterpret_borrow<py::bytes>(path);
    if (!bytes) {
        throw py::error_already_set();
    }
    return bytes.cast<std::string>();
}

std::string file_name_bytes(py::handle filename) {
    std::string name = system_name(filename);
    if (name.find('\0') != std::string::npos) {
        throw py::value_error("embedded null byte");  // as open() says
    }
    return name;
}

// What Python raises for a file it cannot read: OSError(errno, reason,
// filename), which Python makes FileNotFoundError, IsADirectoryError, ...
py::object read_error(int number, py::handle filename) {
    const py::object os_error = py::reinterpret_borrow<py::object>(PyExc_OSError);
    return os_error(number, std::generic_category().message(number), filename);
}

void bind_validation(py::module_& module) {
    module.def(
        "validate",
        [](const NcfFile& ncf_file, const std::vector<Diagnostic>& diagnostics) {
            return validate(ncf_file, diagnostics);
        },
        py::arg("ncf_file"), py::arg("diagnostics") = py::tuple(),
        "The problems the LIN rules find in a parsed file, as a new list of Diagnostic ordered by line and "
        "column. 'diagnostics' are the parser's for that file: a node in which one of them (of severity "
        "Error) "
        "lies is not checked, and one Info diagnostic with code 'not-checked' says so.");
    module.def(
        "check",
        [](const FileNameArgument& filename, std::optional<TextArgument> content, bool lenient, bool recover) {
            const ParseOptions options{.lenient = lenient, .recover = recover};
            CheckResult result = content ? check_text(filename.bytes(), std::move(content->text), options)
                                         : check_file(filename.bytes(), options);
            return std::pair(std::move(result.file), std::move(result.diagnostics));
        },
        py::arg("filename"), py::arg("content") = py::none(), py::kw_only(), py::arg("lenient") = false,
        py::arg("recover") = false,
        "Parses and validates in one call: returns the tree and every diagnostic, the parser's and the "
        "validator's, ordered by line and column. Reads the file 'filename' when 'content' is None; "
        "otherwise "
        "parses 'content' (even when it is empty) and reports 'filename'. lenient=True reads as "
        "NcfParser(..., lenient=True) does, recover=True as NcfParser(..., recover=True) does. RuntimeError when "
        "the file cannot be opened.");
    module.def(
        "check_files",
        [](const py::iterable& filenames, bool lenient, bool recover, bool syntax_only, std::optional<int> jobs) {
            std::vector<py::object> given;
            std::vector<std::string> names;
            for (const py::handle filename : filenames) {
                given.push_back(py::reinterpret_borrow<py::object>(filename));
                names.push_back(file_name_bytes(filename));
            }
            if (jobs && *jobs < 1) {
                throw py::value_error("jobs must be at least 1, not " + std::to_string(*jobs));
            }
            const CheckFilesOptions options{.parse = {.lenient = lenient, .recover = recover},
                                            .syntax_only = syntax_only,
                                            .jobs = jobs ? static_cast<unsigned>(*jobs) : 0U};
            std::vector<FileCheck> checked;
            {
                const py::gil_scoped_release unlocked;
                checked = check_files(names, options);
            }
            py::list results(checked.size());
            for (std::size_t i = 0; i < checked.size(); ++i) {
                if (checked[i].read_error != 0) {
                    results[i] = read_error(checked[i].read_error, given[i]);
                } else if (checked[i].diagnostics.empty()) {
                    results[i] = py::list();  // most files of a run: no caster needed
                } else {
                    results[i] = py::cast(std::move(checked[i].diagnostics));
                }
            }
            return results;
        },
        py::arg("filenames"), py::kw_only(), py::arg("lenient") = false, py::arg("recover") = false,
        py::arg("syntax_only") = false,
        py::arg("jobs") = py::none(),
        "Reads, parses and validates each named file (str, bytes or os.PathLike) on a pool of 'jobs' threads "
        "(default: one per CPU), with the interpreter lock released. Returns one item per file, in the order "
        "given: its diagnostics as check() orders them (the parser's alone with syntax_only=True), or, for a "
        "file that cannot be read, the OSError that reading it gives (returned, not raised). lenient=True and "
        "recover=True read as NcfParser(..., lenient=True, recover=True) does.");
    module.def(
        "rules",
        [] {
            py::typing::Dict<py::str, py::str> codes;
            for (const Rule& rule : rules()) {
                codes[python_text(rule.code)] = python_text(rule.description);
            }
            return codes;
        },
        "Every code a diagnostic can carry, mapped to what it checks: the parser's first ('syntax', then the "
        "lenient reading's 'dialect-...' warnings), then "
        "the "
        "validator's in the order of their sections, 'not-checked' last.");
}

// The file an `obj` of dumps() or dump() describes: an NcfFile, or the
// to_dict() form of one.
NcfFile described_file(py::handle obj, const NcfFile*& parsed) {
    if (py::isinstance<NcfFile>(obj)) {
        parsed = &obj.cast<const NcfFile&>();
        return {};
    }
    if (!PyDict_Check(obj.ptr())) {
        throw py::type_error("expected an NcfFile or its to_dict() form, not " +
                             py::type::handle_of(obj).attr("__name__").cast<std::string>());
    }
    return ncf_file_from_dict(obj);
}

// A path as the operating system takes it: os.fspath(), then the file
// system's encoding (bytes on POSIX, wide characters on Windows).
std::filesystem::path native_path(py::handle path) {
    const py::object os = py::module_::import("os");
    const py::object name = os.attr("fspath")(path);
#ifdef _WIN32
    const py::str text = py::isinstance<py::bytes>(name) ? py::str(os.attr("fsdecode")(name)) : py::str(name);
    std::filesystem::path native(text.cast<std::wstring>());
#else
    const py::bytes bytes =
        py::isinstance<py::bytes>(name) ? py::bytes(name) : py::bytes(os.attr("fsencode")(name));
    std::filesystem::path native(bytes.cast<std::string>());
#endif
    // The system reads a name up to its first NUL: "a\0b" would write "a".
    if (native.native().find(std::filesystem::path::value_type{}) !=
        std::filesystem::path::string_type::npos) {
        throw py::value_error("embedded null byte");
    }
    return native;
}

// The comments a parser kept, and the formatter that puts them in place.
void bind_formatting(py::module_& module) {
    py::class_<KeptComment> comment_class(module, "Comment");
    comment_class.attr("__match_args__") = py::make_tuple("text", "line", "column");
    comment_class
        .def_property_readonly(
            "text", [](const KeptComment& comment) { return python_text(comment.text); },
            "the comment as the text holds it: \"//\" to the end of its line, \"/*\" through \"*/\", or a "
            "lenient \"#\" line")
        .def_readonly("line", &KeptComment::line, "the line where it begins")
        .def_readonly("column", &KeptComment::column, "the column where it begins")
        .def("__repr__", [](const KeptComment& comment) {
            return "Comment(line=" + std::to_string(comment.line) + ", column=" + std::to_string(comment.column) +
                   ", text=" + py::repr(python_text(comment.text)).cast<std::string>() + ")";
        });
    module.def(
        "format_text",
        [](TextArgument& content, bool lenient) {
            const Formatted formatted = format_ncf({}, std::move(content.text), ParseOptions{.lenient = lenient});
            if (!formatted.text) {
                const auto error = std::ranges::find(formatted.diagnostics, Diagnostic::Severity::Error,
                                                     &Diagnostic::severity);
                throw py::value_error("not formatted: the text has syntax errors, the first at line " +
                                      std::to_string(error->line) + ", column " + std::to_string(error->column) +
                                      ": " + error->message);
            }
            return py::bytes(*formatted.text);
        },
        py::arg("content"), py::kw_only(), py::arg("lenient") = false,
        "The canonical NCF text of 'content' (str or bytes), as dumps() writes the tree read from it, with "
        "every comment of the text in place. ValueError when the text has syntax errors (read leniently with "
        "lenient=True) or its tree cannot be written.");
    // On the parser, after its own three methods, once Comment is known.
    py::reinterpret_borrow<py::class_<NcfParser>>(py::type::of<NcfParser>())
        .def(
            "get_comments",
            [](const NcfParser& parser) {
                std::vector<KeptComment> comments;
                comments.reserve(parser.get_comments().size());
                for (const Comment& comment : parser.get_comments()) {
                    comments.push_back({std::string(comment.text), comment.line, comment.column});
                }
                return comments;
            },
            "Every comment of the text (with lenient=True, \"#\" lines too), in its order; the text is read "
            "again for them the first time they are asked for.");
}

void bind_writer(py::module_& module) {
    module.def(
        "dumps",
        [](py::handle obj) {
            const NcfFile* parsed = nullptr;
            const NcfFile described = described_file(obj, parsed);
            return py::bytes(write_ncf(parsed != nullptr ? *parsed : described));
        },
        py::arg("obj"),
        "The canonical NCF text of an NcfFile or of its to_dict() form, as bytes (string literals hold "
        "ISO 8859-1 bytes, as the reader expects). ValueError naming the field's path for what cannot be "
        "written so that it reads back the same, or for a missing key or a value of the wrong type.");
    module.def(
        "dump",
        [](py::handle obj, py::handle path) {
            const NcfFile* parsed = nullptr;
            const NcfFile described = described_file(obj, parsed);
            write_ncf_file(parsed != nullptr ? *parsed : described, native_path(path));
        },
        py::arg("obj"), py::arg("path"),
        "Writes dumps(obj) to the file 'path' (str, bytes or os.PathLike) through a new file beside it that "
        "replaces it, keeping its permissions: an interrupted write leaves the old file whole.");

    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) {
                std::rethrow_exception(thrown);
            }
        } catch (const CannotWrite& error) {
            PyErr_SetObject(PyExc_ValueError, python_text(error.message()).ptr());
        } catch (const std::filesystem::filesystem_error& error) {
            const py::object path =
                py::reinterpret_steal<py::object>(PyUnicode_DecodeFSDefault(error.path1().string().c_str()));
            const py::object raised = py::reinterpret_borrow<py::object>(PyExc_OSError)(
                error.code().value(), error.code().message(), path);
            PyErr_SetObject(PyExc_OSError, raised.ptr());
        }
    });
}

}  // namespace

}  // namespace tolvane

// The module body, run by the module's exec slot.
PYBIND11_MODULE_EXEC(tolvane, module) {
    module.doc() = "C++ NCF Parser extension for Python";
    tolvane::bind_records(module, static_cast<tolvane::AllRecords*>(nullptr));
    tolvane::bind_parser(module);
    // Beyond the classes: functions over the records.
    tolvane::bind_to_dict(module);
    tolvane::bind_validation(module);
    tolvane::bind_writer(module);
    tolvane::bind_codec(module);
    tolvane::bind_ldf(module);
    tolvane::bind_formatting(module);
    tolvane::bind_frame_drawing(module);
    tolvane::bind_c_code(module);
    tolvane::bind_json_document(module);
    // The distribution's version, which the build takes from pyproject.toml.
    module.attr("__version__") = TOLVANE_VERSION;
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
