// What the rule sources share: the list findings go to, the node being
// checked, and the wording of numbers and names in messages.
#pragma once

#include <charconv>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/diagnostic.hpp"
#include "model/ncf_records.hpp"

namespace tolvane::detail {

// Collects findings as Diagnostics of one file.
class Findings {
public:
    Findings(std::string_view filename, std::vector<Diagnostic>& out) : filename_(filename), out_(out) {}

    void error(std::string_view code, SourcePosition where, std::string message) {
        add(Diagnostic::Severity::Error, code, where, std::move(message));
    }
    void warning(std::string_view code, SourcePosition where, std::string message) {
        add(Diagnostic::Severity::Warning, code, where, std::move(message));
    }
    void info(std::string_view code, SourcePosition where, std::string message) {
        add(Diagnostic::Severity::Info, code, where, std::move(message));
    }
    void add(Diagnostic::Severity severity, std::string_view code, SourcePosition where,
             std::string message) {
        out_.push_back(Diagnostic{severity, std::string(filename_), where.line, where.column,
                                  std::move(message), std::string(code)});
    }

private:
    std::string_view filename_;
    std::vector<Diagnostic>& out_;
};

// How a node's protocol version bends the rules that differ between
// versions. A version the rules do not know gets only what every version
// shares.
enum class ProtocolFamily {
    Lin20,  // "1.3", "2.0": before the functional NAD and the mandatory services
    Lin21,  // "2.1", "2.2" and ISO 17987
    J2602,  // SAE J2602: 3-bit error field, 0xB5 is the targeted reset
    Unknown,
};

ProtocolFamily protocol_family(std::string_view protocol_version);
bool known_language_version(std::string_view version);
bool known_protocol_version(std::string_view version);

// The node being checked, and what the rules of every section share.
struct NodeScope {
    const NcfNodeDef& node;
    ProtocolFamily family;
    Findings& findings;
    // The first node of the file that defines each encoding name.
    const std::unordered_map<std::string_view, const NcfNodeDef*>& encoding_nodes;
};

void check_versions(NodeScope& scope);
void check_general(NodeScope& scope);
void check_diagnostic(NodeScope& scope);
void check_frames(NodeScope& scope);
void check_encodings(NodeScope& scope);
void check_status(NodeScope& scope);

// The first position of `candidates` that the text provided: the place to
// report at when the usual one was never written.
inline SourcePosition first_known(std::initializer_list<SourcePosition> candidates) {
    for (const SourcePosition position : candidates) {
        if (position.known()) {
            return position;
        }
    }
    return {};
}

// ---------------------------------------------------------------------------
// Message wording
// ---------------------------------------------------------------------------

// A name in single quotes, as the parser's messages quote text.
inline std::string quoted(std::string_view name) {
    std::string text;
    text.reserve(name.size() + 2);
    text += '\'';
    text += name;
    text += '\'';
    return text;
}

// An identifier (supplier, function, NAD, service id) as 0x%0*X; a negative
// one in decimal, since a negative hexadecimal number reads as a mistake of
// its own.
inline std::string hex_id(std::int64_t value, int digits) {
    if (value < 0) {
        return std::to_string(value);
    }
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, static_cast<std::uint64_t>(value), 16).ptr;
    std::string hex(buffer, end);
    for (char& c : hex) {
        if (c >= 'a' && c <= 'f') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    const auto padding =
        digits > static_cast<int>(hex.size()) ? static_cast<std::size_t>(digits) - hex.size() : 0;
    return "0x" + std::string(padding, '0') + hex;
}

// Any other number in the shortest form that reads back as the same value:
// 19.2, 8, -0.5.
inline std::string number(double value) {
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

inline std::string decimal(std::int64_t value) {
    return std::to_string(value);
}

}  // namespace tolvane::detail
