// The parser object: construction, the cursor, reporting and the trace.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <utility>

#include "parser/ncf_parser.hpp"
#include "parser/numbers.hpp"

namespace tolvane {

namespace {

constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";

std::filesystem::path path_from_bytes(const std::string& name) {
    // The name's bytes are UTF-8 (Python hands str arguments over as UTF-8);
    // a u8 path keeps them unchanged on POSIX and converts them on Windows.
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

// The whole file, byte for byte. Only regular files are read: a directory
// has no text, and a FIFO without a writer would block the caller forever.
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

SourceText read_content(const std::string& filename, SourceText content) {
    if (content.empty() && !filename.empty()) {
        return SourceText(read_whole_file(filename));
    }
    return content;
}

std::size_t start_after_byte_order_mark(std::string_view content) {
    return content.starts_with(byte_order_mark) ? byte_order_mark.size() : 0;
}

std::string quoted_found(std::string_view prefix, std::string_view text) {
    std::string message;
    message.reserve(prefix.size() + text.size() + 10);
    message.append(prefix).append(", found '").append(text).append("'");
    return message;
}

}  // namespace

CannotOpenFile::CannotOpenFile(std::string filename)
    : std::runtime_error("Cannot open file " + filename),
      filename_(std::move(filename)),
      message_("Cannot open file " + filename_) {}

NcfParser::NcfParser(std::string filename, SourceText content)
    : content_(read_content(filename, std::move(content))),
      lexer_(content_.view(), filename, start_after_byte_order_mark(content_.view())),
      current_{TokenKind::Unknown, {}, 1, 1},
      filename_(std::move(filename)) {
    advance();
}

void NcfParser::report_expected(std::string_view spelling) {
    std::string prefix = "Expected ";
    prefix.append(spelling);
    report_error(quoted_found(prefix, current_.text));
}

std::string NcfParser::take_text() {
    std::string text(current_.text);
    advance();
    return text;
}

std::string NcfParser::expect_string() {
    if (!at(TokenKind::String)) {
        report_error("Expected string literal");
    }
    return take_text();
}

// Values that cannot be represented read as 0, and are reported at the
// number's own position before it is consumed.
std::int32_t NcfParser::expect_integer() {
    if (!at(TokenKind::Integer)) {
        report_error(quoted_found("Expected integer", current_.text));
        advance();
        return 0;
    }
    const IntegerValue reading = integer_value(current_.text);
    if (reading.problem == NumberProblem::NoDigits) {
        report_error("Invalid integer: '" + std::string(current_.text) + "'");
    } else if (reading.problem == NumberProblem::OutOfRange) {
        report_error("Integer out of range: '" + std::string(current_.text) + "'");
    }
    advance();
    return reading.value;
}

double NcfParser::expect_number() {
    if (!at(TokenKind::Integer) && !at(TokenKind::Real)) {
        report_error(quoted_found("Expected number", current_.text));
        advance();
        return 0.0;
    }
    const RealValue reading = number_value(current_.text);
    if (reading.problem == NumberProblem::OutOfRange) {
        report_error("Number out of range: '" + std::string(current_.text) + "'");
    }
    advance();
    return reading.value;
}

void NcfParser::report_error(std::string message) {
    diagnostics_.push_back(Diagnostic{Diagnostic::Severity::Error, filename_, current_.line, current_.column,
                                      std::move(message)});
}

NcfParser::TraceScope::TraceScope(NcfParser& parser, std::string_view label) : parser_(parser) {
    if (parser_.trace_) {
        std::string event = "ENTER ";
        event.append(label);
        parser_.write_trace_line(event);
    }
    ++parser_.trace_depth_;
}

NcfParser::TraceScope::~TraceScope() {
    --parser_.trace_depth_;
    if (parser_.trace_) {
        parser_.write_trace_line("EXIT");
    }
}

// One line to the process's standard output, without a flush:
//   <two spaces per depth>[TRACE] <event> at <line>:<column> ('<token text>')
void NcfParser::write_trace_line(std::string_view event) {
    std::string line;
    line.reserve(64 + current_.text.size());
    for (std::int32_t i = 0; i < trace_depth_; ++i) {
        line.append("  ");
    }
    line.append("[TRACE] ").append(event).append(" at ");
    line.append(std::to_string(current_.line)).append(":").append(std::to_string(current_.column));
    line.append(" ('").append(current_.text).append("')\n");
    std::fwrite(line.data(), 1, line.size(), stdout);
}

}  // namespace tolvane
