#include <gtest/gtest.h>

#include <utility>

#include "model/ncf_records.hpp"

namespace {

using namespace tolvane;

TEST(Records, StartEmpty) {
    const Diagnostic diagnostic;
    EXPECT_EQ(diagnostic.severity, Diagnostic::Severity::Error);
    EXPECT_EQ(diagnostic.line, 0u);
    EXPECT_EQ(diagnostic.column, 0u);
    EXPECT_TRUE(diagnostic.file.empty());
    EXPECT_TRUE(diagnostic.message.empty());

    const NcfInitValue init;
    EXPECT_FALSE(init.is_array);
    EXPECT_EQ(init.scalar, 0);
    EXPECT_TRUE(init.array_values.empty());

    const NcfGeneralDef general;
    EXPECT_TRUE(general.bitrate.type.empty());
    EXPECT_FALSE(general.bitrate.min_br || general.bitrate.max_br || general.bitrate.fixed_rate);
    EXPECT_FALSE(general.sends_wake_up_signal.has_value());
    EXPECT_FALSE(general.volt_from || general.volt_to || general.temp_from || general.temp_to);
    EXPECT_FALSE(general.conformance.has_value());

    const NcfDiagnosticDef diagnostic_section;
    EXPECT_FALSE(diagnostic_section.nad_rhs || diagnostic_section.diagnostic_class ||
                 diagnostic_section.max_message_length);
    EXPECT_FALSE(diagnostic_section.p2_min || diagnostic_section.st_min || diagnostic_section.n_as_timeout ||
                 diagnostic_section.n_cr_timeout);

    const NcfEncodingValue value;
    EXPECT_TRUE(value.type.empty());
    EXPECT_FALSE(value.logical_value || value.physical_range);

    const NcfPhysicalRange range;
    EXPECT_EQ(range.scale, 0.0);
    EXPECT_EQ(range.offset_val, 0.0);
    EXPECT_FALSE(range.text_info.has_value());

    const NcfNodeDef node;
    EXPECT_TRUE(node.frames.empty() && node.encodings.empty());
    EXPECT_FALSE(node.free_text.has_value());
}

TEST(Records, SeverityValuesAreFixed) {
    EXPECT_EQ(static_cast<int>(Diagnostic::Severity::Error), 0);
    EXPECT_EQ(static_cast<int>(Diagnostic::Severity::Warning), 1);
    EXPECT_EQ(static_cast<int>(Diagnostic::Severity::Info), 2);
}

TEST(Records, LineAndColumnKeepValuesAbove32Bits) {
    Diagnostic diagnostic;
    diagnostic.line = (std::uint64_t{1} << 40) + 7;
    diagnostic.column = std::uint64_t{1} << 33;
    const Diagnostic copy = diagnostic;
    EXPECT_EQ(copy.line, (std::uint64_t{1} << 40) + 7);
    EXPECT_EQ(copy.column, std::uint64_t{1} << 33);
}

NcfFile sample_file() {
    NcfSignalDef signal;
    signal.name = "speed";
    signal.properties.init_value.is_array = true;
    signal.properties.init_value.array_values = {1, 2};
    signal.properties.encoding_name = "speed_enc";

    NcfSingleFrame frame;
    frame.kind = "publish";
    frame.name = "status";
    frame.signals.push_back(signal);

    NcfEncodingValue value;
    value.type = "logical";
    value.logical_value = NcfLogicalValue{3, std::string("three")};

    NcfNodeDef node;
    node.name = "door";
    node.frames.push_back(frame);
    node.encodings.push_back(NcfEncodingEntry{"speed_enc", {value}});
    node.status.fault_state_signals = {"a", "b"};

    NcfFile file;
    file.filename = "door.ncf";
    file.nodes.push_back(node);
    return file;
}

TEST(Records, CopyIsDeep) {
    const NcfFile source = sample_file();
    NcfFile copy = source;

    copy.nodes[0].frames[0].signals[0].properties.init_value.array_values.push_back(9);
    copy.nodes[0].frames[0].signals[0].properties.encoding_name.reset();
    copy.nodes[0].encodings[0].values[0].logical_value->text_info = "changed";
    copy.nodes[0].status.fault_state_signals.clear();
    copy.nodes[0].name = "seat";

    const NcfSignalDef& signal = source.nodes[0].frames[0].signals[0];
    EXPECT_EQ(signal.properties.init_value.array_values, (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(signal.properties.encoding_name, "speed_enc");
    EXPECT_EQ(source.nodes[0].encodings[0].values[0].logical_value->text_info, "three");
    EXPECT_EQ(source.nodes[0].status.fault_state_signals, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(source.nodes[0].name, "door");
}

TEST(Records, MoveTakesTheWholeSubtree) {
    NcfFile source = sample_file();
    const NcfSingleFrame* frame = &source.nodes[0].frames[0];
    NcfFile moved = std::move(source);
    // The node list's storage moved with it: no element was copied.
    EXPECT_EQ(&moved.nodes[0].frames[0], frame);
    EXPECT_EQ(moved.nodes[0].frames[0].signals[0].name, "speed");
}

}  // namespace
