// The LIN language and protocol versions a file may name.
#include <algorithm>

#include "validate/findings.hpp"

namespace tolvane::detail {

namespace {

bool all_digits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "ISO17987:" followed by a year.
bool iso_version(std::string_view version) {
    constexpr std::string_view prefix = "ISO17987:";
    return version.starts_with(prefix) && version.size() == prefix.size() + 4 &&
           all_digits(version.substr(prefix.size()));
}

// `prefix` followed by digits "." digits, as in "J2602_1_1.0".
bool j2602_version(std::string_view version, std::string_view prefix) {
    if (!version.starts_with(prefix)) {
        return false;
    }
    const std::string_view rest = version.substr(prefix.size());
    const std::size_t point = rest.find('.');
    return point != std::string_view::npos && all_digits(rest.substr(0, point)) &&
           all_digits(rest.substr(point + 1));
}

}  // namespace

bool known_language_version(std::string_view version) {
    return version == "2.0" || version == "2.1" || version == "2.2" || iso_version(version) ||
           j2602_version(version, "J2602_3_");
}

bool known_protocol_version(std::string_view version) {
    return version == "1.3" || version == "2.0" || version == "2.1" || version == "2.2" ||
           iso_version(version) || j2602_version(version, "J2602_1_");
}

// The family goes by the version's prefix, so that "J2602_1_2" (a J2602
// version written unusually) still gets J2602's error field, while the
// version itself is reported as unknown.
ProtocolFamily protocol_family(std::string_view version) {
    if (version == "1.3" || version == "2.0") {
        return ProtocolFamily::Lin20;
    }
    if (version == "2.1" || version == "2.2" || version.starts_with("ISO17987")) {
        return ProtocolFamily::Lin21;
    }
    if (version.starts_with("J2602")) {
        return ProtocolFamily::J2602;
    }
    return ProtocolFamily::Unknown;
}

// LIN_protocol_version of a node.
void check_versions(NodeScope& scope) {
    const NcfGeneralDef& general = scope.node.general;
    if (!known_protocol_version(general.protocol_version)) {
        scope.findings.warning("protocol-version",
                               first_known({general.positions.protocol_version, general.positions.start}),
                               "Unknown LIN protocol version " + quoted(general.protocol_version) +
                                   " in node " + quoted(scope.node.name));
    }
}

}  // namespace tolvane::detail
