// Reading a named input file whole.
#include "parser/source_file.hpp"

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "parser/ncf_parser.hpp"

namespace tolvane::detail {

namespace {

std::filesystem::path path_from_bytes(const std::string& name) {
    // The name's bytes are UTF-8 (Python hands str arguments over as UTF-8);
    // a u8 path keeps them unchanged on POSIX and converts them on Windows.
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

}  // namespace

// Only regular files are read: a directory has no text, and a FIFO without a
// writer would block the caller forever.
std::string read_whole_file(const std::string& name) {
    if (name.find('\0') != std::string::npos) {
        throw CannotOpenFile(name);  // the system would open a shorter name
    }
    std::filesystem::path path;
    try {
        path = path_from_bytes(name);
    } catch (const std::system_error&) {
        throw CannotOpenFile(name);  // where names are UTF-16, bytes that are not UTF-8 name no file
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        throw CannotOpenFile(name);
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw CannotOpenFile(name);
    }
    // Read as many bytes as the file has now, then on to its end, since the
    // file may change while it is read.
    std::string content;
    const auto expected = std::filesystem::file_size(path, error);
    content.resize(error ? 0 : static_cast<std::size_t>(expected));
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    content.resize(static_cast<std::size_t>(in.gcount()));
    constexpr std::size_t chunk = std::size_t{1} << 20;
    while (in && in.peek() != std::char_traits<char>::eof()) {
        const std::size_t used = content.size();
        content.resize(used + chunk);
        in.read(content.data() + used, static_cast<std::streamsize>(chunk));
        content.resize(used + static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        throw CannotOpenFile(name);
    }
    return content;
}

}  // namespace tolvane::detail
