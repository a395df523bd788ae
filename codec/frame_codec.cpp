// Packing and unpacking raw signal values, and the protected identifier and
// checksum.
#include "codec/frame_codec.hpp"

#include <algorithm>
#include <cstddef>

#include "codec/codec_text.hpp"

namespace tolvane {

using codec_text::bits;
using codec_text::quoted;
using codec_text::same_name;
using codec_text::signal_place;

namespace {

bool is_byte_array(const NcfSignalDef& signal) {
    return signal.properties.init_value.is_array;
}

std::string bits_text(const NcfSignalDef& signal) {
    const std::int64_t first = signal.properties.offset;
    return "bits " + std::to_string(first) + ".." + std::to_string(first + signal.properties.size - 1);
}

// What keeps one signal from being packed, or nothing.
std::string signal_problem(const NcfSignalDef& signal, std::int64_t frame_bits) {
    const NcfSignalProperties& properties = signal.properties;
    const std::int32_t size = properties.size;
    const auto name = [&] { return "signal " + quoted(signal.name); };
    if (is_byte_array(signal)) {
        if (size < 8 || size > 64 || size % 8 != 0) {
            return name() + " is a byte array of " + std::to_string(size) + " bits, not 8, 16, ..., 64";
        }
        if (properties.offset % 8 != 0) {
            return name() + " is a byte array that starts at bit " + std::to_string(properties.offset) +
                   ", not on a byte boundary";
        }
        const auto& bytes = properties.init_value.array_values;
        if (bytes.size() != static_cast<std::size_t>(size / 8) ||
            std::any_of(bytes.begin(), bytes.end(), [](std::int32_t b) { return b < 0 || b > 0xFF; })) {
            return name() + " has an initial value that is not " + std::to_string(size / 8) + " bytes";
        }
    } else {
        if (size < 1 || size > 16) {
            return name() + " is a scalar of " + std::to_string(size) + " bits, not 1..16";
        }
        const std::int64_t init = properties.init_value.scalar;
        if (init < 0 || init >= (std::int64_t{1} << size)) {
            return name() + " has the initial value " + std::to_string(init) + ", which does not fit " +
                   bits(size);
        }
    }
    if (properties.offset < 0 || std::int64_t{properties.offset} + size > frame_bits) {
        return name() + " (" + bits_text(signal) + ") does not fit the frame's " +
               std::to_string(frame_bits / 8) + " byte(s)";
    }
    return {};
}

std::string frame_name(const NcfSingleFrame& frame) {
    return "Frame " + quoted(frame.name);
}

// A scalar of at most 16 bits touches at most three data bytes: they are
// read as one little-endian word, as the LIN bit order numbers them.
std::uint64_t scalar_of(std::span<const std::uint8_t> data, const NcfSignalProperties& properties) {
    const auto first = static_cast<std::size_t>(properties.offset) / 8;
    const auto last = static_cast<std::size_t>(properties.offset + properties.size - 1) / 8;
    std::uint64_t word = 0;
    for (std::size_t byte = last + 1; byte-- > first;) {
        word = (word << 8) | data[byte];
    }
    const std::uint64_t mask = (std::uint64_t{1} << properties.size) - 1;
    return (word >> (properties.offset % 8)) & mask;
}

void put_scalar(std::vector<std::uint8_t>& data, const NcfSignalProperties& properties, std::uint64_t value) {
    const auto first = static_cast<std::size_t>(properties.offset) / 8;
    const auto last = static_cast<std::size_t>(properties.offset + properties.size - 1) / 8;
    const auto shift = static_cast<unsigned>(properties.offset % 8);
    const std::uint64_t mask = ((std::uint64_t{1} << properties.size) - 1) << shift;
    for (std::size_t byte = first; byte <= last; ++byte) {
        const unsigned at = 8 * static_cast<unsigned>(byte - first);
        const auto keep = static_cast<std::uint8_t>(~(mask >> at) & 0xFFU);
        const auto put = static_cast<std::uint8_t>(((value << shift) & mask) >> at & 0xFFU);
        data[byte] = static_cast<std::uint8_t>((data[byte] & keep) | put);
    }
}

// The frame bits a signal that fits the frame covers.
std::uint64_t bits_of(const NcfSignalDef& signal) {
    const NcfSignalProperties& properties = signal.properties;
    const std::uint64_t ones =
        properties.size == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << properties.size) - 1;
    return ones << properties.offset;
}

// One problem for each signal that fits the frame and shares a bit with an
// earlier one, in the order of their first bits. Sorted by first bit, a
// signal can only overlap the signal before it that reaches furthest.
void add_overlaps(const NcfSingleFrame& frame, std::int64_t frame_bits, std::vector<std::string>& problems) {
    std::vector<std::pair<std::int64_t, std::size_t>> starts;
    for (std::size_t i = 0; i < frame.signals.size(); ++i) {
        if (signal_problem(frame.signals[i], frame_bits).empty()) {
            starts.emplace_back(frame.signals[i].properties.offset, i);
        }
    }
    std::sort(starts.begin(), starts.end());
    const auto end_of = [](const NcfSignalDef& signal) {
        return std::int64_t{signal.properties.offset} + signal.properties.size;
    };
    const NcfSignalDef* reaching = nullptr;
    for (const auto& [first, index] : starts) {
        const NcfSignalDef& signal = frame.signals[index];
        if (reaching != nullptr && end_of(*reaching) > first) {
            problems.push_back("signal " + quoted(signal.name) + " (" + bits_text(signal) +
                               ") overlaps signal " + quoted(reaching->name) + " (" + bits_text(*reaching) +
                               ")");
        }
        if (reaching == nullptr || end_of(signal) > end_of(*reaching)) {
            reaching = &signal;
        }
    }
}

}  // namespace

