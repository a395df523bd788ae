// The writer of node capability files: a tree of records in, the canonical
// NCF text out. The text reads back as the same tree: every field, every
// list in its order, every double to the last bit. What no text can say so
// that it reads back the same is refused, never written differently.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "../model/ncf_records.hpp"

namespace tolvane {

// A tree the writer cannot put into text that reads back the same: `path`
// names the field from the file down (`nodes[0].frames[2].name`), `reason`
// says why.
class CannotWrite : public std::invalid_argument {
public:
    CannotWrite(std::string path, const std::string& reason)
        : std::invalid_argument(path + ": " + reason),
          path_(std::move(path)),
          message_(path_ + ": " + reason) {}
    const std::string& path() const { return path_; }
    // The whole message: what() ends at the first NUL, which a name may hold.
    const std::string& message() const { return message_; }

private:
    std::string path_;
    std::string message_;
};

// The canonical text of `file`: the sections and the optional statements
// present in the order the grammar reads them, one statement per line,
// blocks opened at the end of a line and indented by 4 spaces a level. The
// text is bytes, not UTF-8: a string literal's characters above U+007F are
// written as their ISO 8859-1 bytes, which the reader turns back into the
// same UTF-8 text. Throws CannotWrite.
std::string write_ncf(const NcfFile& file);

// Where a line of the canonical text comes from in the text the tree was
// read from: a position the records keep, and how the line relates to the
// construct at that position.
struct LineOrigin {
    enum class Kind : std::uint8_t {
        None,         // no position: a blank line, or what the text did not hold
        Inside,       // the statement, or the head of the block, at `at`
        BlockAround,  // the head of the block around the statement at `at`
    };
    SourcePosition at;
    Kind kind = Kind::None;
    bool closes = false;  // the "}" of that block rather than its head
};

// The canonical text of `file`, as write_ncf() writes it, and for each of
// its lines where it begins in `text` (a string literal may hold line
// breaks) and where it comes from. Throws CannotWrite.
struct CanonicalLines {
    std::string text;
    std::vector<std::size_t> starts;
    std::vector<LineOrigin> origins;
};
CanonicalLines write_ncf_lines(const NcfFile& file);

// Writes the canonical text of `file` to `path` without ever leaving a half
// written file: into a new file beside it, which then replaces `path` and
// takes its permissions when it existed. Throws CannotWrite before touching
// the file system, and std::filesystem::filesystem_error naming `path` when
// writing fails or `path` holds a NUL.
void write_ncf_file(const NcfFile& file, const std::filesystem::path& path);

}  // namespace tolvane
