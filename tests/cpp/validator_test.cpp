// The validator's own parts: the wording of numbers, the name table, and
// trees that no parse gives (built by hand, positions unknown).
#include "validate/validator.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "validate/findings.hpp"
#include "validate/name_table.hpp"

namespace tolvane {
namespace {

TEST(MessageWording, IdentifiersAreHexadecimalOfAtLeastTheirWidthAndNegativeOnesDecimal) {
    EXPECT_EQ(detail::hex_id(0, 2), "0x00");
    EXPECT_EQ(detail::hex_id(0x7e, 2), "0x7E");
    EXPECT_EQ(detail::hex_id(0x1FFFF, 4), "0x1FFFF");
    EXPECT_EQ(detail::hex_id(0x2A, 4), "0x002A");
    EXPECT_EQ(detail::hex_id(2147483647, 2), "0x7FFFFFFF");
    EXPECT_EQ(detail::hex_id(-1, 4), "-1");
    EXPECT_EQ(detail::hex_id(-2147483648LL, 2), "-2147483648");
}

TEST(MessageWording, NumbersInTheShortestFormThatReadsBack) {
    EXPECT_EQ(detail::number(19.2), "19.2");
    EXPECT_EQ(detail::number(8.0), "8");
    EXPECT_EQ(detail::number(-0.5), "-0.5");
    EXPECT_EQ(detail::number(-0.0), "-0");
    EXPECT_EQ(detail::number(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(detail::number(100000.0), "1e+05");
    EXPECT_EQ(detail::number(10417.0 / 1000.0), "10.417");
}

TEST(NameTable, KeepsTheFirstValueOfEachNameAndGrowsBeyondWhatWasExpected) {
    detail::NameTable<int> table(1);
    std::vector<std::string> names;
    for (int i = 0; i < 1000; ++i) {
        names.push_back("signal_" + std::to_string(i));
    }
    for (int i = 0; i < 1000; ++i) {
        EXPECT_TRUE(table.try_emplace(names[static_cast<std::size_t>(i)], i).second);
    }
    for (int i = 0; i < 1000; ++i) {
        const auto [value, added] = table.try_emplace(names[static_cast<std::size_t>(i)], -1);
        EXPECT_FALSE(added);
        EXPECT_EQ(value, i);
    }
    EXPECT_TRUE(table.contains("signal_999"));
    EXPECT_FALSE(table.contains("signal_1000"));
    EXPECT_FALSE(table.contains(""));
    EXPECT_TRUE(table.try_emplace("", 7).second);
    EXPECT_TRUE(table.contains(""));
}

// A caller may build a tree by hand: nothing in it was read, so every
// position is unknown, and findings say so with line 0 rather than failing.
TEST(Validate, AHandBuiltTreeIsCheckedWithUnknownPositions) {
    NcfFile file;
    file.filename = "built.ncf";
    file.language_version = "2.2";
    NcfNodeDef node;
    node.name = "door";
    node.general.protocol_version = "2.2";
    node.general.bitrate.fixed_rate = 19.2;
    node.diagnostic.nad_lhs = 0x10;
    node.diagnostic.diagnostic_class = 2;
    NcfSingleFrame frame;
    frame.kind = "publish";
    frame.name = "status";
    frame.properties.length = 1;
    NcfSignalDef signal;
    signal.name = "error_bit";
    signal.properties.size = 1;
    signal.properties.offset = 9;  // past the end of the 1-byte frame
    frame.signals.push_back(signal);
    node.frames.push_back(frame);
    node.status.response_error = "error_bit";
    file.nodes.push_back(node);
    file.nodes.push_back(node);

    const std::vector<Diagnostic> found = validate(file);
    std::vector<std::string> codes;
    for (const Diagnostic& d : found) {
        codes.push_back(d.code);
        EXPECT_EQ(d.file, "built.ncf");
        EXPECT_EQ(d.line, 0u);
    }
    EXPECT_EQ(codes,
              (std::vector<std::string>{"signal-outside-frame", "duplicate-node", "signal-outside-frame"}));
}

TEST(Validate, EveryCodeItReportsIsAListedRule) {
    const CheckResult result =
        check_text("t.ncf", std::string("node_capability_file; LIN_language_version = \"x\";"));
    ASSERT_EQ(result.diagnostics.size(), 1u);
    EXPECT_EQ(result.diagnostics[0].code, "language-version");
    EXPECT_EQ(rules().front().code, "syntax");
    EXPECT_EQ(rules().back().code, "not-checked");
}

}  // namespace
}  // namespace tolvane
