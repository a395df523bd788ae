// The status management section: the signals it names must be ones the
// node sends.
#include <unordered_set>

#include "validate/findings.hpp"

namespace tolvane::detail {

namespace {

// A LIN 2.x node reports a response error in one bit; a J2602 node in a
// 3-bit error field.
std::int32_t response_error_size(ProtocolFamily family) {
    return family == ProtocolFamily::J2602 ? 3 : 1;
}

void check_response_error(NodeScope& scope) {
    const NcfStatusManagement& status = scope.node.status;
    const SourcePosition where = first_known({status.positions.response_error, status.positions.start});
    const auto found = scope.published_signals.find(status.response_error);
    if (found == scope.published_signals.end()) {
        scope.findings.error("response-error", where,
                             "Response error signal " + quoted(status.response_error) +
                                 " is not a signal of a frame that node " + quoted(scope.node.name) +
                                 " publishes");
        return;
    }
    const NcfSignalProperties& properties = found->second.signal->properties;
    const std::int32_t expected = response_error_size(scope.family);
    if (properties.init_value.is_array || properties.size != expected) {
        scope.findings.warning("response-error-size", where,
                               "Response error signal " + quoted(status.response_error) + " has size " +
                                   decimal(properties.size) + ", expected " + decimal(expected));
    }
}

void check_fault_state_signals(NodeScope& scope) {
    const NcfStatusManagement& status = scope.node.status;
    std::unordered_set<std::string_view> seen;
    for (std::size_t i = 0; i < status.fault_state_signals.size(); ++i) {
        const std::string& name = status.fault_state_signals[i];
        const SourcePosition where = i < status.positions.fault_state_signals.size()
                                         ? status.positions.fault_state_signals[i]
                                         : status.positions.start;
        if (!seen.insert(name).second) {
            scope.findings.warning("fault-state-signal", where,
                                   "Fault state signal " + quoted(name) + " is listed twice");
        } else if (!scope.published_signals.contains(name)) {
            scope.findings.error("fault-state-signal", where,
                                 "Fault state signal " + quoted(name) +
                                     " is not a signal of a frame that node " + quoted(scope.node.name) +
                                     " publishes");
        }
    }
}

}  // namespace

void check_status(NodeScope& scope) {
    check_response_error(scope);
    check_fault_state_signals(scope);
}

}  // namespace tolvane::detail
