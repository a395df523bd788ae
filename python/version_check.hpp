// The interpreter-version rule of the module's entry point.
#pragma once

#include <string_view>

namespace tolvane {

// The Python version the module is built for.
inline constexpr std::string_view compiled_python_version = "3.14";

// Whether an interpreter whose version string (as Py_GetVersion gives it)
// is `version` may load a module built for `compiled`: the version must
// begin with `compiled`, and the next character must not be a digit, so
// "3.14.0" and "3.14 " pass while "3.140" does not.
constexpr bool interpreter_version_supported(std::string_view version,
                                             std::string_view compiled = compiled_python_version) {
    if (!version.starts_with(compiled)) {
        return false;
    }
    const std::string_view rest = version.substr(compiled.size());
    return rest.empty() || rest.front() < '0' || rest.front() > '9';
}

}  // namespace tolvane
