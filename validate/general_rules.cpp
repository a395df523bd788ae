// The general section: identity, bit rate, supply voltage and temperature.
#include <unordered_set>

#include "validate/findings.hpp"

namespace tolvane::detail {

namespace {

constexpr double lowest_bitrate = 1.0;    // kbps
constexpr double highest_bitrate = 20.0;  // kbps

bool valid_bitrate(double kbps) {
    return kbps >= lowest_bitrate && kbps <= highest_bitrate;
}

void check_supplier_id(NodeScope& scope) {
    const NcfGeneralDef& general = scope.node.general;
    const std::int32_t id = general.supplier_id;
    const SourcePosition where = general.positions.supplier_id;
    if (id < 0 || id > 0xFFFF) {
        scope.findings.error("supplier-id", where, "Supplier ID " + hex_id(id, 4) + " does not fit 16 bits");
    } else if (id == 0x7FFF) {
        scope.findings.warning("supplier-id", where, "Supplier ID 0x7FFF is the wildcard");
    } else if (id > 0x7FFF) {
        scope.findings.warning("supplier-id", where, "Supplier ID " + hex_id(id, 4) + " is above 0x7FFF");
    }
}

void check_function_id(NodeScope& scope) {
    const NcfGeneralDef& general = scope.node.general;
    const std::int32_t id = general.function_id;
    const SourcePosition where = general.positions.function_id;
    if (id < 0 || id > 0xFFFF) {
        scope.findings.error("function-id", where, "Function ID " + hex_id(id, 4) + " does not fit 16 bits");
    } else if (id == 0xFFFF) {
        scope.findings.warning("function-id", where, "Function ID 0xFFFF is the wildcard");
    }
}

void check_variant_id(NodeScope& scope) {
    const NcfGeneralDef& general = scope.node.general;
    if (general.variant_id < 0 || general.variant_id > 0xFF) {
        scope.findings.error("variant-id", general.positions.variant_id,
                             "Variant ID " + decimal(general.variant_id) + " does not fit 8 bits");
    }
}

// A rate of 19200 "kbps" is almost always 19200 bit/s written in the wrong
// unit: say so when the rate divided by 1000 is a valid one.
void check_bitrate_value(NodeScope& scope, double kbps, SourcePosition where) {
    if (valid_bitrate(kbps)) {
        return;
    }
    std::string message = "Bit rate " + number(kbps) + " kbps is outside 1..20 kbps";
    if (valid_bitrate(kbps / 1000.0)) {
        message += "; did you mean " + number(kbps / 1000.0) + " kbps?";
    }
    scope.findings.error("bitrate-range", where, std::move(message));
}

// Each rate of a select list is checked where it first appears; a repeat is
// reported as such and not checked again.
void check_select_rates(NodeScope& scope, const NcfBitrateDefinition& bitrate) {
    std::unordered_set<double> seen;
    for (std::size_t i = 0; i < bitrate.rates.size(); ++i) {
        const double rate = bitrate.rates[i];
        const SourcePosition where =
            i < bitrate.positions.rates.size() ? bitrate.positions.rates[i] : bitrate.positions.start;
        if (!seen.insert(rate).second) {
            scope.findings.warning("bitrate-duplicate", where,
                                   "Bit rate " + number(rate) + " kbps is listed twice");
        } else {
            check_bitrate_value(scope, rate, where);
        }
    }
}

void check_bitrate(NodeScope& scope) {
    const NcfBitrateDefinition& bitrate = scope.node.general.bitrate;
    if (bitrate.fixed_rate) {
        check_bitrate_value(scope, *bitrate.fixed_rate, bitrate.positions.start);
    }
    if (bitrate.min_br) {
        check_bitrate_value(scope, *bitrate.min_br, bitrate.positions.min_br);
    }
    if (bitrate.max_br) {
        check_bitrate_value(scope, *bitrate.max_br, bitrate.positions.max_br);
    }
    if (bitrate.min_br && bitrate.max_br && *bitrate.min_br > *bitrate.max_br) {
        scope.findings.error("bitrate-order", bitrate.positions.min_br,
                             "Bit rate minimum " + number(*bitrate.min_br) + " kbps is above maximum " +
                                 number(*bitrate.max_br) + " kbps");
    }
    check_select_rates(scope, bitrate);
}

void check_operating_ranges(NodeScope& scope) {
    const NcfGeneralDef& general = scope.node.general;
    if (general.volt_from && general.volt_to && *general.volt_from > *general.volt_to) {
        scope.findings.warning("voltage-range", general.positions.volt_range,
                               "Voltage range " + number(*general.volt_from) + ".." +
                                   number(*general.volt_to) + " V is reversed");
    }
    if (general.temp_from && general.temp_to && *general.temp_from > *general.temp_to) {
        scope.findings.warning("temperature-range", general.positions.temp_range,
                               "Temperature range " + number(*general.temp_from) + ".." +
                                   number(*general.temp_to) + " is reversed");
    }
}

}  // namespace

void check_general(NodeScope& scope) {
    check_supplier_id(scope);
    check_function_id(scope);
    check_variant_id(scope);
    check_bitrate(scope);
    check_operating_ranges(scope);
}

}  // namespace tolvane::detail
