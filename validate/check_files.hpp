// Many files read, parsed and checked at once, on a pool of threads: what a
// linter run over a folder needs. Each file has its own parser, so the files
// are independent; the results come back in the order the names were given,
// whatever the number of threads.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "../model/diagnostic.hpp"
#include "../parser/ncf_parser.hpp"

namespace tolvane {

struct CheckFilesOptions {
    ParseOptions parse;
    // Parse only: the parser's diagnostics, no validation.
    bool syntax_only = false;
    // Threads to use, the calling thread included; 0 means one per hardware
    // thread. Never more than there are files.
    unsigned jobs = 0;
};

// What checking one file gave.
struct FileCheck {
    // Every diagnostic, ordered by line and column (those at one place in
    // the order found), each naming the file as it was given.
    std::vector<Diagnostic> diagnostics;
    // The system's error number when the file could not be read (then there
    // are no diagnostics), else 0.
    int read_error = 0;
};

// Reads each named file whole, parses it and, unless `syntax_only`, checks
// it as check_file() does. A name holds the bytes the system takes for it
// (UTF-8 on Windows). A file that cannot be read (missing, a directory, no
// permission) gives its error number; any other file is read, FIFOs and
// devices included, as a command line's file argument would be. Throws only
// what allocation throws.
std::vector<FileCheck> check_files(std::span<const std::string> filenames,
                                   const CheckFilesOptions& options = {});

}  // namespace tolvane
