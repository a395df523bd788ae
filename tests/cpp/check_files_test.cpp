// check_files: each file checked as check_text checks its text, in the order
// given whatever the number of threads, and a file that cannot be read
// reported by the system's error number in its place.
#include "validate/check_files.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "validate/validator.hpp"

namespace tolvane {
namespace {

// A file name as check_files takes it: the system's bytes, UTF-8 on Windows.
std::string name_of(const std::filesystem::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

class CheckFiles : public ::testing::Test {
protected:
    void SetUp() override {
        // A folder of each test's own: ctest runs the tests side by side.
        folder_ = std::filesystem::temp_directory_path() /
                  (std::string("tolvane-check-files-") +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string write(const std::string& file, const std::string& text) {
        std::ofstream(folder_ / file, std::ios::binary) << text;
        return name_of(folder_ / file);
    }

    std::filesystem::path folder_;
};

const std::string clean_text =
    "node_capability_file;\nLIN_language_version = \"2.1\";\nnode n {\n"
    "general { LIN_protocol_version = \"2.1\"; supplier = 1; function = 2; variant = 0; bitrate = 19.2 kbps; "
    "}\n"
    "diagnostic { NAD = 1; diagnostic_class = 2; support_sid { 0xB2, 0xB7 }; }\n"
    "frames { publish f { length = 1; signals { e { size = 1; init_value = 0; offset = 0; } } } }\n"
    "status_management { response_error = e; }\n}\n";

std::vector<std::string> messages(const std::vector<Diagnostic>& diagnostics) {
    std::vector<std::string> texts;
    for (const Diagnostic& diagnostic : diagnostics) {
        texts.push_back(diagnostic.file + ":" + std::to_string(diagnostic.line) + ":" +
                        std::to_string(diagnostic.column) + ": " + diagnostic.message + " [" +
                        diagnostic.code + "]");
    }
    return texts;
}

TEST_F(CheckFiles, EachFileGivesWhatCheckTextGivesInTheOrderGiven) {
    std::vector<std::string> texts{clean_text, "node_capability_file;\n", "",
                                   clean_text.substr(0, clean_text.size() / 2)};
    texts.push_back(std::string(clean_text).replace(clean_text.find("NAD = 1"), 7, "NAD = 0x7F"));
    std::vector<std::string> names;
    for (std::size_t i = 0; i < 40; ++i) {
        names.push_back(write("node" + std::to_string(i) + ".ncf", texts[i % texts.size()]));
    }
    for (const unsigned jobs : {1U, 2U, 3U, 64U}) {
        const std::vector<FileCheck> checked =
            check_files(names, {.parse = {}, .syntax_only = false, .jobs = jobs});
        ASSERT_EQ(checked.size(), names.size());
        for (std::size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(checked[i].read_error, 0);
            EXPECT_EQ(messages(checked[i].diagnostics),
                      messages(check_text(names[i], texts[i % texts.size()]).diagnostics))
                << names[i] << " with " << jobs << " threads";
        }
    }
}

TEST_F(CheckFiles, SyntaxOnlyGivesTheParsersDiagnosticsInTheOrderOfTheirPlaces) {
    const std::string name = write("cut.ncf", clean_text.substr(0, 120));
    const std::vector<FileCheck> checked =
        check_files(std::vector{name}, {.parse = {}, .syntax_only = true, .jobs = 0});
    NcfParser parser = NcfParser::from_text(name, clean_text.substr(0, 120));
    parser.parse();
    std::vector<Diagnostic> expected = parser.get_diagnostics();
    sort_by_position(expected);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(messages(checked[0].diagnostics), messages(expected));
}

TEST_F(CheckFiles, AFileThatCannotBeReadGivesItsErrorNumberInItsPlace) {
    const std::vector<std::string> names{write("good.ncf", clean_text), name_of(folder_ / "missing.ncf"),
                                         name_of(folder_), std::string("bad\0name.ncf", 12),
                                         write("empty.ncf", "")};
    const std::vector<FileCheck> checked = check_files(names, {.parse = {}, .syntax_only = false, .jobs = 2});
    ASSERT_EQ(checked.size(), 5U);
    EXPECT_EQ(checked[0].read_error, 0);
    EXPECT_TRUE(checked[0].diagnostics.empty());
    EXPECT_EQ(checked[1].read_error, ENOENT);
    EXPECT_EQ(checked[2].read_error, EISDIR);
    EXPECT_EQ(checked[3].read_error, EINVAL);
    EXPECT_EQ(checked[4].read_error, 0);  // an empty file is read, as empty text
    EXPECT_EQ(messages(checked[4].diagnostics), messages(check_text(names[4], std::string()).diagnostics));
    EXPECT_TRUE(check_files({}).empty());
}

}  // namespace
}  // namespace tolvane
