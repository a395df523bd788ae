// The codec from C++: raw values in the LIN bit order, values through a
// node's encodings, and the errors that name what is wrong.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "codec/frame_codec.hpp"
#include "codec/signal_codec.hpp"
#include "parser/ncf_parser.hpp"

namespace tolvane {
namespace {

constexpr const char* door_text = R"(node_capability_file;
LIN_language_version = "2.2";
node door {
  general {
    LIN_protocol_version = "2.2"; supplier = 0x1E; function = 0x12; variant = 1;
    bitrate = 19.2 kbps; sends_wake_up_signal = "no";
  }
  diagnostic { NAD = 0x10; }
  frames {
    publish status {
      length = 4;
      signals {
        position { size = 12; init_value = 0; offset = 4; position_enc; }
        state { size = 2; init_value = 3; offset = 0; state_enc; }
        serial { size = 16; init_value = { 0x12, 0x34 }; offset = 16; serial_enc; }
      }
    }
    publish broken {
      length = 1;
      signals {
        wide { size = 8; init_value = 0; offset = 4; }
        lost { size = 4; init_value = 0; offset = 2; missing_enc; }
      }
    }
  }
  encoding {
    position_enc { physical_value, 0, 4000, 0.1, -100, "mm"; logical_value, 4095, "fault"; }
    state_enc { logical_value, 0, "idle"; logical_value, 1, "busy"; }
    serial_enc { bcd_value; }
  }
  status_management { response_error = state; }
}
)";

class Codec : public ::testing::Test {
protected:
    void SetUp() override {
        NcfParser parser = NcfParser::from_text("door.ncf", door_text);
        file_ = parser.parse();
        ASSERT_TRUE(parser.get_diagnostics().empty());
    }

    const NcfNodeDef& node() const { return file_.nodes.at(0); }

    NcfFile file_;
};

TEST_F(Codec, PacksScalarsLittleEndianAndArraysByteByByte) {
    const FrameLayout layout(frame_named(node(), "status"));
    const std::vector<NamedRawValue> values = {{"position", std::uint64_t{0xABC}},
                                               {"state", std::uint64_t{1}}};
    const std::vector<std::uint8_t> data = layout.pack(values);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{0xC1, 0xAB, 0x12, 0x34}));
    const std::vector<NamedRawValue> back = layout.unpack(data);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].value, RawValue(std::uint64_t{0xABC}));
    EXPECT_EQ(back[2].value, RawValue(std::vector<std::uint8_t>{0x12, 0x34}));
    EXPECT_EQ(layout.pack({}, true), (std::vector<std::uint8_t>{0x0F, 0x00, 0x12, 0x34}));
}

TEST_F(Codec, DecodesThroughTheNodesEncodings) {
    const EncodedFrame frame(node(), frame_named(node(), "status"));
    const std::vector<DecodedSignal> decoded =
        frame.decode(std::vector<std::uint8_t>{0x41, 0x3E, 0x20, 0x26});
    ASSERT_EQ(decoded.size(), 3u);
    EXPECT_EQ(decoded[0].name, "position");
    EXPECT_EQ(decoded[0].raw, RawValue(std::uint64_t{0x3E4}));  // 996
    EXPECT_NEAR(std::get<double>(decoded[0].value), -0.4, 1e-9);
    EXPECT_EQ(decoded[0].unit, std::optional<std::string>("mm"));
    EXPECT_EQ(kind_name(decoded[0].kind), "physical");
    EXPECT_EQ(decoded[1].value, SignalValue(std::string("busy")));
    EXPECT_EQ(decoded[2].value, SignalValue(std::uint64_t{2026}));
    EXPECT_EQ(kind_name(decoded[2].kind), "bcd");

    // A raw value that no line covers stays raw: 4001..4094, 2 and 3.
    const std::vector<DecodedSignal> uncovered =
        frame.decode(std::vector<std::uint8_t>{0x13, 0xFA, 0xAB, 0x00});
    EXPECT_EQ(uncovered[0].kind, ValueKind::raw);
    EXPECT_EQ(uncovered[0].value, SignalValue(std::uint64_t{0xFA1}));
    EXPECT_EQ(uncovered[1].value, SignalValue(std::uint64_t{3}));
    EXPECT_EQ(uncovered[2].value, SignalValue(std::vector<std::uint8_t>{0xAB, 0x00}));
}

