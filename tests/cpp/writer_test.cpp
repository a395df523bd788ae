// The writer from C++: a tree built by hand is written and read back, and
// what cannot be written names the field.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

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

// A failure names the file the caller asked for, with the system's reason,
// and leaves nothing beside it; a NUL, where the system would end the name,
// is refused before anything is written.
TEST(Writer, AFileThatCannotBeWrittenIsReportedByItsOwnName) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "tolvane-writer-failures";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const auto failure = [](const std::filesystem::path& path) -> std::filesystem::filesystem_error {
        try {
            write_ncf_file(one_node(), path);
        } catch (const std::filesystem::filesystem_error& error) {
            return error;
        }
        ADD_FAILURE() << "written: " << path;
        return std::filesystem::filesystem_error("", std::error_code());
    };
    const std::filesystem::path missing = folder / "missing" / "node.ncf";
    const auto not_found = failure(missing);
    EXPECT_EQ(not_found.path1(), missing);
    EXPECT_EQ(not_found.code(), std::errc::no_such_file_or_directory);

    std::filesystem::path with_nul = folder / "node.ncf";
    with_nul += std::filesystem::path::string_type(1, std::filesystem::path::value_type{});
    with_nul += "tail";
    const auto refused = failure(with_nul);
    EXPECT_EQ(refused.code(), std::errc::invalid_argument);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 0);
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tolvane
