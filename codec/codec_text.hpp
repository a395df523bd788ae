// How the codec's messages name frames, signals and numbers.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

#include "../model/ncf_records.hpp"

namespace tolvane::codec_text {

// Built by appending: GCC 12 at -O3 wrongly reports the inlined
// "'" + std::string(name) as an overlapping memcpy (-Wrestrict).
inline std::string quoted(std::string_view name) {
    std::string text;
    text.reserve(name.size() + 2);
    text += '\'';
    text += name;
    text += '\'';
    return text;
}

// Whether two names are the same, comparing their lengths and last
// characters first: the names of one frame or node often share a prefix.
inline bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() && (a.empty() || a.back() == b.back()) && a == b;
}

// "signal 'S' of frame 'F'"
inline std::string signal_place(std::string_view signal, std::string_view frame) {
    return "signal " + quoted(signal) + " of frame " + quoted(frame);
}

inline std::string signal_place(const NcfSignalDef& signal, const NcfSingleFrame& frame) {
    return signal_place(signal.name, frame.name);
}

// "1 bit", "8 bits"
inline std::string bits(std::int64_t count) {
    return std::to_string(count) + (count == 1 ? " bit" : " bits");
}

// The shortest text that reads back as `value`.
inline std::string number(double value) {
    char buffer[32];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

}  // namespace tolvane::codec_text
