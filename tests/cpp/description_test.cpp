// The records' descriptions: that a member left out of one is caught, and
// what position_of() and the tree walks give over a parsed file.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "model/ncf_records.hpp"
#include "parser/ncf_parser.hpp"

namespace sample {

// Three records shaped like the real ones: one described completely, one
// with a member its description forgets, one with a position nobody names.
struct Complete {
    int size = 0;
    std::vector<int> items;
    struct Positions {
        tolvane::SourcePosition start;
        tolvane::SourcePosition size;
        std::vector<tolvane::SourcePosition> items;
    } positions{};
};

struct MissingField {
    int size = 0;
    int offset = 0;  // added, but not to the description
    struct Positions {
        tolvane::SourcePosition start;
        tolvane::SourcePosition size;
    } positions{};
};

struct UnnamedPosition {
    int size = 0;
    struct Positions {
        tolvane::SourcePosition start;
        tolvane::SourcePosition size;
        tolvane::SourcePosition offset;  // kept, but not described
    } positions{};
};

}  // namespace sample

template <>
struct tolvane::Description<sample::Complete> {
    using R = sample::Complete;
    using P = R::Positions;
    static constexpr std::string_view name = "Complete";
    static constexpr std::tuple fields{field("size", &R::size, &P::size, ""),
                                       field("items", &R::items, &P::items, "")};
};

template <>
struct tolvane::Description<sample::MissingField> {
    using R = sample::MissingField;
    using P = R::Positions;
    static constexpr std::string_view name = "MissingField";
    static constexpr std::tuple fields{field("size", &R::size, &P::size, "")};
};

template <>
struct tolvane::Description<sample::UnnamedPosition> {
    using R = sample::UnnamedPosition;
    using P = R::Positions;
    static constexpr std::string_view name = "UnnamedPosition";
    static constexpr std::tuple fields{field("size", &R::size, &P::size, "")};
};

namespace {

using tolvane::SourcePosition;

static_assert(tolvane::described_completely<sample::Complete>());
static_assert(!tolvane::described_completely<sample::MissingField>());
static_assert(!tolvane::described_completely<sample::UnnamedPosition>());

constexpr const char* text =
    "node_capability_file;\n"
    "LIN_language_version = \"2.1\";\n"
    "node n {\n"
    "  general { LIN_protocol_version = \"2.1\"; supplier = 1; function = 2; variant = 3;\n"
    "    bitrate = 19.2 kbps; temp_range = -40, 85; }\n"
    "  diagnostic { NAD = 1, 2, 3; }\n"
    "  frames { subscribe f { length = 1; signals { s { size = 8; } } } }\n"
    "  encoding { e { bcd_value; physical_value, 0, 1, 1, 0; } }\n"
    "  status_management { response_error = s; }\n"
    "}\n";

tolvane::NcfFile parse_sample() {
    tolvane::NcfParser parser = tolvane::NcfParser::from_text("t.ncf", text);
    tolvane::NcfFile file = parser.parse();
    EXPECT_TRUE(parser.get_diagnostics().empty());
    return file;
}

TEST(Descriptions, PositionOfValuesItemsKeywordsAndSubRecords) {
    const tolvane::NcfFile file = parse_sample();
    const tolvane::NcfNodeDef& node = file.nodes.at(0);
    using tolvane::position_of;
    EXPECT_EQ(position_of(node.general, "variant_id"), (SourcePosition{4, 81}));
    EXPECT_EQ(position_of(node.general, "temp_range"), (SourcePosition{5, 26}));
    EXPECT_EQ(position_of(node.general, "bitrate"), (SourcePosition{5, 15}));
    EXPECT_EQ(position_of(node.general, "volt_range"), std::nullopt);
    EXPECT_EQ(position_of(node.diagnostic, "nad_list", 1), (SourcePosition{6, 28}));
    EXPECT_EQ(position_of(node, "frames", 0), (SourcePosition{7, 12}));
    EXPECT_EQ(position_of(node.encodings.at(0), "values", 1), (SourcePosition{8, 29}));
    EXPECT_EQ(position_of(node.encodings.at(0).values.at(0), "physical_range"), std::nullopt);
    EXPECT_EQ(position_of(node.frames.at(0).signals.at(0).properties, "init_value"), std::nullopt);
}

TEST(Descriptions, PositionOfRefusesWhatTheRecordDoesNotHave) {
    const tolvane::NcfFile file = parse_sample();
    const tolvane::NcfDiagnosticDef& diagnostic = file.nodes.at(0).diagnostic;
    EXPECT_THROW(tolvane::position_of(diagnostic, "nad_lists"), std::invalid_argument);
    EXPECT_THROW(tolvane::position_of(diagnostic, "nad_list"), std::invalid_argument);
    EXPECT_THROW(tolvane::position_of(diagnostic, "nad_lhs", 0), std::invalid_argument);
    EXPECT_THROW(tolvane::position_of(diagnostic, "nad_list", 2), std::out_of_range);
    // A list whose positions were not kept (a record made by hand) has none.
    tolvane::NcfDiagnosticDef by_hand;
    by_hand.nad_list = {4};
    EXPECT_EQ(tolvane::position_of(by_hand, "nad_list", 0), std::nullopt);
}

// Records in the order of their fields, depth first; the positions a record
// keeps by their names.
TEST(Descriptions, WalksVisitEveryRecordAndEveryPosition) {
    const tolvane::NcfFile file = parse_sample();
    std::string visited;
    tolvane::for_each_record(file, [&visited](const auto& record) {
        visited.append(tolvane::Description<std::remove_cvref_t<decltype(record)>>::name).append(" ");
    });
    EXPECT_EQ(visited,
              "NcfFile NcfNodeDef NcfGeneralDef NcfBitrateDefinition NcfDiagnosticDef NcfSingleFrame "
              "NcfFrameProperties NcfSignalDef NcfSignalProperties NcfInitValue NcfEncodingEntry "
              "NcfEncodingValue NcfEncodingValue NcfPhysicalRange NcfStatusManagement ");
    std::string names;
    tolvane::for_each_position(
        file.nodes.at(0).diagnostic, [&names](std::string_view name, SourcePosition at) {
            if (at.known()) {
                names.append(name).append("@").append(std::to_string(at.column)).append(" ");
            }
        });
    EXPECT_EQ(names, "start@3 nad_lhs@22 nad_list@25 nad_list@28 NAD@16 ");
}

TEST(Descriptions, PositionsSaturateBeyondThirtyTwoBits) {
    EXPECT_EQ(SourcePosition::at(std::uint64_t{1} << 40, 7), (SourcePosition{SourcePosition::largest, 7}));
    EXPECT_EQ(SourcePosition::at(3, 4), (SourcePosition{3, 4}));
}

}  // namespace
