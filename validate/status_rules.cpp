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

// The signals the section names, each the first of its name in a frame the
// node publishes (null when there is none): one pass over the signals, each
// looked up among the few names wanted.
using NamedSignals = std::unordered_map<std::string_view, const NcfSignalDef*>;

NamedSignals published_signals_named(const NcfNodeDef& node) {
    NamedSignals wanted;
    wanted.emplace(node.status.response_error, nullptr);
    for (const std::string& name : node.status.fault_state_signals) {
        wanted.emplace(name, nullptr);
    }
    for (const NcfSingleFrame& frame : node.frames) {
        if (frame.kind != "publish") {
            continue;
        }
        for (const NcfSignalDef& signal : frame.signals) {
            const auto found = wanted.find(signal.name);
            if (found != wanted.end() && found->second == nullptr) {
                found->second = &signal;
            }
        }
    }
    return wanted;
}

void check_response_error(NodeScope& scope, const NamedSignals& published) {
    const NcfStatusManagement& status = scope.node.status;
    const SourcePosition where = first_known({status.positions.response_error, status.positions.start});
    const NcfSignalDef* found = published.at(status.response_error);
    if (found == nullptr) {
        scope.findings.error("response-error", where,
                             "Response error signal " + quoted(status.response_error) +
                                 " is not a signal of a frame that node " + quoted(scope.node.name) +
                                 " publishes");
        return;
    }
    const NcfSignalProperties& properties = found->properties;
    const std::int32_t expected = response_error_size(scope.family);
    if (properties.init_value.is_array || properties.size != expected) {
        scope.findings.warning("response-error-size", where,
                               "Response error signal " + quoted(status.response_error) + " has size " +
                                   decimal(properties.size) + ", expected " + decimal(expected));
    }
}

void check_fault_state_signals(NodeScope& scope, const NamedSignals& published) {
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
        } else if (published.at(name) == nullptr) {
            scope.findings.error("fault-state-signal", where,
                                 "Fault state signal " + quoted(name) +
                                     " is not a signal of a frame that node " + quoted(scope.node.name) +
                                     " publishes");
        }
    }
}

}  // namespace

void check_status(NodeScope& scope) {
    const NamedSignals published = published_signals_named(scope.node);
    check_response_error(scope, published);
    check_fault_state_signals(scope, published);
}

}  // namespace tolvane::detail
