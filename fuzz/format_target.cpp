// The formatter target, strict and lenient: on any bytes that read without
// an error, the formatted text reads (strictly, without a diagnostic) as the
// same tree, holds every comment of the input as the formatter writes it,
// and formats to itself; without comments it is write_ncf()'s text.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fail.hpp"
#include "fuzz/targets.hpp"
#include "format/formatter.hpp"
#include "writer/ncf_writer.hpp"

namespace tolvane::fuzz {

namespace {

// The comments of a text as the formatter writes them, in sorted order: the
// canonical order of the statements may differ from the input's, and the
// comments go with their statements.
std::vector<std::string> written_comments(const NcfParser& parser) {
    std::vector<std::string> texts;
    for (const Comment& comment : parser.get_comments()) {
        std::string text(comment.text);
        if (!text.starts_with("/*")) {
            text.erase(text.find_last_not_of(" \t\r") + 1);
            if (text.starts_with('#')) {
                text.replace(0, 1, "//");
            }
        }
        texts.push_back(std::move(text));
    }
    std::sort(texts.begin(), texts.end());
    return texts;
}

bool has_error(const std::vector<Diagnostic>& diagnostics) {
    return std::any_of(diagnostics.begin(), diagnostics.end(),
                       [](const Diagnostic& d) { return d.severity == Diagnostic::Severity::Error; });
}

void check_formatting(std::string_view bytes, bool lenient) {
    const ParseOptions options{.lenient = lenient};
    NcfParser input = NcfParser::from_text("f.ncf", std::string(bytes), options);
    const NcfFile tree = input.parse();
    std::string canonical;
    try {
        canonical = write_ncf(tree);
    } catch (const CannotWrite&) {
        return;  // the writer's target covers what cannot be written
    }
    const Formatted formatted = format_ncf("f.ncf", SourceText(std::string(bytes)), options);
    require(formatted.text.has_value() == !has_error(input.get_diagnostics()),
            "the formatter formats a text with errors, or refuses one without");
    if (!formatted.text) {
        return;
    }
    NcfParser output = NcfParser::from_text("f.ncf", *formatted.text);
    const NcfFile tree_again = output.parse();
    require(output.get_diagnostics().empty(), "the formatted text does not read without a diagnostic");
    require(write_ncf(tree_again) == canonical, "the formatted text reads as another tree");
    require(written_comments(output) == written_comments(input), "the formatted text has other comments");
    if (input.get_comments().empty()) {
        require(*formatted.text == canonical, "a text without comments formats other than write_ncf() writes it");
    }
    const Formatted again = format_ncf("f.ncf", SourceText(*formatted.text));
    require(again.text == formatted.text, "formatting the formatted text changes it");
}

}  // namespace

void format_target(std::string_view bytes) {
    check_formatting(bytes, false);
    check_formatting(bytes, true);
}

}  // namespace tolvane::fuzz
