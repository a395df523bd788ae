// Frames on the bus: the raw values of a frame's signals to its data bytes
// and back, and the protected identifier and checksum of LIN 2.x.
//
// Frame bit k is bit k mod 8 of data byte k div 8. A scalar signal's bit i is
// frame bit offset + i, so a scalar that spans bytes is little-endian. A
// byte-array signal (its initial value written as a list) starts on a byte
// boundary and its element j is data byte offset / 8 + j.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "../model/ncf_records.hpp"

namespace tolvane {

// A frame or a value the codec cannot use; the message names the frame and
// the signal.
class CodecError : public std::invalid_argument {
public:
    explicit CodecError(const std::string& message) : std::invalid_argument(message), message_(message) {}
    // The whole message: what() ends at the first NUL, which a name may hold.
    const std::string& message() const { return message_; }

private:
    std::string message_;
};

// The raw value of one signal: an unsigned integer for a scalar, the bytes
// for a byte array.
using RawValue = std::variant<std::uint64_t, std::vector<std::uint8_t>>;

struct NamedRawValue {
    std::string name;
    RawValue value;
};

// Where a usable frame's signals lie. Usable: 1 to 8 data bytes, scalars of
// 1 to 16 bits, byte arrays of 1 to 8 whole bytes on byte boundaries, every
// signal inside the frame, no two sharing a bit or a name, initial values
// that fit. Otherwise CodecError, listing every problem.
class FrameLayout {
public:
    explicit FrameLayout(const NcfSingleFrame& frame);

    const NcfSingleFrame& frame() const { return frame_; }
    std::size_t length() const { return length_; }

    // Data bytes from raw values; a signal without a value takes its initial
    // value, bits no signal uses are 0 (or 1 with `unused_bits_set`).
    std::vector<std::uint8_t> pack(std::span<const NamedRawValue> values, bool unused_bits_set = false) const;
    // The raw value of every signal, in the frame's order. CodecError when
    // `data` does not have the frame's length.
    std::vector<NamedRawValue> unpack(std::span<const std::uint8_t> data) const;
    // CodecError when `data` does not have the frame's length.
    void check_length(std::span<const std::uint8_t> data) const;
    // The raw value of the frame's signal at `signal` in `data`, which has
    // the frame's length.
    RawValue raw_value(std::size_t signal, std::span<const std::uint8_t> data) const;
    // The index of the frame's signal `name`; CodecError when it has none.
    std::size_t signal_index(std::string_view name) const;

private:
    void put_bytes(std::vector<std::uint8_t>& data, const NcfSignalDef& signal, const RawValue* given) const;
    std::uint64_t scalar_to_pack(const NcfSignalDef& signal, const RawValue* given) const;

    const NcfSingleFrame& frame_;
    std::size_t length_ = 0;
};

// The protected identifier of a frame identifier 0..0x3F: the identifier
// with its two parity bits, P0 = ID0 ^ ID1 ^ ID2 ^ ID4 in bit 6 and
// P1 = !(ID1 ^ ID3 ^ ID4 ^ ID5) in bit 7. CodecError outside 0..0x3F.
std::uint8_t protected_id(std::int64_t frame_id);

// The LIN checksum: the inverted eight-bit sum with carry of the data bytes,
// and of the protected identifier before them when one is given (the
// enhanced checksum of LIN 2.x; without it the classic one, which the
// diagnostic frames 0x3C and 0x3D always use).
std::uint8_t checksum(std::span<const std::uint8_t> data, std::optional<std::uint8_t> protected_identifier);

}  // namespace tolvane
