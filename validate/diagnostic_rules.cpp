// The diagnostic section: node addresses, diagnostic class, transport-layer
// timing and the diagnostic services.
#include <algorithm>
#include <array>
#include <unordered_set>

#include "validate/findings.hpp"

namespace tolvane::detail {

namespace {

constexpr std::int32_t go_to_sleep_nad = 0x00;
constexpr std::int32_t functional_nad = 0x7E;
constexpr std::int32_t broadcast_nad = 0x7F;

// The functional NAD exists since LIN 2.1; older nodes (and J2602 ones) may
// have used the value before it was reserved.
Diagnostic::Severity functional_nad_severity(ProtocolFamily family) {
    return family == ProtocolFamily::Lin21 ? Diagnostic::Severity::Error : Diagnostic::Severity::Warning;
}

std::string_view reserved_nad_purpose(std::int32_t nad) {
    switch (nad) {
        case go_to_sleep_nad:
            return "go-to-sleep";
        case functional_nad:
            return "functional";
        default:
            return "broadcast";
    }
}

Diagnostic::Severity reserved_nad_severity(const NodeScope& scope, std::int32_t nad) {
    return nad == functional_nad ? functional_nad_severity(scope.family) : Diagnostic::Severity::Error;
}

void check_nad_value(NodeScope& scope, std::int32_t nad, SourcePosition where) {
    if (nad < 0 || nad > 0xFF) {
        scope.findings.error("nad", where, "NAD " + hex_id(nad, 2) + " does not fit 8 bits");
    } else if (nad == go_to_sleep_nad || nad == functional_nad || nad == broadcast_nad) {
        scope.findings.add(
            reserved_nad_severity(scope, nad), "nad", where,
            "NAD " + hex_id(nad, 2) + " is reserved (" + std::string(reserved_nad_purpose(nad)) + ")");
    } else if (nad >= 0x80) {
        scope.findings.warning("nad", where,
                               "NAD " + hex_id(nad, 2) + " is in the free-usage range 0x80..0xFF");
    }
}

// NAD = a to b: both ends, the order, and the reserved NADs strictly inside
// (the ends are checked as values). Those are reported at the range's first
// value, the one place the text gives for the whole range.
void check_nad_range(NodeScope& scope, const NcfDiagnosticDef& diagnostic) {
    const std::int32_t low = diagnostic.nad_lhs;
    const std::int32_t high = *diagnostic.nad_rhs;
    const std::string range = "NAD range " + hex_id(low, 2) + " to " + hex_id(high, 2);
    check_nad_value(scope, low, diagnostic.positions.nad_lhs);
    check_nad_value(scope, high, diagnostic.positions.nad_rhs);
    if (low > high) {
        scope.findings.error("nad-range", diagnostic.positions.nad, range + " is reversed");
        return;
    }
    if (low == high) {
        scope.findings.warning("nad-range", diagnostic.positions.nad, range + " holds one NAD");
        return;
    }
    for (const std::int32_t reserved : {go_to_sleep_nad, functional_nad, broadcast_nad}) {
        if (low < reserved && reserved < high) {
            scope.findings.add(reserved_nad_severity(scope, reserved), "nad", diagnostic.positions.nad_lhs,
                               range + " contains reserved NAD " + hex_id(reserved, 2));
        }
    }
}

// NAD = a, b, c: each value where it first appears; a repeat is reported as
// such and not checked again.
void check_nad_list(NodeScope& scope, const NcfDiagnosticDef& diagnostic) {
    std::unordered_set<std::int32_t> seen;
    const auto check_item = [&](std::int32_t nad, SourcePosition where) {
        if (!seen.insert(nad).second) {
            scope.findings.warning("nad-duplicate", where, "NAD " + hex_id(nad, 2) + " is listed twice");
        } else {
            check_nad_value(scope, nad, where);
        }
    };
    check_item(diagnostic.nad_lhs, diagnostic.positions.nad_lhs);
    for (std::size_t i = 0; i < diagnostic.nad_list.size(); ++i) {
        check_item(diagnostic.nad_list[i], i < diagnostic.positions.nad_list.size()
                                               ? diagnostic.positions.nad_list[i]
                                               : SourcePosition{});
    }
}

void check_nads(NodeScope& scope) {
    const NcfDiagnosticDef& diagnostic = scope.node.diagnostic;
    if (diagnostic.nad_rhs) {
        check_nad_range(scope, diagnostic);
    } else {
        check_nad_list(scope, diagnostic);
    }
}

void check_diagnostic_class(NodeScope& scope) {
    const NcfDiagnosticDef& diagnostic = scope.node.diagnostic;
    if (diagnostic.diagnostic_class) {
        const std::int32_t value = *diagnostic.diagnostic_class;
        if (value < 1 || value > 3) {
            scope.findings.error("diagnostic-class", diagnostic.positions.diagnostic_class,
                                 "Diagnostic class " + decimal(value) + " is not 1, 2 or 3");
        }
    } else if (scope.family == ProtocolFamily::Lin21) {
        scope.findings.warning("diagnostic-class-missing", diagnostic.positions.start,
                               "Node " + quoted(scope.node.name) + " has no diagnostic class");
    }
}

void check_time(NodeScope& scope, std::string_view name, const std::optional<double>& time,
                SourcePosition where, bool is_timeout) {
    if (!time) {
        return;
    }
    if (*time < 0) {
        scope.findings.error("negative-time", where,
                             std::string(name) + " is negative (" + number(*time) + " ms)");
    } else if (is_timeout && *time == 0) {
        scope.findings.warning("zero-timeout", where, std::string(name) + " is 0 ms");
    }
}

void check_times(NodeScope& scope) {
    const NcfDiagnosticDef& diagnostic = scope.node.diagnostic;
    const NcfDiagnosticDef::Positions& positions = diagnostic.positions;
    check_time(scope, "P2_min", diagnostic.p2_min, positions.p2_min, false);
    check_time(scope, "ST_min", diagnostic.st_min, positions.st_min, false);
    check_time(scope, "N_As_timeout", diagnostic.n_as_timeout, positions.n_as_timeout, true);
    check_time(scope, "N_Cr_timeout", diagnostic.n_cr_timeout, positions.n_cr_timeout, true);
}

constexpr std::int32_t read_by_identifier = 0xB2;
constexpr std::int32_t assign_frame_identifier_range = 0xB7;
constexpr std::int32_t targeted_reset = 0xB5;  // J2602's; reserved in LIN 2.x

// Each service id where it first appears; a repeat is reported as such.
void check_service_ids(NodeScope& scope) {
    const NcfDiagnosticDef& diagnostic = scope.node.diagnostic;
    std::unordered_set<std::int32_t> seen;
    for (std::size_t i = 0; i < diagnostic.support_sids.size(); ++i) {
        const std::int32_t sid = diagnostic.support_sids[i];
        const SourcePosition where = i < diagnostic.positions.support_sids.size()
                                         ? diagnostic.positions.support_sids[i]
                                         : diagnostic.positions.support_sid;
        if (!seen.insert(sid).second) {
            scope.findings.warning("service-id", where, "Service ID " + hex_id(sid, 2) + " is listed twice");
        } else if (sid < 0 || sid > 0xFF) {
            scope.findings.error("service-id", where,
                                 "Service ID " + hex_id(sid, 2) + " does not fit 8 bits");
        } else if (sid == targeted_reset && scope.family != ProtocolFamily::J2602) {
            scope.findings.warning("service-id", where, "Service ID 0xB5 is reserved in LIN 2.x");
        }
    }
    if (scope.family != ProtocolFamily::Lin21 || !diagnostic.positions.support_sid.known()) {
        return;
    }
    const auto& sids = diagnostic.support_sids;
    for (const std::int32_t mandatory : {read_by_identifier, assign_frame_identifier_range}) {
        if (std::find(sids.begin(), sids.end(), mandatory) == sids.end()) {
            scope.findings.warning(
                "mandatory-service", diagnostic.positions.support_sid,
                "Service ID " + hex_id(mandatory, 2) + " is mandatory and missing from support_sid");
        }
    }
}

// A first frame's length field has 12 bits.
void check_max_message_length(NodeScope& scope) {
    const NcfDiagnosticDef& diagnostic = scope.node.diagnostic;
    if (diagnostic.max_message_length &&
        (*diagnostic.max_message_length < 1 || *diagnostic.max_message_length > 4095)) {
        scope.findings.error(
            "max-message-length", diagnostic.positions.max_message_length,
            "Maximum message length " + decimal(*diagnostic.max_message_length) + " is outside 1..4095");
    }
}

}  // namespace

void check_diagnostic(NodeScope& scope) {
    check_nads(scope);
    check_diagnostic_class(scope);
    check_times(scope);
    check_service_ids(scope);
    check_max_message_length(scope);
}

}  // namespace tolvane::detail
