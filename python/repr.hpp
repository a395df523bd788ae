// One-line text representations of the records, as repr() and str() give them.
#pragma once

#include <pybind11/pybind11.h>

#include "model/ncf_records.hpp"

namespace tolvane {

pybind11::str repr_of(const Diagnostic& record);
pybind11::str repr_of(const NcfInitValue& record);
pybind11::str repr_of(const NcfBitrateDefinition& record);
pybind11::str repr_of(const NcfGeneralDef& record);
pybind11::str repr_of(const NcfDiagnosticDef& record);
pybind11::str repr_of(const NcfSignalProperties& record);
pybind11::str repr_of(const NcfSignalDef& record);
pybind11::str repr_of(const NcfFrameProperties& record);
pybind11::str repr_of(const NcfSingleFrame& record);
pybind11::str repr_of(const NcfLogicalValue& record);
pybind11::str repr_of(const NcfPhysicalRange& record);
pybind11::str repr_of(const NcfEncodingValue& record);
pybind11::str repr_of(const NcfEncodingEntry& record);
pybind11::str repr_of(const NcfStatusManagement& record);
pybind11::str repr_of(const NcfNodeDef& record);
pybind11::str repr_of(const NcfFile& record);

}  // namespace tolvane
