// The codec in Python: raw values and encoded values to data bytes and back.
// Values arrive as Python objects and are converted here, with messages that
// name the signal; the codec itself only sees C++ values.
#include "python/codec_binding.hpp"

#include <pybind11/stl.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cgen/c_code.hpp"
#include "codec/codec_text.hpp"
#include "codec/frame_codec.hpp"
#include "codec/signal_codec.hpp"
#include "model/ncf_records.hpp"
#include "picture/frame_picture.hpp"
#include "python/text.hpp"

namespace py = pybind11;

namespace tolvane {

namespace {

std::string type_name(py::handle object) {
    return py::type::handle_of(object).attr("__name__").cast<std::string>();
}

// The bytes of any buffer, copied at once (a bytearray may change later),
// in order even when the buffer is not contiguous.
std::vector<std::uint8_t> data_bytes(py::handle data) {
    Py_buffer view{};
    if (PyObject_GetBuffer(data.ptr(), &view, PyBUF_FULL_RO) != 0) {
        throw py::error_already_set();
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(view.len));
    const int copied = PyBuffer_ToContiguous(bytes.data(), &view, view.len, 'C');
    PyBuffer_Release(&view);
    if (copied != 0) {
        throw py::error_already_set();
    }
    return bytes;
}

void set_item(const py::dict& dict, const py::handle key, const py::handle value) {
    if (PyDict_SetItem(dict.ptr(), key.ptr(), value.ptr()) != 0) {
        throw py::error_already_set();
    }
}

py::bytes python_bytes(const std::vector<std::uint8_t>& data) {
    return py::bytes(reinterpret_cast<const char*>(data.data()), data.size());
}

std::string where(const NcfSingleFrame& frame, const std::string& signal) {
    return codec_text::signal_place(signal, frame.name);
}

// The UTF-8 bytes of a name to look up. Records hold UTF-8 only, so a str
// with a lone surrogate names nothing; `refusal` says so.
std::string name_text(py::handle name, const std::string& refusal) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(name.ptr(), &size);
    if (data == nullptr) {
        PyErr_Clear();
        throw CodecError(refusal);
    }
    return std::string(data, static_cast<std::size_t>(size));
}

std::string signal_name(py::handle name, const NcfSingleFrame& frame) {
    if (!PyUnicode_Check(name.ptr())) {
        throw py::type_error("signal names are str, not " + type_name(name));
    }
    return name_text(name, "A signal name holds a lone surrogate: frame " + codec_text::quoted(frame.name) +
                               " has no such signal");
}

// A Python int as an unsigned (or below, a signed) 64-bit value, or nothing
// when it does not fit.
std::optional<std::uint64_t> unsigned_value(py::handle value) {
    const unsigned long long number = PyLong_AsUnsignedLongLong(value.ptr());
    if (number == static_cast<unsigned long long>(-1) && PyErr_Occurred() != nullptr) {
        PyErr_Clear();
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(number);
}

std::optional<std::int64_t> signed_value(py::handle value) {
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow != 0 || (number == -1 && PyErr_Occurred() != nullptr)) {
        PyErr_Clear();
        return std::nullopt;
    }
    return static_cast<std::int64_t>(number);
}

bool is_int(py::handle value) {
    return PyLong_Check(value.ptr()) && !PyBool_Check(value.ptr());
}

// An int as a message shows it: its digits while they are few, its size
// beyond that (Python refuses to write ints of more than 4300 digits, and a
// message of thousands of digits helps nobody).
std::string int_text(py::handle value) {
    constexpr std::size_t most_bits = 256;
    const auto bits = py::reinterpret_borrow<py::object>(value).attr("bit_length")().cast<std::size_t>();
    if (bits <= most_bits) {
        return py::str(value).cast<std::string>();
    }
    return "(an int of " + std::to_string(bits) + " bits)";
}

// The bytes of a byte array given as bytes, a bytearray or a sequence of
// ints 0..255.
std::vector<std::uint8_t> byte_values(py::handle value, const NcfSingleFrame& frame,
                                      const std::string& signal) {
    if (PyBytes_Check(value.ptr()) || PyByteArray_Check(value.ptr())) {
        return data_bytes(value);
    }
    std::vector<std::uint8_t> bytes;
    for (const auto& item : py::reinterpret_borrow<py::sequence>(value)) {
        if (!is_int(item)) {
            throw CodecError("The bytes of the " + where(frame, signal) + " are ints 0..255, not " +
                             type_name(item));
        }
        const std::optional<std::int64_t> byte = signed_value(item);
        if (!byte || *byte < 0 || *byte > 0xFF) {
            throw CodecError("The byte " + int_text(item) + " of the " + where(frame, signal) +
                             " does not fit 8 bits");
        }
        bytes.push_back(static_cast<std::uint8_t>(*byte));
    }
    return bytes;
}

bool is_byte_sequence(py::handle value) {
    return PyBytes_Check(value.ptr()) || PyByteArray_Check(value.ptr()) ||
           (PySequence_Check(value.ptr()) && !PyUnicode_Check(value.ptr()));
}

// The raw value a Python object gives signal `name` of `frame`: an int for a
// scalar, bytes or a sequence of ints for a byte array.
NamedRawValue raw_value(const NcfSingleFrame& frame, py::handle name, py::handle value) {
    NamedRawValue raw{signal_name(name, frame), std::uint64_t{0}};
    const auto place = [&] { return where(frame, raw.name); };
    if (is_int(value)) {
        const std::optional<std::int64_t> small = signed_value(value);
        const std::optional<std::uint64_t> number =
            small ? std::optional<std::uint64_t>(static_cast<std::uint64_t>(*small)) : unsigned_value(value);
        // Only outside 64 bits is the sign asked of Python.
        const bool negative =
            small ? *small < 0 : PyObject_RichCompareBool(value.ptr(), py::int_(0).ptr(), Py_LT) == 1;
        if (negative || !number) {
            throw CodecError("The value " + int_text(value) + " of the " + place() +
                             (negative ? " is negative" : " does not fit 64 bits"));
        }
        raw.value = *number;
        return raw;
    }
    if (!is_byte_sequence(value)) {
        throw CodecError("The value of the " + place() + " is an int, or bytes for a byte array, not " +
                         type_name(value));
    }
    raw.value = byte_values(value, frame, raw.name);
    return raw;
}

// A text's UTF-8 bytes, as the records hold theirs (the reader turns the
// ISO 8859-1 bytes of string literals into UTF-8).
std::string text_bytes(py::handle text, const NcfSingleFrame& frame, const std::string& signal) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(text.ptr(), &size);
    if (data == nullptr) {
        PyErr_Clear();
        throw CodecError("The text of the " + where(frame, signal) +
                         " holds a lone surrogate: it is no text a file can hold");
    }
    return std::string(data, static_cast<std::size_t>(size));
}

