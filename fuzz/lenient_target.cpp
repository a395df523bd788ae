// The lenient reading target: on any bytes it ends, its tree is as sound as
// the strict one's (positions inside the input, in order), its warnings name
// a dialect construct and its errors are syntax errors; a second parse
// carries on without failing; and on input the strict reading takes without
// a diagnostic it warns about nothing and gives the same tree.
#include <string_view>

#include "fuzz/checks.hpp"
#include "fuzz/fail.hpp"
#include "fuzz/record_text.hpp"
#include "fuzz/targets.hpp"
#include "parser/ncf_parser.hpp"

namespace tolvane::fuzz {

void lenient_target(std::string_view bytes) {
    const FuzzInput input(bytes);
    NcfParser parser(input.filename, input.content, ParseOptions{.lenient = true});
    const NcfFile file = parser.parse();
    const std::vector<Diagnostic> diagnostics = parser.get_diagnostics();
    check_file(file, input);
    check_lenient_diagnostics(diagnostics, input);

    const Reading strict = read(input);
    if (strict.clean()) {
        require(diagnostics.empty(), "the lenient reading warns about input the strict one reads cleanly");
        require(record_text(file) == record_text(strict.file),
                "the lenient reading gives another tree for input the strict one reads cleanly");
    }

    const NcfFile again = parser.parse();
    check_file(again, input);
    check_lenient_diagnostics(parser.get_diagnostics(), input);
}

}  // namespace tolvane::fuzz
