// The JSON document of `tolvane json` written straight from the records,
// byte for byte what json.dumps(to_dict(...), indent=2) writes: keys in field
// order, two spaces a level, ASCII only (\uXXXX escapes, surrogate pairs above
// U+FFFF), floats as Python's repr() writes them, NaN and Infinity as Python's
// json does. Building the dicts and serialising them took several times the
// parse; this takes less than the parse.
#pragma once

#include <pybind11/pybind11.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "model/diagnostic.hpp"
#include "model/ncf_records.hpp"
#include "python/text.hpp"

namespace tolvane {

namespace detail {

class JsonWriter {
public:
    // `sink` takes the text a chunk at a time, so that a large document
    // never stands whole in memory (first-touch page faults of a 50 MB
    // buffer cost as much as the writing).
    JsonWriter(bool with_positions, std::function<void(std::string_view)> sink)
        : with_positions_(with_positions), sink_(std::move(sink)) {
        out_.reserve(chunk_size + chunk_size / 4);
    }

    void finish() {
        sink_(out_);
        out_.clear();
    }

    template <class Value>
    void value(const Value& value, int depth) {
        if constexpr (described_record<Value>) {
            record(value, depth);
        } else if constexpr (std::is_same_v<Value, Diagnostic::Severity>) {
            ascii_string(severity_name(value));
        } else if constexpr (is_optional<Value>::value) {
            if (value) {
                this->value(*value, depth);
            } else {
                out_ += "null";
            }
        } else if constexpr (is_list<Value>::value) {
            list(value, depth);
        } else if constexpr (std::is_same_v<Value, bool>) {
            out_ += value ? "true" : "false";
        } else if constexpr (std::is_same_v<Value, double>) {
            number(value);
        } else if constexpr (std::is_integral_v<Value>) {
            integer(value);
        } else {
            string(value);
        }
    }

    // An object of (key, write-the-value) pairs, as json.dumps lays one out.
    template <class... Members>
    void object(int depth, const Members&... members) {
        bool first = true;
        out_ += '{';
        const auto member = [&](const auto& pair) {
            separator(first);
            first = false;
            indent(depth + 1);
            ascii_string(pair.first);
            out_ += ": ";
            pair.second(depth + 1);
        };
        (member(members), ...);
        out_ += '\n';
        indent(depth);
        out_ += '}';
    }

private:
    template <described_record Record>
    void record(const Record& record, int depth) {
        out_ += '{';
        bool first = true;
        // Field names are identifiers: written as they are, nothing to escape.
        const auto key = [&](std::string_view name) {
            separator(first);
            first = false;
            indent(depth + 1);
            out_ += '"';
            out_ += name;
            out_ += "\": ";
        };
        for_each_field<Record>([&](const auto& described) {
            key(described.name);
            value(described.of(record), depth + 1);
        });
        if constexpr (positioned_record<Record>) {
            if (with_positions_) {
                key("line");
                integer(record.positions.start.line);
                key("column");
                integer(record.positions.start.column);
            }
        }
        if (first) {
            out_ += '}';
            return;
        }
        out_ += '\n';
        indent(depth);
        out_ += '}';
    }

    template <class Item>
    void list(const std::vector<Item>& items, int depth) {
        if (items.empty()) {
            out_ += "[]";
            return;
        }
        out_ += '[';
        for (std::size_t i = 0; i < items.size(); ++i) {
            separator(i == 0);
            indent(depth + 1);
            value(items[i], depth + 1);
        }
        out_ += '\n';
        indent(depth);
        out_ += ']';
    }

    template <class Integer>
    void integer(Integer value) {
        char buffer[24];
        out_.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
    }

    void separator(bool first) {
        if (out_.size() >= chunk_size) {
            finish();
        }
        if (!first) {
            out_ += ',';
        }
        out_ += '\n';
    }

    void indent(int depth) { out_.append(static_cast<std::size_t>(2 * depth), ' '); }

    // float.__repr__, as json.dumps calls it; json's names for the rest.
    void number(double value) {
        if (value != value) {
            out_ += "NaN";
        } else if (value == std::numeric_limits<double>::infinity()) {
            out_ += "Infinity";
        } else if (value == -std::numeric_limits<double>::infinity()) {
            out_ += "-Infinity";
        } else {
            char* text = PyOS_double_to_string(value, 'r', 0, Py_DTSF_ADD_DOT_0, nullptr);
            if (text == nullptr) {
                throw pybind11::error_already_set();
            }
            out_ += text;
            PyMem_Free(text);
        }
    }

    // Text bytes as the module shows them (UTF-8, a stray byte as \xNN),
    // escaped as json.dumps escapes them with ensure_ascii.
    void string(std::string_view bytes) {
        const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        if (ascii) {
            ascii_string(bytes);
            return;
        }
        const pybind11::str text = python_text(bytes);
        const Py_ssize_t length = PyUnicode_GET_LENGTH(text.ptr());
        const int kind = PyUnicode_KIND(text.ptr());
        const void* data = PyUnicode_DATA(text.ptr());
        out_ += '"';
        for (Py_ssize_t i = 0; i < length; ++i) {
            character(PyUnicode_READ(kind, data, i));
        }
        out_ += '"';
    }

    void ascii_string(std::string_view text) {
        out_ += '"';
        // Names and numbers' texts rarely need an escape: copy runs whole.
        std::size_t run = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
                continue;
            }
            out_.append(text.substr(run, i - run));
            character(c);
            run = i + 1;
        }
        out_.append(text.substr(run));
        out_ += '"';
    }

    void character(Py_UCS4 c) {
        switch (c) {
            case '"':
                out_ += "\\\"";
                return;
            case '\\':
                out_ += "\\\\";
                return;
            case '\n':
                out_ += "\\n";
                return;
            case '\r':
                out_ += "\\r";
                return;
            case '\t':
                out_ += "\\t";
                return;
            case '\b':
                out_ += "\\b";
                return;
            case '\f':
                out_ += "\\f";
                return;
            default:
                break;
        }
        if (c >= 0x20 && c < 0x7F) {
            out_ += static_cast<char>(c);
        } else if (c <= 0xFFFF) {
            escape(c);
        } else {
            const Py_UCS4 v = c - 0x10000;
            escape(0xD800 | (v >> 10));
            escape(0xDC00 | (v & 0x3FF));
        }
    }

    void escape(Py_UCS4 unit) {
        static constexpr char digits[] = "0123456789abcdef";
        out_ += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4) {
            out_ += digits[(unit >> shift) & 0xF];
        }
    }

    static constexpr std::size_t chunk_size = std::size_t{1} << 20;

    bool with_positions_;
    std::function<void(std::string_view)> sink_;
    std::string out_;
};

}  // namespace detail

// {"ncf_file": ..., "diagnostics": [...]} as `tolvane json` prints it,
// without the final newline, handed to `sink` in chunks.
inline void write_json_document(const NcfFile& file, const std::vector<Diagnostic>& diagnostics,
                                bool with_positions, std::function<void(std::string_view)> sink) {
    detail::JsonWriter writer(with_positions, std::move(sink));
    writer.object(
        0, std::pair{std::string_view("ncf_file"), [&](int depth) { writer.value(file, depth); }},
        std::pair{std::string_view("diagnostics"), [&](int depth) { writer.value(diagnostics, depth); }});
    writer.finish();
}

}  // namespace tolvane