// The value a Python object gives a signal to encode: an int or a float, a
// text, or bytes.
NamedInput encoding_input(const EncodedFrame& encoded, py::handle name, py::handle value) {
    const NcfSingleFrame& frame = encoded.layout().frame();
    NamedInput input{signal_name(name, frame), std::int64_t{0}};
    const auto place = [&] { return where(frame, input.name); };
    if (is_int(value)) {
        const std::optional<std::int64_t> number = signed_value(value);
        if (!number) {
            throw CodecError("The value " + int_text(value) + " of the " + place() + " does not fit 64 bits");
        }
        input.value = *number;
    } else if (PyFloat_Check(value.ptr())) {
        input.value = PyFloat_AS_DOUBLE(value.ptr());
    } else if (PyUnicode_Check(value.ptr())) {
        input.value = text_bytes(value, frame, input.name);
    } else if (is_byte_sequence(value)) {
        input.value = byte_values(value, frame, input.name);
    } else {
        throw CodecError("The value of the " + place() +
                         " is a number, a text, or bytes for a byte array, not " + type_name(value));
    }
    return input;
}

const NcfSingleFrame& frame_argument(const NcfNodeDef& node, py::handle frame) {
    if (PyUnicode_Check(frame.ptr())) {
        return frame_named(node, name_text(frame, "A frame name holds a lone surrogate: node " +
                                                      codec_text::quoted(node.name) + " has no such frame"));
    }
    if (!py::isinstance<NcfSingleFrame>(frame)) {
        throw py::type_error("frame is an NcfSingleFrame or a frame's name, not " + type_name(frame));
    }
    return frame.cast<const NcfSingleFrame&>();
}

