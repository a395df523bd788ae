// The writer from C++: a tree built by hand is written and read back, and
// what cannot be written names the field.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "parser/ncf_parser.hpp"
#include "writer/ncf_writer.hpp"

namespace tolvane {
namespace {

NcfFile one_node() {
    NcfFile file;
    file.language_version = "2.2";
    NcfNodeDef node;
    node.name = "door";
    node.general.protocol_version = "2.2";
    node.general.bitrate.type = "fixed";
    node.general.bitrate.fixed_rate = 19.2;
    NcfSingleFrame frame;
    frame.kind = "publish";
    frame.name = "status";
    frame.properties.length = 1;
    NcfSignalDef signal;
    signal.name = "error_bit";
    signal.properties.size = 1;
    frame.signals.push_back(signal);
    node.frames.push_back(frame);
    node.status.response_error = "error_bit";
    file.nodes.push_back(node);
    return file;
}

TEST(Writer, AHandBuiltTreeReadsBack) {
    const std::string text = write_ncf(one_node());
    NcfParser parser = NcfParser::from_text("", text);
    const NcfFile back = parser.parse();
    EXPECT_TRUE(parser.get_diagnostics().empty());
    ASSERT_EQ(back.nodes.size(), 1u);
    EXPECT_EQ(back.nodes[0].frames.at(0).signals.at(0).name, "error_bit");
    EXPECT_EQ(back.nodes[0].general.bitrate.fixed_rate, 19.2);
    EXPECT_EQ(write_ncf(back), text);
}

TEST(Writer, RefusesWhatWouldReadBackDifferentlyAndNamesTheField) {
    NcfFile file = one_node();
    file.nodes[0].frames[0].signals[0].name = "two words";
    try {
        (void)write_ncf(file);
        FAIL() << "written";
    } catch (const CannotWrite& error) {
        EXPECT_EQ(error.path(), "nodes[0].frames[0].signals[0].name");
    }
}

TEST(Writer, AFileIsReplacedWholeAndNothingIsWrittenForATreeItRefuses) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "tolvane-writer-test";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::filesystem::path path = folder / "node.ncf";
    std::ofstream(path) << "old";
    NcfFile refused = one_node();
    refused.language_version = "a\"b";
    EXPECT_THROW(write_ncf_file(refused, path), CannotWrite);
    write_ncf_file(one_node(), path);
    std::string written;
    {
        // Closed before the folder is removed: Windows refuses to delete an open file.
        std::ifstream in(path, std::ios::binary);
        written.assign(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_EQ(written, write_ncf(one_node()));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tolvane