TEST_F(Codec, EncodesNumbersTextsAndBcdNumbers) {
    const EncodedFrame frame(node(), frame_named(node(), "status"));
    const std::vector<NamedInput> values = {
        {"position", -0.4}, {"state", std::string("busy")}, {"serial", std::int64_t{2026}}};
    EXPECT_EQ(frame.encode(values), (std::vector<std::uint8_t>{0x41, 0x3E, 0x20, 0x26}));
    EXPECT_EQ(frame.encode(std::vector<NamedInput>{{"position", std::string("fault")}}),
              (std::vector<std::uint8_t>{0xF3, 0xFF, 0x12, 0x34}));
}

std::string refusal(const EncodedFrame& frame, const NamedInput& value) {
    try {
        frame.encode(std::vector<NamedInput>{value});
    } catch (const CodecError& error) {
        return error.what();
    }
    return "encoded";
}

TEST_F(Codec, RefusalsNameTheFrameTheSignalAndTheEncoding) {
    const EncodedFrame frame(node(), frame_named(node(), "status"));
    EXPECT_EQ(
        refusal(frame, {"position", 400.5}),
        "The value 400.5 of the signal 'position' of frame 'status' (encoding 'position_enc') lies outside "
        "every physical range: -100..300 mm");
    EXPECT_EQ(refusal(frame, {"state", std::string("off")}),
              "The text 'off' is not a logical value of the signal 'state' of frame 'status' (encoding "
              "'state_enc'); it takes 'idle', 'busy'");
    EXPECT_EQ(
        refusal(frame, {"serial", std::int64_t{12345}}),
        "The value 12345 of the signal 'serial' of frame 'status' (encoding 'serial_enc') does not fit 4 BCD "
        "digits of 16 bits");
    EXPECT_EQ(refusal(frame, {"speed", std::int64_t{1}}), "Frame 'status' has no signal 'speed'");
    EXPECT_THROW(frame.decode(std::vector<std::uint8_t>(3)), CodecError);
    EXPECT_THROW(static_cast<void>(frame_named(node(), "nothing")), CodecError);
}

TEST_F(Codec, AnUnusableFrameListsEveryProblemBeforeItsEncodings) {
    try {
        const EncodedFrame frame(node(), frame_named(node(), "broken"));
        FAIL() << "an unusable frame was accepted";
    } catch (const CodecError& error) {
        EXPECT_STREQ(error.what(),
                     "Frame 'broken' cannot be packed: signal 'wide' (bits 4..11) does not fit the frame's 1 "
                     "byte(s)");
    }
    NcfSingleFrame usable = frame_named(node(), "broken");
    usable.signals.erase(usable.signals.begin());
    try {
        const EncodedFrame frame(node(), usable);
        FAIL() << "an undefined encoding was accepted";
    } catch (const CodecError& error) {
        EXPECT_STREQ(
            error.what(),
            "The signal 'lost' of frame 'broken' uses encoding 'missing_enc', which node 'door' does "
            "not define");
    }
}

TEST(ProtectedIdAndChecksum, KnownIdentifiersAndTheStandardsWorkedChecksum) {
    EXPECT_EQ(protected_id(0x3C), 0x3C);
    EXPECT_EQ(protected_id(0x3D), 0x7D);
    EXPECT_EQ(protected_id(0x00), 0x80);
    EXPECT_EQ(protected_id(0x01), 0xC1);
    EXPECT_EQ(protected_id(0x02), 0x42);
    const std::vector<std::uint8_t> data = {0x55, 0x93, 0xE5};
    EXPECT_EQ(checksum(data, 0x4A), 0xE6);
    EXPECT_EQ(checksum(data, std::nullopt), 0x31);
    EXPECT_THROW(static_cast<void>(protected_id(0x40)), CodecError);
}

}  // namespace
}  // namespace tolvane