FrameLayout::FrameLayout(const NcfSingleFrame& frame) : frame_(frame) {
    std::vector<std::string> problems;
    const std::int32_t length = frame.properties.length;
    if (length < 1 || length > 8) {
        problems.push_back("it has " + std::to_string(length) + " data bytes, not 1..8");
    }
    const std::int64_t frame_bits = 8 * std::int64_t{std::clamp(length, 0, 8)};
    std::uint64_t used = 0;
    bool overlapping = false;
    for (std::size_t i = 0; i < frame.signals.size(); ++i) {
        const NcfSignalDef& signal = frame.signals[i];
        for (std::size_t j = 0; j < i; ++j) {
            if (same_name(frame.signals[j].name, signal.name)) {
                problems.push_back("signal " + quoted(signal.name) + " is defined twice");
            }
        }
        if (std::string problem = signal_problem(signal, frame_bits); !problem.empty()) {
            problems.push_back(std::move(problem));
        } else {
            overlapping = overlapping || (used & bits_of(signal)) != 0;
            used |= bits_of(signal);
        }
    }
    if (overlapping) {
        add_overlaps(frame, frame_bits, problems);
    }
    if (!problems.empty()) {
        std::string message = frame_name(frame) + " cannot be packed: ";
        for (std::size_t i = 0; i < problems.size(); ++i) {
            message += (i == 0 ? "" : "; ") + problems[i];
        }
        throw CodecError(message);
    }
    length_ = static_cast<std::size_t>(length);
}

std::size_t FrameLayout::signal_index(std::string_view name) const {
    const auto& signals = frame_.signals;
    const auto found = std::find_if(signals.begin(), signals.end(),
                                    [&](const NcfSignalDef& signal) { return same_name(signal.name, name); });
    if (found == signals.end()) {
        throw CodecError(frame_name(frame_) + " has no signal " + quoted(name));
    }
    return static_cast<std::size_t>(found - signals.begin());
}

std::vector<std::uint8_t> FrameLayout::pack(std::span<const NamedRawValue> values,
                                            bool unused_bits_set) const {
    std::vector<const RawValue*> given(frame_.signals.size(), nullptr);
    for (const NamedRawValue& value : values) {
        given[signal_index(value.name)] = &value.value;
    }
    std::vector<std::uint8_t> data(length_, unused_bits_set ? 0xFF : 0x00);
    for (std::size_t i = 0; i < frame_.signals.size(); ++i) {
        const NcfSignalDef& signal = frame_.signals[i];
        if (is_byte_array(signal)) {
            put_bytes(data, signal, given[i]);
        } else {
            put_scalar(data, signal.properties, scalar_to_pack(signal, given[i]));
        }
    }
    return data;
}

