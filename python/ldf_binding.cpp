// ldf(): the LIN description file of a cluster, from parsed files or paths
// and the cluster's settings as a dict.
#include "python/ldf_binding.hpp"

#include <pybind11/stl.h>

#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ldf/cluster.hpp"
#include "parser/ncf_parser.hpp"
#include "python/text.hpp"
#include "python/text_argument.hpp"

namespace py = pybind11;

namespace tolvane {

namespace {

std::string type_name(py::handle value) {
    return py::type::handle_of(value).attr("__name__").cast<std::string>();
}

[[noreturn]] void wrong_type(std::string_view key, std::string_view expected, py::handle value) {
    throw py::type_error("settings['" + std::string(key) + "']: expected " + std::string(expected) +
                         ", not " + type_name(value));
}

std::string text_setting(std::string_view key, py::handle value) {
    if (!py::isinstance<py::str>(value)) {
        wrong_type(key, "str", value);
    }
    return value.cast<std::string>();
}

double number_setting(std::string_view key, py::handle value) {
    if (py::isinstance<py::bool_>(value) ||
        !(py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value))) {
        wrong_type(key, "a number", value);
    }
    return value.cast<double>();
}

// A table of names to integers: frame identifiers or NADs.
std::vector<std::pair<std::string, std::int64_t>> table_setting(std::string_view key, py::handle value) {
    if (!py::isinstance<py::dict>(value)) {
        wrong_type(key, "a dict of names to int", value);
    }
    std::vector<std::pair<std::string, std::int64_t>> table;
    for (const auto& [name, number] : py::reinterpret_borrow<py::dict>(value)) {
        if (!py::isinstance<py::str>(name) || py::isinstance<py::bool_>(number) ||
            !py::isinstance<py::int_>(number)) {
            throw py::type_error("settings['" + std::string(key) +
                                 "']: expected a dict of names (str) to int, " + "found " + type_name(name) +
                                 ": " + type_name(number));
        }
        const long long wide = PyLong_AsLongLong(number.ptr());
        if (wide == -1 && PyErr_Occurred()) {
            PyErr_Clear();
            throw py::value_error("settings['" + std::string(key) + "']['" + name.cast<std::string>() + "']: " +
                                  py::str(number).cast<std::string>() + " is out of range");
        }
        table.emplace_back(name.cast<std::string>(), static_cast<std::int64_t>(wide));
    }
    return table;
}

// Every key the settings take, and how each is read: one table, which the
// message about an unknown key lists.
struct SettingKey {
    std::string_view name;
    std::function<void(ClusterSettings&, py::handle)> read;
};

const std::array<SettingKey, 10>& setting_keys() {
    static const std::array<SettingKey, 10> keys{{
        {"master", [](ClusterSettings& s, py::handle v) { s.master = text_setting("master", v); }},
        {"time_base",
         [](ClusterSettings& s, py::handle v) { s.time_base_ms = number_setting("time_base", v); }},
        {"jitter", [](ClusterSettings& s, py::handle v) { s.jitter_ms = number_setting("jitter", v); }},
        {"bitrate", [](ClusterSettings& s, py::handle v) { s.bitrate_kbps = number_setting("bitrate", v); }},
        {"protocol_version",
         [](ClusterSettings& s, py::handle v) { s.protocol_version = text_setting("protocol_version", v); }},
        {"language_version",
         [](ClusterSettings& s, py::handle v) { s.language_version = text_setting("language_version", v); }},
        {"channel", [](ClusterSettings& s, py::handle v) { s.channel = text_setting("channel", v); }},
        {"frame_ids", [](ClusterSettings& s, py::handle v) { s.frame_ids = table_setting("frame_ids", v); }},
        {"nads", [](ClusterSettings& s, py::handle v) { s.nads = table_setting("nads", v); }},
        {"source", [](ClusterSettings& s, py::handle v) { s.source = text_setting("source", v); }},
    }};
    return keys;
}

ClusterSettings cluster_settings(const std::optional<py::dict>& given) {
    ClusterSettings settings;
    if (!given) {
        return settings;
    }
    for (const auto& [key, value] : *given) {
        const std::string name = py::isinstance<py::str>(key) ? key.cast<std::string>() : std::string();
        const auto& keys = setting_keys();
        const auto found =
            std::find_if(keys.begin(), keys.end(), [&](const SettingKey& k) { return k.name == name; });
        if (found == keys.end()) {
            std::string known;
            for (const SettingKey& k : keys) {
                known += (known.empty() ? "" : ", ") + std::string(k.name);
            }
            throw py::value_error("settings: unknown key " + py::repr(key).cast<std::string>() +
                                  " (the keys: " + known + ")");
        }
        found->read(settings, value);
    }
    return settings;
}

// One input: an NcfFile (taken as it is), an (NcfFile, diagnostics) pair, or
// the name of a file to read and parse.
ClusterFile cluster_file(py::handle item, bool lenient) {
    if (py::isinstance<NcfFile>(item)) {
        return {item.cast<NcfFile>(), {}};
    }
    if (py::isinstance<py::tuple>(item) && py::len(item) == 2 && py::isinstance<NcfFile>(item[py::int_(0)])) {
        return {item[py::int_(0)].cast<NcfFile>(), item[py::int_(1)].cast<std::vector<Diagnostic>>()};
    }
    py::detail::make_caster<FileNameArgument> name;
    if (!name.load(item, true)) {
        throw py::type_error("ldf() takes NcfFile, (NcfFile, diagnostics) or file names, not " +
                             type_name(item));
    }
    NcfParser parser =
        NcfParser::from_file(static_cast<FileNameArgument&>(name).bytes(), ParseOptions{.lenient = lenient});
    NcfFile file = parser.parse();
    return {std::move(file), parser.get_diagnostics()};
}

}  // namespace

void bind_ldf(py::module_& module) {
    module.def(
        "ldf",
        [](const py::iterable& files, const std::optional<py::dict>& settings, bool lenient) {
            const ClusterSettings cluster = cluster_settings(settings);
            std::vector<ClusterFile> inputs;
            for (const py::handle item : files) {
                inputs.push_back(cluster_file(item, lenient));
            }
            LdfResult result;
            {
                const py::gil_scoped_release unlocked;
                result = make_ldf(inputs, cluster);
            }
            py::object text = result.text ? py::object(py::bytes(*result.text)) : py::object(py::none());
            return std::pair(text, std::move(result.diagnostics));
        },
        py::arg("files"), py::arg("settings") = py::none(), py::kw_only(), py::arg("lenient") = false,
        "The LIN description file (LDF) of the cluster of the nodes of 'files' (each an NcfFile, an "
        "(NcfFile, "
        "diagnostics) pair or a file name, read with lenient=lenient), and every diagnostic: each file's "
        "own, then "
        "the cluster's. 'settings' holds what only the cluster knows: master (required), time_base and "
        "jitter "
        "(ms), bitrate (kbps), protocol_version, language_version, channel, frame_ids and nads (dicts of "
        "names to "
        "int), source (the name diagnostics about the settings report). The text is bytes (string literals "
        "in ISO "
        "8859-1), None when an error stops it.");
}

}  // namespace tolvane
