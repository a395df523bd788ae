// The LDF of a cluster in the module: ldf().
#pragma once

#include <pybind11/pybind11.h>

namespace tolvane {

void bind_ldf(pybind11::module_& module);

}  // namespace tolvane
