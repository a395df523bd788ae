// Signal values through a node's encodings: the data bytes of a frame to what
// each signal means (a physical value and its unit, a logical text, a number
// written in BCD, ASCII text) and back.
//
// A signal uses the first encoding of the node that has its encoding name.
// Decoding tries the encoding's value lines in the order written; the first
// that covers the raw value wins:
// - a physical line covers min..max and gives raw * scale + offset, its text
//   being the unit;
// - a logical line covers its one raw value and gives its text;
// - a BCD line covers a raw value whose every four bits, most significant
//   first, hold a decimal digit 0..9, and gives the decimal number they
//   spell; a byte array's first byte holds the most significant digits, the
//   high four bits of a byte before the low four;
// - an ASCII line covers a byte array whose every byte is a 7-bit character
//   and gives the text they spell; it never covers a scalar.
// Physical and logical lines never cover a byte array. A raw value no line
// covers, and the value of a signal without an encoding, stays raw.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "frame_codec.hpp"

namespace tolvane {

// Which kind of value line gave a decoded value; `raw` when none did.
enum class ValueKind { physical, logical, bcd, ascii, raw };

// "physical", "logical", "bcd", "ascii" or "raw".
std::string_view kind_name(ValueKind kind);

// A signal's decoded value: a physical value (double), a logical text or an
// ASCII text (string), a BCD number or a raw scalar (unsigned), the raw bytes
// of a byte array no line covers.
using SignalValue = std::variant<std::uint64_t, double, std::string, std::vector<std::uint8_t>>;

struct DecodedSignal {
    std::string name;
    RawValue raw;
    SignalValue value;
    std::optional<std::string> unit;  // a physical line's text
    ValueKind kind = ValueKind::raw;
};

// A value to encode: a number (physical, a BCD number, or a raw scalar), a
// text (logical, or ASCII for a byte array), or the raw bytes of a byte
// array.
using EncodingInput = std::variant<std::int64_t, double, std::string, std::vector<std::uint8_t>>;

struct NamedInput {
    std::string name;
    EncodingInput value;
};

// A usable frame of a node, with the encoding of each signal looked up.
// CodecError for an unusable layout or an encoding name the node does not
// define. Keeps references to `node`'s encodings and to `frame`: they must
// outlive it.
class EncodedFrame {
public:
    EncodedFrame(const NcfNodeDef& node, const NcfSingleFrame& frame);

    const FrameLayout& layout() const { return layout_; }

    // Data bytes from values; a signal without a value takes its initial
    // value. A number is tried against the physical lines in order, then as
    // the raw value of a logical line; without a physical line it is a BCD
    // number (with a BCD line) or the raw value. A text is a logical text
    // (exact match) or, for a byte array with an ASCII line, its characters.
    // CodecError for a value that no line takes or that does not fit.
    std::vector<std::uint8_t> encode(std::span<const NamedInput> values, bool unused_bits_set = false) const;
    // Every signal decoded, in the frame's order. Never throws for data of
    // the frame's length; CodecError for data of another length.
    std::vector<DecodedSignal> decode(std::span<const std::uint8_t> data) const;

private:
    RawValue raw_value_of(std::size_t signal, const EncodingInput& value) const;

    FrameLayout layout_;
    std::vector<const NcfEncodingEntry*> encodings_;  // per signal; null without an encoding
};

// The node's first frame named `name`; CodecError when it has none.
const NcfSingleFrame& frame_named(const NcfNodeDef& node, std::string_view name);

// The value one signal's raw value means under `encoding` (null: none).
DecodedSignal decode_signal(const NcfSignalDef& signal, const NcfEncodingEntry* encoding, RawValue raw);

}  // namespace tolvane