void FrameLayout::put_bytes(std::vector<std::uint8_t>& data, const NcfSignalDef& signal,
                            const RawValue* given) const {
    const NcfSignalProperties& properties = signal.properties;
    const auto first = data.begin() + properties.offset / 8;
    const auto count = static_cast<std::size_t>(properties.size / 8);
    if (given == nullptr) {
        std::transform(properties.init_value.array_values.begin(), properties.init_value.array_values.end(),
                       first, [](std::int32_t byte) { return static_cast<std::uint8_t>(byte); });
        return;
    }
    const auto* bytes = std::get_if<std::vector<std::uint8_t>>(given);
    if (bytes == nullptr) {
        throw CodecError("The " + signal_place(signal, frame_) + " is a byte array: give its " +
                         std::to_string(count) + " bytes, not an int");
    }
    if (bytes->size() != count) {
        throw CodecError("The " + signal_place(signal, frame_) + " takes " + std::to_string(count) +
                         " bytes, not " + std::to_string(bytes->size()));
    }
    std::copy(bytes->begin(), bytes->end(), first);
}

std::uint64_t FrameLayout::scalar_to_pack(const NcfSignalDef& signal, const RawValue* given) const {
    const NcfSignalProperties& properties = signal.properties;
    if (given == nullptr) {
        return static_cast<std::uint64_t>(properties.init_value.scalar);
    }
    const auto* scalar = std::get_if<std::uint64_t>(given);
    if (scalar == nullptr) {
        throw CodecError("The " + signal_place(signal, frame_) + " is a scalar: give an int, not bytes");
    }
    if (*scalar >= (std::uint64_t{1} << properties.size)) {
        throw CodecError("The value " + std::to_string(*scalar) + " of the " + signal_place(signal, frame_) +
                         " does not fit " + bits(properties.size));
    }
    return *scalar;
}

std::vector<NamedRawValue> FrameLayout::unpack(std::span<const std::uint8_t> data) const {
    check_length(data);
    std::vector<NamedRawValue> values;
    values.reserve(frame_.signals.size());
    for (std::size_t i = 0; i < frame_.signals.size(); ++i) {
        values.push_back({frame_.signals[i].name, raw_value(i, data)});
    }
    return values;
}

RawValue FrameLayout::raw_value(std::size_t signal, std::span<const std::uint8_t> data) const {
    const NcfSignalProperties& properties = frame_.signals[signal].properties;
    if (properties.init_value.is_array) {
        const auto first = data.begin() + properties.offset / 8;
        return std::vector<std::uint8_t>(first, first + properties.size / 8);
    }
    return scalar_of(data, properties);
}

void FrameLayout::check_length(std::span<const std::uint8_t> data) const {
    if (data.size() != length_) {
        throw CodecError(frame_name(frame_) + " has " + std::to_string(length_) + " data bytes, not " +
                         std::to_string(data.size()));
    }
}

std::uint8_t protected_id(std::int64_t frame_id) {
    if (frame_id < 0 || frame_id > 0x3F) {
        throw CodecError("Frame identifier " + std::to_string(frame_id) + " is outside 0..0x3F");
    }
    const auto id = static_cast<unsigned>(frame_id);
    const auto bit = [id](unsigned n) { return (id >> n) & 1U; };
    const unsigned p0 = bit(0) ^ bit(1) ^ bit(2) ^ bit(4);
    const unsigned p1 = (bit(1) ^ bit(3) ^ bit(4) ^ bit(5)) ^ 1U;
    return static_cast<std::uint8_t>(id | (p0 << 6) | (p1 << 7));
}

std::uint8_t checksum(std::span<const std::uint8_t> data, std::optional<std::uint8_t> protected_identifier) {
    unsigned sum = protected_identifier.value_or(0);
    for (const std::uint8_t byte : data) {
        sum += byte;
        if (sum > 0xFF) {
            sum -= 0xFF;  // the carry goes back into the sum
        }
    }
    return static_cast<std::uint8_t>(~sum & 0xFFU);
}

}  // namespace tolvane
