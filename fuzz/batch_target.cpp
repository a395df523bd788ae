// The batch target: a file checked among others by check_files gives what
// check_text gives its text, byte for byte as written (NULs, carriage
// returns, a byte-order mark, nothing at all), strictly and leniently, with
// the validation and without; and two copies of it checked on two threads
// give the same twice.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "fuzz/fail.hpp"
#include "fuzz/record_text.hpp"
#include "fuzz/targets.hpp"
#include "validate/check_files.hpp"
#include "validate/validator.hpp"

namespace tolvane::fuzz {

namespace {

std::string texts(const std::vector<Diagnostic>& diagnostics) {
    std::string text;
    for (const Diagnostic& diagnostic : diagnostics) {
        text += record_text(diagnostic);
        text += '\n';
    }
    return text;
}

// The diagnostics check_files is to give for `content` read from `name`.
std::vector<Diagnostic> expected(const std::string& name, std::string_view content,
                                 const CheckFilesOptions& options) {
    if (!options.syntax_only) {
        return check_text(name, std::string(content), options.parse).diagnostics;
    }
    NcfParser parser = NcfParser::from_text(name, std::string(content), options.parse);
    parser.parse();
    std::vector<Diagnostic> diagnostics = parser.get_diagnostics();
    sort_by_position(diagnostics);
    return diagnostics;
}

// A file of this thread's own beside the others' (the replay and a fuzzer
// may run at the same time), removed when done.
class InputFile {
public:
    explicit InputFile(std::string_view bytes)
        : path_(std::filesystem::temp_directory_path() /
                ("tolvane-fuzz-batch-" +
                 std::to_string(std::hash<std::thread::id>{}(std::this_thread::get_id())) + ".ncf")) {
        std::ofstream(path_, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    ~InputFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    std::string name() const {
        const std::u8string utf8 = path_.u8string();
        return std::string(utf8.begin(), utf8.end());
    }

private:
    std::filesystem::path path_;
};

}  // namespace

void batch_target(std::string_view bytes) {
    const InputFile file(bytes);
    const std::vector<std::string> names{file.name(), file.name()};
    for (const bool lenient : {false, true}) {
        for (const bool syntax_only : {false, true}) {
            const CheckFilesOptions options{
                .parse = {.lenient = lenient}, .syntax_only = syntax_only, .jobs = 2};
            const std::vector<FileCheck> checked = check_files(names, options);
            require(checked.size() == 2 && checked[0].read_error == 0 && checked[1].read_error == 0,
                    "check_files could not read the file just written");
            const std::string wanted = texts(expected(names[0], bytes, options));
            require(texts(checked[0].diagnostics) == wanted,
                    "check_files gives a file other than check_text");
            require(texts(checked[1].diagnostics) == wanted, "two threads check one file differently");
        }
    }
}

}  // namespace tolvane::fuzz
