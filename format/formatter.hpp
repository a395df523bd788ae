// The formatter: an NCF text in, its canonical text out (as write_ncf()
// writes the tree read from it), with every comment of the text where its
// reader expects it.
//
// A comment on a line of its own stays on a line of its own, before the
// statement that follows it and indented as that statement (or as the "}"
// when it is the last thing in its block); one blank line before or after a
// run of such comments is kept. A comment after a statement on the same
// line stays at the end of that statement's line. Comments between two
// tokens of a statement go to the end of the statement's line, or all
// before the statement when one of them holds a line break or is a "//"
// comment that another one follows. Comments before the first
// statement stay at the top, those after the last "}" at the end. "/* */"
// comments keep every byte; "//" comments lose their trailing blanks; a "#"
// line of the lenient reading becomes a "//" comment.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "../model/comment.hpp"
#include "../model/diagnostic.hpp"
#include "../model/ncf_records.hpp"
#include "../parser/ncf_parser.hpp"
#include "../parser/source_text.hpp"

namespace tolvane {

struct Formatted {
    // The canonical text with the comments in place; absent when the
    // reading found errors.
    std::optional<std::string> text;
    // What the reading reported: the errors that leave the text unformatted,
    // or the lenient reading's warnings.
    std::vector<Diagnostic> diagnostics;
};

// Reads `text` (exactly, or leniently with `options.lenient`; the other
// options do not apply) and formats it. Throws CannotWrite when the tree
// cannot be written, as write_ncf() does.
Formatted format_ncf(std::string filename, SourceText text, ParseOptions options = {});

// The canonical text of `file`, read from `text` (leniently or not), with
// `comments`, the comments of `text`, in place. Throws CannotWrite.
std::string write_ncf_with_comments(const NcfFile& file, std::string_view text, std::span<const Comment> comments,
                                    bool lenient);

}  // namespace tolvane
