// The writer target. The law: a tree the writer writes reads back as the
// same tree (every field; positions aside) without a diagnostic, and writing
// that tree again gives the same text. It must write every tree read without
// an error (but for a signal the lenient reading named by a keyword), and it
// may refuse a tree only for one of the reasons it documents, naming the
// field. The trees: the strict and the lenient reading of the input, and a
// copy of each with values changed to ones taken from the input's bytes.
#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "fuzz/checks.hpp"
#include "fuzz/fail.hpp"
#include "fuzz/record_text.hpp"
#include "fuzz/targets.hpp"
#include "fuzz/tree_mangler.hpp"
#include "parser/ncf_parser.hpp"
#include "writer/ncf_writer.hpp"

namespace tolvane::fuzz {

namespace {

// The reasons the writer gives, after the field's path and ": ".
constexpr std::array documented_refusals = {
    std::string_view("a string literal can only hold characters up to U+00FF (ISO 8859-1)"),
    std::string_view("a text that ends in an odd run of backslashes cannot be written"),
    std::string_view("a double quote that no backslash precedes would end the string literal"),
    std::string_view("a number that is not finite cannot be written"),
    std::string_view("a number below the smallest normal double reads back as 0"),
    std::string_view("a range needs both of its values, or neither"),
    std::string_view("the type of a bit rate is \"automatic\", \"select\" or \"fixed\""),
    std::string_view("only an automatic bit rate has a minimum and a maximum"),
    std::string_view("a select bit rate lists at least one rate"),
    std::string_view("only a select bit rate lists rates"),
    std::string_view("a fixed bit rate has its rate"),
    std::string_view("only a fixed bit rate has a fixed rate"),
    std::string_view("a NAD statement is a range or a list, not both"),
    std::string_view("the kind of a frame is \"publish\" or \"subscribe\""),
    std::string_view("a scalar initial value has no bytes"),
    std::string_view("a byte-array initial value has at least one byte"),
    std::string_view("a byte-array initial value has no scalar (it reads back as 0)"),
    std::string_view("the type of a value line is \"logical\", \"physical\", \"bcd\" or \"ascii\""),
    std::string_view("a logical value line has its logical value"),
    std::string_view("only a logical value line has one"),
    std::string_view("a physical value line has its range"),
    std::string_view("only a physical value line has one"),
};
constexpr std::string_view not_an_identifier =
    "' is not an identifier (a letter or '_', then letters, digits and '_', and no keyword), the only name "
    "the grammar reads here";

bool is_documented(const CannotWrite& refusal) {
    const std::string_view what = refusal.message();
    const std::string prefix = refusal.path() + ": ";
    if (refusal.path().empty() || !what.starts_with(prefix)) {
        return false;
    }
    const std::string_view reason = what.substr(prefix.size());
    for (std::string_view documented : documented_refusals) {
        if (reason == documented) {
            return true;
        }
    }
    return reason.starts_with("'") && reason.ends_with(not_an_identifier);
}

void check_round_trip(const NcfFile& file, bool must_write) {
    std::string text;
    try {
        text = write_ncf(file);
    } catch (const CannotWrite& refusal) {
        require(!must_write, "the writer refuses a tree read without an error");
        if (!is_documented(refusal)) {
            fail(std::string("the writer refuses a tree for a reason it does not document: ") +
                 refusal.message());
        }
        return;
    }
    NcfParser parser = NcfParser::from_text(file.filename, text);
    const NcfFile again = parser.parse();
    require(parser.get_diagnostics().empty(), "the text the writer wrote has diagnostics");
    require(record_text(again) == record_text(file), "a written tree reads back differently");
    require(write_ncf(again) == text, "writing a written tree again gives another text");
}

// Whether the writer owes a text for the tree of `reading`: it read without an
// error, and the lenient reading took no keyword for a signal's name (which
// the standard syntax cannot spell, and the writer refuses as no identifier).
bool must_write(const Reading& reading) {
    return reading.without_errors() && std::none_of(reading.diagnostics.begin(), reading.diagnostics.end(),
                                                    [](const Diagnostic& diagnostic) {
                                                        return diagnostic.code == "dialect-keyword-name";
                                                    });
}

}  // namespace

void writer_target(std::string_view bytes) {
    const FuzzInput input(bytes);
    for (const ParseOptions options : {ParseOptions{}, ParseOptions{.lenient = true}}) {
        const Reading reading = read(input, options);
        check_round_trip(reading.file, must_write(reading));
        check_round_trip(mangled(reading.file, bytes), false);
    }
}

}  // namespace tolvane::fuzz