py::object python_raw(const RawValue& raw) {
    if (const auto* scalar = std::get_if<std::uint64_t>(&raw)) {
        return py::int_(*scalar);
    }
    return python_bytes(std::get<std::vector<std::uint8_t>>(raw));
}

py::object python_signal_value(const SignalValue& value) {
    return std::visit(
        [](const auto& alternative) -> py::object {
            using T = std::decay_t<decltype(alternative)>;
            if constexpr (std::is_same_v<T, std::uint64_t>) {
                return py::int_(alternative);
            } else if constexpr (std::is_same_v<T, double>) {
                return py::float_(alternative);
            } else if constexpr (std::is_same_v<T, std::string>) {
                return python_text(alternative);
            } else {
                return python_bytes(alternative);
            }
        },
        value);
}

// The read-only record decode() gives per signal: a named tuple of the C
// kind (like os.stat_result), cheap to make, compared and unpacked as a
// tuple.
py::object decoded_signal_type() {
    static PyStructSequence_Field fields[] = {
        {"raw", "the raw value: an int for a scalar, bytes for a byte array"},
        {"value",
         "what the raw value means: a float (physical), a str (logical text or ASCII), an int "
         "(BCD number, or the raw value when no line covers it), bytes (a byte array no line "
         "covers)"},
        {"unit", "the physical line's text (its unit), or None"},
        {"kind", "which kind of value line matched: 'physical', 'logical', 'bcd', 'ascii', or 'raw'"},
        {nullptr, nullptr},
    };
    static PyStructSequence_Desc description = {
        "tolvane.DecodedSignal",
        "One signal's decoded value: raw, value, unit, kind.",
        fields,
        4,
    };
    PyTypeObject* type = PyStructSequence_NewType(&description);
    if (type == nullptr) {
        throw py::error_already_set();
    }
    return py::reinterpret_steal<py::object>(reinterpret_cast<PyObject*>(type));
}

// The five kind names, made once and shared by every record.
using KindNames = std::array<py::object, 5>;

KindNames kind_names() {
    KindNames names;
    for (const ValueKind kind :
         {ValueKind::physical, ValueKind::logical, ValueKind::bcd, ValueKind::ascii, ValueKind::raw}) {
        names[static_cast<std::size_t>(kind)] = python_text(kind_name(kind));
    }
    return names;
}

py::object decoded_record(py::handle type, const KindNames& kinds, const DecodedSignal& decoded) {
    PyObject* record = PyStructSequence_New(reinterpret_cast<PyTypeObject*>(type.ptr()));
    if (record == nullptr) {
        throw py::error_already_set();
    }
    const py::object result = py::reinterpret_steal<py::object>(record);
    const py::object items[] = {
        python_raw(decoded.raw),
        python_signal_value(decoded.value),
        decoded.unit ? py::object(python_text(*decoded.unit)) : py::none(),
        kinds[static_cast<std::size_t>(decoded.kind)],
    };
    for (Py_ssize_t i = 0; i < 4; ++i) {
        PyStructSequence_SetItem(record, i, items[i].inc_ref().ptr());
    }
    return result;
}

bool unused_bits_set(int unused_bits) {
    if (unused_bits != 0 && unused_bits != 1) {
        throw py::value_error("unused_bits is 0 or 1");
    }
    return unused_bits == 1;
}

