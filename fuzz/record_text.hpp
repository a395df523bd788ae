// A text of every field of every record, written in C++ so that the fuzz
// target can walk a whole parse result without the Python interpreter. The
// layout follows the records' repr() texts, but nothing is left out: the walk
// follows each record's description, so a field added to a record is read
// here as soon as it is described.
//
// The walk also checks what must hold of any tree the parser builds, whatever
// the input, and aborts through fail() when it does not.
#pragma once

#include <string>

#include "model/ncf_records.hpp"

namespace tolvane::fuzz {

std::string record_text(const NcfFile& file);
std::string record_text(const Diagnostic& diagnostic);

}  // namespace tolvane::fuzz
