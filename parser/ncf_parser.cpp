// The public parser: where the text comes from, and the grammar behind it.
#include "parser/ncf_parser.hpp"

#include <string>
#include <utility>

#include "parser/grammar.hpp"
#include "parser/source_file.hpp"

namespace tolvane {

namespace {

SourceText content_or_file(const std::string& filename, SourceText content) {
    if (content.empty() && !filename.empty()) {
        return SourceText(detail::read_whole_file(filename));
    }
    return content;
}

}  // namespace

CannotOpenFile::CannotOpenFile(std::string filename)
    : std::runtime_error("Cannot open file " + filename),
      filename_(std::move(filename)),
      message_("Cannot open file " + filename_) {}

NcfParser::NcfParser(std::unique_ptr<detail::Grammar> grammar) : grammar_(std::move(grammar)) {}

NcfParser::NcfParser(std::string filename, SourceText content, ParseOptions options) {
    SourceText text = content_or_file(filename, std::move(content));
    grammar_ = std::make_unique<detail::Grammar>(std::move(filename), std::move(text), options);
}

NcfParser::NcfParser(std::string filename, std::string content, ParseOptions options)
    : NcfParser(std::move(filename), SourceText(std::move(content)), options) {}

NcfParser NcfParser::from_file(std::string filename, ParseOptions options) {
    SourceText text(detail::read_whole_file(filename));
    return NcfParser(std::make_unique<detail::Grammar>(std::move(filename), std::move(text), options));
}

NcfParser NcfParser::from_text(std::string filename, SourceText text, ParseOptions options) {
    return NcfParser(std::make_unique<detail::Grammar>(std::move(filename), std::move(text), options));
}

NcfParser NcfParser::from_text(std::string filename, std::string text, ParseOptions options) {
    return from_text(std::move(filename), SourceText(std::move(text)), options);
}

NcfParser::NcfParser(NcfParser&&) noexcept = default;
NcfParser& NcfParser::operator=(NcfParser&&) noexcept = default;
NcfParser::~NcfParser() = default;

NcfFile NcfParser::parse() {
    return grammar_->parse();
}

const std::vector<Diagnostic>& NcfParser::get_diagnostics() const {
    return grammar_->get_diagnostics();
}

const std::vector<Comment>& NcfParser::get_comments() const {
    return grammar_->comments();
}

std::string_view NcfParser::text() const {
    return grammar_->text();
}

void NcfParser::set_trace(bool on) {
    grammar_->set_trace(on);
}

void NcfParser::set_trace_sink(TraceSink sink) {
    grammar_->set_trace_sink(std::move(sink));
}

}  // namespace tolvane
