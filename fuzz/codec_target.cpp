// The codec target, on every frame of the strict and the lenient reading and
// of a copy whose values were changed to ones taken from the input's bytes
// (sizes, offsets and lengths of any value). A frame the codec cannot use is
// a CodecError, for the layout and the encoded frame alike. For a usable
// one: data of the frame's length always unpacks and decodes, to the same
// raw values; raw values taken from the input's bytes pack and unpack to
// themselves, with the unused bits cleared or set; a value one bit too wide,
// data of another length and any value to encode (any integer, any double,
// any text or bytes) are refused only with a CodecError.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "codec/frame_codec.hpp"
#include "codec/signal_codec.hpp"
#include "fuzz/byte_source.hpp"
#include "fuzz/checks.hpp"
#include "fuzz/fail.hpp"
#include "fuzz/targets.hpp"
#include "fuzz/tree_mangler.hpp"
#include "parser/ncf_parser.hpp"

namespace tolvane::fuzz {

namespace {

std::vector<std::uint8_t> data_from(ByteSource& source, std::size_t length) {
    std::vector<std::uint8_t> data(length);
    for (std::uint8_t& byte : data) {
        byte = source.byte();
    }
    return data;
}

bool same_values(const std::vector<NamedRawValue>& a, const std::vector<NamedRawValue>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name || a[i].value != b[i].value) {
            return false;
        }
    }
    return true;
}

template <class Call>
void refused(Call&& call, std::string_view what) {
    try {
        call();
    } catch (const CodecError&) {
        return;
    }
    fail(what);
}

// Raw values of the shape `like` has (a scalar of the signal's size, or as
// many bytes), taken from the source.
std::vector<NamedRawValue> values_from(ByteSource& source, const std::vector<NamedRawValue>& like,
                                       const FrameLayout& layout) {
    std::vector<NamedRawValue> values = like;
    for (NamedRawValue& value : values) {
        if (auto* bytes = std::get_if<std::vector<std::uint8_t>>(&value.value)) {
            *bytes = data_from(source, bytes->size());
        } else {
            const NcfSignalDef& signal = layout.frame().signals[layout.signal_index(value.name)];
            // a usable scalar has 1..16 bits
            const std::uint64_t mask = (std::uint64_t{1} << signal.properties.size) - 1;
            value.value = source.integer<std::uint64_t>() & mask;
        }
    }
    return values;
}

void check_packing(const FrameLayout& layout, ByteSource& source) {
    for (const std::vector<std::uint8_t>& data :
         {data_from(source, layout.length()), std::vector<std::uint8_t>(layout.length(), 0x00),
          std::vector<std::uint8_t>(layout.length(), 0xFF)}) {
        const std::vector<NamedRawValue> unpacked = layout.unpack(data);
        require(unpacked.size() == layout.frame().signals.size(),
                "unpacking gives other signals than the frame's");
        for (std::size_t i = 0; i < unpacked.size(); ++i) {
            require(layout.raw_value(i, data) == unpacked[i].value,
                    "a raw value differs from the unpacked one");
        }
        const std::vector<NamedRawValue> values = values_from(source, unpacked, layout);
        for (const bool unused_bits_set : {false, true}) {
            const std::vector<std::uint8_t> packed = layout.pack(values, unused_bits_set);
            require(packed.size() == layout.length(), "a packed frame has another length");
            require(same_values(layout.unpack(packed), values),
                    "unpacking a packed frame gives other values");
        }
        for (const NamedRawValue& value : values) {
            if (const auto* scalar = std::get_if<std::uint64_t>(&value.value)) {
                const NcfSignalDef& signal = layout.frame().signals[layout.signal_index(value.name)];
                const std::vector<NamedRawValue> too_wide{
                    NamedRawValue{value.name, *scalar | (std::uint64_t{1} << signal.properties.size)}};
                refused([&] { static_cast<void>(layout.pack(too_wide)); },
                        "a value too wide for its signal packs");
            }
        }
    }
    refused([&] { static_cast<void>(layout.unpack(data_from(source, layout.length() + 1))); },
            "data one byte too long unpacks");
    refused([&] { static_cast<void>(layout.unpack(data_from(source, layout.length() - 1))); },
            "data one byte too short unpacks");
}

EncodingInput input_from(ByteSource& source) {
    switch (source.byte() % 4) {
        case 0:
            return source.integer<std::int64_t>() >> (source.byte() % 64);
        case 1:
            return source.real();
        case 2:
            return source.text(9);
        default: {
            const std::string text = source.text(9);
            return std::vector<std::uint8_t>(text.begin(), text.end());
        }
    }
}