// Each name and value of a call's `values` (none when it gave none), turned
// into what the codec takes by `convert`.
template <class Convert>
auto converted_values(const std::optional<py::dict>& values, Convert convert) {
    std::vector<decltype(convert(py::handle(), py::handle()))> converted;
    if (values) {
        converted.reserve(values->size());
        for (const auto& [name, value] : *values) {
            converted.push_back(convert(name, value));
        }
    }
    return converted;
}

void bind_raw_codec(py::module_& module) {
    module.def(
        "pack",
        [](const NcfSingleFrame& frame, std::optional<py::dict> values, int unused_bits) {
            const bool set = unused_bits_set(unused_bits);
            const FrameLayout layout(frame);
            const std::vector<NamedRawValue> raw = converted_values(
                values, [&](py::handle name, py::handle value) { return raw_value(frame, name, value); });
            return python_bytes(layout.pack(raw, set));
        },
        py::arg("frame"), py::arg("values") = py::none(), py::kw_only(), py::arg("unused_bits") = 0,
        "The data bytes of a frame from the raw values of its signals: an int for a scalar, bytes or a "
        "sequence "
        "of ints for a byte array; a signal not in 'values' takes its initial value, bits no signal uses are "
        "'unused_bits'. CodecError for an unusable frame or a value that does not fit.");
    module.def(
        "unpack",
        [](const NcfSingleFrame& frame, py::buffer data) {
            const FrameLayout layout(frame);
            py::dict values;
            for (const NamedRawValue& value : layout.unpack(data_bytes(data))) {
                set_item(values, python_text(value.name), python_raw(value.value));
            }
            return values;
        },
        py::arg("frame"), py::arg("data"),
        "The raw value of every signal of a frame from its data bytes, in the frame's order: an int for a "
        "scalar, bytes for a byte array. CodecError for an unusable frame or data of another length.");
    module.def(
        "protected_id", [](std::int64_t frame_id) { return protected_id(frame_id); }, py::arg("frame_id"),
        "The protected identifier of a frame identifier 0..0x3F: the identifier with its parity bits P0 "
        "(bit 6) and P1 (bit 7).");
    module.def(
        "checksum",
        [](py::buffer data, std::optional<std::int64_t> pid) {
            if (pid && (*pid < 0 || *pid > 0xFF)) {
                throw CodecError("A protected identifier is a byte, not " + std::to_string(*pid));
            }
            const std::vector<std::uint8_t> bytes = data_bytes(data);
            return checksum(
                bytes, pid ? std::optional<std::uint8_t>(static_cast<std::uint8_t>(*pid)) : std::nullopt);
        },
        py::arg("data"), py::arg("protected_id") = py::none(),
        "The LIN checksum of data bytes: classic without a protected identifier, enhanced (the identifier "
        "counted first) with one.");
}

void bind_encoded_codec(py::module_& module) {
    const py::object record_type = decoded_signal_type();
    module.attr("DecodedSignal") = record_type;
    module.def(
        "encode",
        [](const NcfNodeDef& node, py::handle frame, std::optional<py::dict> values, int unused_bits) {
            const bool set = unused_bits_set(unused_bits);
            const EncodedFrame encoded(node, frame_argument(node, frame));
            const std::vector<NamedInput> inputs = converted_values(
                values,
                [&](py::handle name, py::handle value) { return encoding_input(encoded, name, value); });
            return python_bytes(encoded.encode(inputs, set));
        },
        py::arg("node"), py::arg("frame"), py::arg("values") = py::none(), py::kw_only(),
        py::arg("unused_bits") = 0,
        "The data bytes of a frame of 'node' (a record or a frame's name) from the values of its signals, "
        "through the node's encodings: a number (a physical value, a BCD number, or a raw value), a "
        "logical text, ASCII text or bytes for a byte array; a signal not in 'values' takes its initial "
        "value. CodecError for an unusable frame, an undefined encoding, or a value no line takes.");
    module.def(
        "decode",
        [record_type, kinds = kind_names()](const NcfNodeDef& node, py::handle frame, py::buffer data) {
            const EncodedFrame encoded(node, frame_argument(node, frame));
            py::dict values;
            for (const DecodedSignal& decoded : encoded.decode(data_bytes(data))) {
                set_item(values, python_text(decoded.name), decoded_record(record_type, kinds, decoded));
            }
            return values;
        },
        py::arg("node"), py::arg("frame"), py::arg("data"),
        "Every signal of a frame of 'node' (a record or a frame's name) decoded from its data bytes through "
        "the node's encodings, in the frame's order, as DecodedSignal(raw, value, unit, kind). Never fails "
        "on the bytes of a usable frame; CodecError for an unusable frame, an undefined encoding, or data "
        "of another length.");
}

}  // namespace

