// The validator target: the validator ends on every tree the parser returns,
// strict or lenient, with the parser's diagnostics (which make it skip nodes
// with syntax errors) and without them (so that it checks even those
// trees); every finding has a rule's code, lies inside the input and is
// reported once. Trees whose values were changed to ones taken from the
// input's bytes (any integer, any double) must not make it fail either.
#include <string_view>

#include "fuzz/checks.hpp"
#include "fuzz/fail.hpp"
#include "fuzz/targets.hpp"
#include "fuzz/tree_mangler.hpp"
#include "parser/ncf_parser.hpp"
#include "validate/validator.hpp"

namespace tolvane::fuzz {

namespace {

// On a changed tree a value may have no position (an optional value added,
// a list item repeated), so two findings may only differ in what the text
// would have told apart; what holds is the order and the codes.
void check_changed_tree(const NcfFile& file) {
    Position previous{0, 0};
    for (const Diagnostic& finding : validate(file, {})) {
        require(is_rule_code(finding.code), "a finding on a changed tree has no rule's code");
        require(previous <= position_of(finding), "the findings on a changed tree are out of order");
        previous = position_of(finding);
    }
}

}  // namespace

void validator_target(std::string_view bytes) {
    const FuzzInput input(bytes);
    for (const ParseOptions options : {ParseOptions{}, ParseOptions{.lenient = true}}) {
        const Reading reading = read(input, options);
        check_validation(reading.file, reading.diagnostics, input);
        check_validation(reading.file, {}, input);
        check_changed_tree(mangled(reading.file, bytes));
    }
}

}  // namespace tolvane::fuzz
