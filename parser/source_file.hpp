// Reading a named input file whole (internal).
#pragma once

#include <string>

namespace tolvane::detail {

// The bytes of the regular file `name` (UTF-8 bytes, as Python hands names
// over), read to its end even if it grows meanwhile. Throws CannotOpenFile
// for a missing file, a directory, a FIFO or device, a name with a NUL byte
// and a failed read.
std::string read_whole_file(const std::string& name);

}  // namespace tolvane::detail