void bind_codec(py::module_& module) {
    py::register_exception<CodecError>(module, "CodecError", PyExc_ValueError);
    module.attr("CodecError").attr("__doc__") =
        "A frame or a value the codec cannot use; the message names the frame and the signal.";
    // Tried before the translator above: the whole message, past any NUL in a name.
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) {
                std::rethrow_exception(thrown);
            }
        } catch (const CodecError& error) {
            const py::object type = py::module_::import("tolvane").attr("CodecError");
            PyErr_SetObject(type.ptr(), python_text(error.message()).ptr());
        }
    });
    bind_raw_codec(module);
    bind_encoded_codec(module);
}

void bind_frame_drawing(py::module_& module) {
    module.def(
        "draw_frame",
        [](const NcfNodeDef& node, py::handle frame, bool ascii) {
            return python_text(draw_frame(node, frame_argument(node, frame), DrawOptions{.ascii = ascii}));
        },
        py::arg("node"), py::arg("frame"), py::kw_only(), py::arg("ascii") = false,
        "A frame of 'node' (a record or a frame's name) drawn as text, as tolvane dump draws it: one row per "
        "data byte, bit 7 at the left, each bit marked with its signal's mark (> before a signal's first bit, "
        "! where signals overlap, # for an event-triggered frame's identifier byte, a dot where no signal is), "
        "then one line per signal and the value lines of the encodings they use. Box-drawing characters, or "
        "ASCII with ascii=True. CodecError when the node has no frame of that name.");
}

void bind_c_code(py::module_& module) {
    module.def(
        "generate_c",
        [](const NcfNodeDef& node, std::optional<std::string> prefix, bool floating_point, int unused_bits,
           std::string source) {
            CCodeOptions options;
            options.prefix = prefix.value_or("");
            options.source = std::move(source);
            options.version = TOLVANE_VERSION;
            options.floating_point = floating_point;
            options.unused_bits_set = unused_bits_set(unused_bits);
            CCode code = generate_c(node, options);
            return py::make_tuple(python_text(code.header_name), python_text(code.header),
                                  python_text(code.source_name), python_text(code.source));
        },
        py::arg("node"), py::arg("prefix") = py::none(), py::kw_only(), py::arg("floating_point") = true,
        py::arg("unused_bits") = 0, py::arg("source") = "",
        "C99 code for the frames of 'node', as (header name, header, source name, source): for each frame its "
        "length, a struct of its signals' raw values, and pack, unpack and init functions that agree with "
        "pack() and unpack(); for each scalar signal is_in_range, and with a physical encoding decode and "
        "encode (floating_point=False leaves those out); for each logical value a #define. Every name begins "
        "with 'prefix' (default: the node's name). 'source' is the file named in the first comment. "
        "CodecError for a frame the codec refuses, ValueError for two names that become one C name.");
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) {
                std::rethrow_exception(thrown);
            }
        } catch (const CannotGenerate& error) {
            PyErr_SetString(PyExc_ValueError, error.what());
        }
    });
}

}  // namespace tolvane
