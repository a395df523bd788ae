// The formatter from C++: the comments a reading keeps, the origin of each
// line of the canonical text, and the comments put back in place.
#include <gtest/gtest.h>

#include <string>

#include "format/formatter.hpp"
#include "parser/ncf_parser.hpp"
#include "writer/ncf_writer.hpp"

namespace tolvane {
namespace {

constexpr std::string_view commented = R"(// header
node_capability_file;
LIN_language_version = "2.2";
node door { // the door
  general { LIN_protocol_version = "2.2"; supplier = 1; function = 2; variant = 0; bitrate = 19.2 kbps; }
  diagnostic { NAD = 1; /* one */ }
  frames { }
  status_management { response_error = e; }
}
)";

TEST(Format, TheParserGivesEveryCommentWithItsPlace) {
    NcfParser parser = NcfParser::from_text("c.ncf", "\xEF\xBB\xBF" + std::string(commented));
    ASSERT_EQ(parser.get_comments().size(), 3u);  // before the parse too: the whole text
    EXPECT_EQ(parser.get_comments()[1].text, "// the door");
    EXPECT_EQ(parser.get_comments()[1].line, 4u);
    EXPECT_EQ(parser.get_comments()[1].column, 13u);
    EXPECT_EQ(parser.get_comments()[2].text, "/* one */");
    // Only the lenient reading takes a "#" line for a comment.
    EXPECT_TRUE(NcfParser::from_text("c.ncf", std::string("# x\n")).get_comments().empty());
    EXPECT_EQ(NcfParser::from_text("c.ncf", std::string("# x\n"), {.lenient = true}).get_comments().size(), 1u);
}

TEST(Format, EveryLineOfTheCanonicalTextHasItsOrigin) {
    const NcfFile file = NcfParser::from_text("c.ncf", std::string(commented)).parse();
    const CanonicalLines lines = write_ncf_lines(file);
    EXPECT_EQ(lines.text, write_ncf(file));
    ASSERT_EQ(lines.origins.size(), lines.starts.size());
    EXPECT_EQ(static_cast<std::size_t>(std::ranges::count(lines.text, '\n')), lines.origins.size());
    // The node's head comes from the `node` keyword; its "}" closes that block.
    EXPECT_EQ(lines.origins[3].at, SourcePosition::at(4, 1));
    EXPECT_FALSE(lines.origins[3].closes);
    EXPECT_TRUE(lines.origins.back().closes);
    EXPECT_EQ(lines.origins.back().at, SourcePosition::at(4, 1));
}

TEST(Format, CommentsGoBackWhereTheReaderExpectsThem) {
    const Formatted formatted = format_ncf("c.ncf", SourceText(std::string(commented)));
    ASSERT_TRUE(formatted.text.has_value());
    EXPECT_TRUE(formatted.text->starts_with("// header\nnode_capability_file;\n"));
    EXPECT_NE(formatted.text->find("\nnode door { // the door\n"), std::string::npos);
    EXPECT_NE(formatted.text->find("        NAD = 0x01; /* one */\n"), std::string::npos);
    EXPECT_EQ(format_ncf("c.ncf", SourceText(*formatted.text)).text, formatted.text);
}

TEST(Format, ATextWithErrorsIsNotFormatted) {
    const Formatted formatted = format_ncf("c.ncf", SourceText(std::string("node_capability_file // no ;\n")));
    EXPECT_FALSE(formatted.text.has_value());
    ASSERT_FALSE(formatted.diagnostics.empty());
    EXPECT_EQ(formatted.diagnostics.front().severity, Diagnostic::Severity::Error);
}

}  // namespace
}  // namespace tolvane
