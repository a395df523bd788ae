// Checks a parsed node capability file against the LIN rules: the limits of
// LIN 2.x (and of ISO 17987 and SAE J2602 where they differ) and the
// consistency of the names a file uses. Every finding is a Diagnostic with a
// stable code, placed at the value, name or statement a user must edit.
//
// The parser never calls the validator: a parse gives the same tree and the
// same diagnostics whether or not the tree is checked afterwards.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "../model/diagnostic.hpp"
#include "../model/ncf_records.hpp"
#include "../parser/ncf_parser.hpp"
#include "../parser/source_text.hpp"

namespace tolvane {

// One kind of finding: its code, as users select or ignore it, and what it
// checks, in a few words.
struct Rule {
    std::string_view code;
    std::string_view description;
};

// Every code a diagnostic can carry: "syntax" (the parser's) first, then the
// validator's in the order of their sections, "not-checked" last.
std::span<const Rule> rules();

// The problems the LIN rules find in `file`, ordered by line and column
// (findings at one place keep the order of the rules). `syntax_diagnostics`
// are the parser's diagnostics for that file: a node in which one of them of
// severity Error lies is not checked, and one Info diagnostic says so. Each
// diagnostic reports `file.filename`. Never throws on a tree the parser made.
std::vector<Diagnostic> validate(const NcfFile& file, std::span<const Diagnostic> syntax_diagnostics = {});

// Orders diagnostics by line and column, keeping the order of those at one
// place.
void sort_by_position(std::vector<Diagnostic>& diagnostics);

// A parse and its check in one call: the tree and every diagnostic, the
// parser's and the validator's, ordered by position.
struct CheckResult {
    NcfFile file;
    std::vector<Diagnostic> diagnostics;
};

// Parses and checks `text` (even when it is empty); `filename` is the name
// the diagnostics report.
CheckResult check_text(std::string filename, SourceText text, ParseOptions options = {});
CheckResult check_text(std::string filename, std::string text, ParseOptions options = {});
// Reads the file `filename`, then parses and checks it. Throws CannotOpenFile.
CheckResult check_file(std::string filename, ParseOptions options = {});

}  // namespace tolvane