// A decoded value as encode takes it back.
EncodingInput encoding_input(const SignalValue& value) {
    return std::visit(
        [](const auto& held) -> EncodingInput {
            using T = std::decay_t<decltype(held)>;
            if constexpr (std::is_same_v<T, std::uint64_t>) {
                return static_cast<std::int64_t>(held);  // at most 16 BCD digits: below 2^63
            } else {
                return held;
            }
        },
        value);
}

void check_encoding(const EncodedFrame& encoded, ByteSource& source) {
    const FrameLayout& layout = encoded.layout();
    const std::vector<std::uint8_t> data = data_from(source, layout.length());
    const std::vector<DecodedSignal> decoded = encoded.decode(data);
    const std::vector<NamedRawValue> unpacked = layout.unpack(data);
    require(decoded.size() == unpacked.size(), "decoding gives other signals than unpacking");
    std::vector<NamedInput> given_back;
    std::vector<NamedInput> any_values;
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        require(decoded[i].name == unpacked[i].name && decoded[i].raw == unpacked[i].value,
                "decoding gives another raw value than unpacking");
        if (decoded[i].kind != ValueKind::raw) {
            given_back.push_back({decoded[i].name, encoding_input(decoded[i].value)});
        }
        any_values.push_back({decoded[i].name, input_from(source)});
    }
    for (const std::vector<NamedInput>* values : {&given_back, &any_values}) {
        try {
            const std::vector<std::uint8_t> encoded_data = encoded.encode(*values);
            require(encoded_data.size() == layout.length(), "an encoded frame has another length");
            static_cast<void>(encoded.decode(encoded_data));
        } catch (const CodecError&) {
            // a value no line takes, or one that does not fit
        }
    }
    refused([&] { static_cast<void>(encoded.decode(data_from(source, layout.length() + 1))); },
            "data one byte too long decodes");
}

void check_frame(const NcfNodeDef& node, const NcfSingleFrame& frame, ByteSource& source) {
    std::optional<FrameLayout> layout;
    try {
        layout.emplace(frame);
    } catch (const CodecError&) {
        refused([&] { EncodedFrame unusable(node, frame); }, "a frame the layout refuses encodes");
        return;
    }
    require(layout->length() >= 1 && layout->length() <= 8, "a usable frame has another length than 1..8");
    check_packing(*layout, source);
    std::optional<EncodedFrame> encoded;
    try {
        encoded.emplace(node, frame);
    } catch (const CodecError&) {
        return;  // an encoding the node does not define
    }
    check_encoding(*encoded, source);
}

void check_codec(const NcfFile& file, ByteSource& source) {
    for (const NcfNodeDef& node : file.nodes) {
        for (const NcfSingleFrame& frame : node.frames) {
            check_frame(node, frame, source);
        }
    }
}

void check_identifiers(ByteSource& source) {
    const auto id = source.integer<std::int64_t>() >> (source.byte() % 64);
    std::optional<std::uint8_t> protected_identifier;
    if (id >= 0 && id <= 0x3F) {
        protected_identifier = protected_id(id);
        require((*protected_identifier & 0x3F) == id, "a protected identifier loses its identifier");
    } else {
        refused([&] { static_cast<void>(protected_id(id)); }, "an identifier outside 0..0x3F is protected");
    }
    const std::vector<std::uint8_t> data = data_from(source, source.byte() % 9);
    const std::uint8_t sum = checksum(data, protected_identifier);
    // The sum with carry of the data, the identifier and the checksum is 0xFF.
    unsigned total = protected_identifier.value_or(0);
    for (const std::uint8_t byte : data) {
        total += byte;
        total = (total & 0xFF) + (total >> 8);
    }
    total += sum;
    total = (total & 0xFF) + (total >> 8);
    require(total == 0xFF, "a checksum does not complete the sum to 0xFF");
}

}  // namespace

void codec_target(std::string_view bytes) {
    const FuzzInput input(bytes);
    ByteSource source(bytes, bytes.size() / 3);
    for (const ParseOptions options : {ParseOptions{}, ParseOptions{.lenient = true}}) {
        const Reading reading = read(input, options);
        check_codec(reading.file, source);
        check_codec(mangled(reading.file, bytes), source);
    }
    check_identifiers(source);
}

}  // namespace tolvane::fuzz
