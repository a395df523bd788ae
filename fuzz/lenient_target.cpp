// The lenient reading target: on any bytes it ends, its tree is as sound as
// the strict one's (positions inside the input, in order), its warnings name
// a dialect construct and its errors are syntax errors; a second parse
// carries on without failing; and on input the strict reading takes without
// a diagnostic it gives the same tree, but for the frames it reads as the
// declaration of an event-triggered frame, each with its one warning.
#include <algorithm>
#include <set>
#include <string>
#include <string_view>

#include "fuzz/checks.hpp"
#include "fuzz/fail.hpp"
#include "fuzz/record_text.hpp"
#include "fuzz/targets.hpp"
#include "parser/ncf_parser.hpp"

namespace tolvane::fuzz {

namespace {

constexpr std::string_view declaration_code = "dialect-event-triggered-declaration";

// The strict tree without the frames of length 0 and no signals that other
// frames name as their event-triggered frame.
NcfFile without_declarations(NcfFile file) {
    std::set<std::string> named;
    for (const NcfNodeDef& node : file.nodes) {
        for (const NcfSingleFrame& frame : node.frames) {
            if (frame.properties.event_triggered_frame && *frame.properties.event_triggered_frame != frame.name) {
                named.insert(*frame.properties.event_triggered_frame);
            }
        }
    }
    for (NcfNodeDef& node : file.nodes) {
        std::erase_if(node.frames, [&](const NcfSingleFrame& frame) {
            return frame.properties.length == 0 && frame.signals.empty() && named.contains(frame.name);
        });
    }
    return file;
}

}  // namespace

void lenient_target(std::string_view bytes) {
    const FuzzInput input(bytes);
    NcfParser parser(input.filename, input.content, ParseOptions{.lenient = true});
    const NcfFile file = parser.parse();
    const std::vector<Diagnostic> diagnostics = parser.get_diagnostics();
    check_file(file, input);
    check_lenient_diagnostics(diagnostics, input);

    const Reading strict = read(input);
    if (strict.clean()) {
        const NcfFile expected = without_declarations(strict.file);
        std::size_t declarations = 0;
        for (const NcfNodeDef& node : strict.file.nodes) {
            declarations += node.frames.size();
        }
        for (const NcfNodeDef& node : expected.nodes) {
            declarations -= node.frames.size();
        }
        require(diagnostics.size() == declarations &&
                    std::all_of(diagnostics.begin(), diagnostics.end(),
                                [](const Diagnostic& d) { return d.code == declaration_code; }),
                "the lenient reading warns about input the strict one reads cleanly");
        require(record_text(file) == record_text(expected),
                "the lenient reading gives another tree for input the strict one reads cleanly");
    }

    const NcfFile again = parser.parse();
    check_file(again, input);
    check_lenient_diagnostics(parser.get_diagnostics(), input);
}

}  // namespace tolvane::fuzz
