// One problem found in the text of a node capability file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>

#include "record_description.hpp"

namespace tolvane {

struct Diagnostic {
    enum class Severity : std::int32_t { Error = 0, Warning = 1, Info = 2 };

    Severity severity = Severity::Error;
    std::string file;
    std::uint64_t line = 0;
    std::uint64_t column = 0;
    std::string message;
    std::string code{};
};

constexpr std::string_view severity_name(Diagnostic::Severity severity) {
    switch (severity) {
        case Diagnostic::Severity::Error:
            return "Error";
        case Diagnostic::Severity::Warning:
            return "Warning";
        case Diagnostic::Severity::Info:
            return "Info";
    }
    return "Error";  // not a member: no record the library makes holds one
}

// The code of every diagnostic the lexer and the parser make.
inline constexpr std::string_view syntax_code = "syntax";

template <>
struct Description<Diagnostic> {
    using R = Diagnostic;
    static constexpr std::string_view name = "Diagnostic";
    static constexpr std::tuple fields{
        shown(field("severity", &R::severity, "how grave the problem is: Error, Warning or Info")),
        shown(field("file", &R::file, "the file name the parser was given")),
        shown(field("line", &R::line, "1-based line of the token at which the problem was found")),
        shown(field("column", &R::column, "1-based column of that token, counted in bytes")),
        shown(field("message", &R::message, "what is wrong, in one sentence")),
        field("code", &R::code,
              "a stable name for the kind of problem: \"syntax\" for everything the parser reports, "
              "the rule's code for the validator's"),
    };
};
static_assert(described_completely<Diagnostic>());

}  // namespace tolvane
