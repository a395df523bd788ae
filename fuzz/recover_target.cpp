// The recovering reading target, strict and lenient: on any bytes it ends;
// its tree is as sound as the strict one's and the validator takes it; its
// diagnostics lie inside the input, in the order of their places, never two
// errors at one place; it reports an error exactly when the reading without
// recovery does; and on input that reading takes without an error it gives
// the same tree and the same diagnostics, in the order of their places.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/checks.hpp"
#include "fuzz/fail.hpp"
#include "fuzz/record_text.hpp"
#include "fuzz/targets.hpp"
#include "parser/ncf_parser.hpp"

namespace tolvane::fuzz {

namespace {

bool has_error(const std::vector<Diagnostic>& diagnostics) {
    return std::any_of(diagnostics.begin(), diagnostics.end(),
                       [](const Diagnostic& d) { return d.severity == Diagnostic::Severity::Error; });
}

void check_order_and_places(const std::vector<Diagnostic>& diagnostics) {
    for (std::size_t i = 1; i < diagnostics.size(); ++i) {
        const Position before = position_of(diagnostics[i - 1]);
        const Position here = position_of(diagnostics[i]);
        require(before <= here, "the recovering reading's diagnostics are out of order");
        require(before != here || diagnostics[i - 1].severity != Diagnostic::Severity::Error ||
                    diagnostics[i].severity != Diagnostic::Severity::Error,
                "the recovering reading reports two errors at one place");
    }
}

std::string all_text(const std::vector<Diagnostic>& diagnostics) {
    std::string text;
    for (const Diagnostic& diagnostic : diagnostics) {
        text += record_text(diagnostic);
        text += '\n';
    }
    return text;
}

void check_recovering(const FuzzInput& input, bool lenient) {
    const Reading recovered = read(input, ParseOptions{.lenient = lenient, .recover = true});
    check_file(recovered.file, input);
    check_lenient_diagnostics(recovered.diagnostics, input);
    check_order_and_places(recovered.diagnostics);
    check_validation(recovered.file, recovered.diagnostics, input);

    Reading plain = read(input, ParseOptions{.lenient = lenient});
    require(has_error(plain.diagnostics) == has_error(recovered.diagnostics),
            has_error(plain.diagnostics) ? "the recovering reading misses a fault"
                                         : "the recovering reading reports a fault where there is none");
    if (!has_error(plain.diagnostics)) {
        std::stable_sort(plain.diagnostics.begin(), plain.diagnostics.end(),
                         [](const Diagnostic& a, const Diagnostic& b) { return position_of(a) < position_of(b); });
        require(record_text(recovered.file) == record_text(plain.file),
                "the recovering reading gives another tree for input without errors");
        require(all_text(recovered.diagnostics) == all_text(plain.diagnostics),
                "the recovering reading gives other diagnostics for input without errors");
    }
}

}  // namespace

void recover_target(std::string_view bytes) {
    const FuzzInput input(bytes);
    check_recovering(input, false);
    check_recovering(input, true);
}

}  // namespace tolvane::fuzz
