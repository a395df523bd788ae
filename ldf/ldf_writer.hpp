// The text of a LIN description file from its records.
#pragma once

#include <string>

#include "ldf/ldf_model.hpp"

namespace tolvane::detail {

// The LDF text of `description`: its sections in the order of the language,
// two spaces a level, identifiers in hexadecimal, doubles in the shortest
// form that reads back as the same double, string literals as ISO 8859-1
// bytes. The composer has refused every name and text the language cannot
// spell, so this never fails.
std::string write_ldf(const LdfDescription& description);

}  // namespace tolvane::detail
