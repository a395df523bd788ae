// Packing and unpacking raw signal values, and the protected identifier and
// checksum.
#include "codec/frame_codec.hpp"

#include <algorithm>
#include <cstddef>

namespace tolvane {

namespace {

bool is_byte_array(const NcfSignalDef& signal) {
    return signal.properties.init_value.is_array;
}

std::string quoted(std::string_view name) {
    return "'" + std::string(name) + "'";
}

std::string bits_text(const NcfSignalDef& signal) {
    const std::int64_t first = signal.properties.offset;
    return "bits " + std::to_string(first) + ".." + std::to_string(first + signal.properties.size - 1);
}

// What keeps one signal from being packed, or nothing.
std::string signal_problem(const NcfSignalDef& signal, std::int64_t frame_bits) {
    const NcfSignalProperties& properties = signal.properties;
    const std::int32_t size = properties.size;
    const std::string name = "signal " + quoted(signal.name);
    if (is_byte_array(signal)) {
        if (size < 8 || size > 64 || size % 8 != 0) {
            return name + " is a byte array of " + std::to_string(size) + " bits, not 8, 16, ..., 64";
        }
        if (properties.offset % 8 != 0) {
            return name + " is a byte array that starts at bit " + std::to_string(properties.offset) +
                   ", not on a byte boundary";
        }
        const auto& bytes = properties.init_value.array_values;
        if (bytes.size() != static_cast<std::size_t>(size / 8) ||
            std::any_of(bytes.begin(), bytes.end(), [](std::int32_t b) { return b < 0 || b > 0xFF; })) {
            return name + " has an initial value that is not " + std::to_string(size / 8) + " bytes";
        }
    } else {
        if (size < 1 || size > 16) {
            return name + " is a scalar of " + std::to_string(size) + " bits, not 1..16";
        }
        const std::int64_t init = properties.init_value.scalar;
        if (init < 0 || init >= (std::int64_t{1} << size)) {
            return name + " has the initial value " + std::to_string(init) + ", which does not fit " +
                   std::to_string(size) + " bits";
        }
    }
    if (properties.offset < 0 || std::int64_t{properties.offset} + size > frame_bits) {
        return name + " (" + bits_text(signal) + ") does not fit the frame's " +
               std::to_string(frame_bits / 8) + " byte(s)";
    }
    return {};
}

std::string frame_name(const NcfSingleFrame& frame) {
    return "Frame " + quoted(frame.name);
}

std::uint64_t scalar_of(const std::vector<std::uint8_t>& data, const NcfSignalProperties& properties) {
    std::uint64_t value = 0;
    for (std::int32_t i = 0; i < properties.size; ++i) {
        const auto bit = static_cast<std::size_t>(properties.offset + i);
        const unsigned byte = data[bit / 8];
        value |= static_cast<std::uint64_t>((byte >> (bit % 8)) & 1U) << i;
    }
    return value;
}

void put_scalar(std::vector<std::uint8_t>& data, const NcfSignalProperties& properties, std::uint64_t value) {
    for (std::int32_t i = 0; i < properties.size; ++i) {
        const auto bit = static_cast<std::size_t>(properties.offset + i);
        const auto mask = static_cast<std::uint8_t>(1U << (bit % 8));
        data[bit / 8] = ((value >> i) & 1U) != 0 ? static_cast<std::uint8_t>(data[bit / 8] | mask)
                                                 : static_cast<std::uint8_t>(data[bit / 8] & ~mask);
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
    std::vector<std::pair<std::int64_t, std::size_t>> starts;  // of the signals that fit, to find overlaps
    for (std::size_t i = 0; i < frame.signals.size(); ++i) {
        const NcfSignalDef& signal = frame.signals[i];
        for (std::size_t j = 0; j < i; ++j) {
            if (frame.signals[j].name == signal.name) {
                problems.push_back("signal " + quoted(signal.name) + " is defined twice");
            }
        }
        if (std::string problem = signal_problem(signal, frame_bits); !problem.empty()) {
            problems.push_back(std::move(problem));
        } else {
            starts.emplace_back(signal.properties.offset, i);
        }
    }
    // At most 64 bits, so at most 64 signals that fit: sorted by their first
    // bit, each can only overlap the one before it that reaches furthest.
    std::sort(starts.begin(), starts.end());
    std::optional<std::size_t> reaching;
    for (const auto& [first, index] : starts) {
        const NcfSignalDef& signal = frame.signals[index];
        if (reaching) {
            const NcfSignalDef& before = frame.signals[*reaching];
            if (std::int64_t{before.properties.offset} + before.properties.size > first) {
                problems.push_back("signal " + quoted(signal.name) + " (" + bits_text(signal) +
                                   ") overlaps signal " + quoted(before.name) + " (" + bits_text(before) +
                                   ")");
            }
        }
        if (!reaching || std::int64_t{signal.properties.offset} + signal.properties.size >
                             std::int64_t{frame.signals[*reaching].properties.offset} +
                                 frame.signals[*reaching].properties.size) {
            reaching = index;
        }
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

std::vector<std::uint8_t> FrameLayout::pack(std::span<const NamedRawValue> values,
                                            bool unused_bits_set) const {
    std::vector<const RawValue*> given(frame_.signals.size(), nullptr);
    for (const NamedRawValue& value : values) {
        const auto found =
            std::find_if(frame_.signals.begin(), frame_.signals.end(),
                         [&](const NcfSignalDef& signal) { return signal.name == value.name; });
        if (found == frame_.signals.end()) {
            throw CodecError(frame_name(frame_) + " has no signal " + quoted(value.name));
        }
        given[static_cast<std::size_t>(found - frame_.signals.begin())] = &value.value;
    }
    std::vector<std::uint8_t> data(length_, unused_bits_set ? 0xFF : 0x00);
    for (std::size_t i = 0; i < frame_.signals.size(); ++i) {
        const NcfSignalDef& signal = frame_.signals[i];
        const NcfSignalProperties& properties = signal.properties;
        const std::string where = "signal " + quoted(signal.name) + " of frame " + quoted(frame_.name);
        if (is_byte_array(signal)) {
            const auto count = static_cast<std::size_t>(properties.size / 8);
            std::vector<std::uint8_t> bytes;
            if (given[i] == nullptr) {
                for (const std::int32_t byte : properties.init_value.array_values) {
                    bytes.push_back(static_cast<std::uint8_t>(byte));
                }
            } else if (const auto* array = std::get_if<std::vector<std::uint8_t>>(given[i])) {
                bytes = *array;
            } else {
                throw CodecError("The " + where + " is a byte array: give its " + std::to_string(count) +
                                 " bytes, not an int");
            }
            if (bytes.size() != count) {
                throw CodecError("The " + where + " takes " + std::to_string(count) + " bytes, not " +
                                 std::to_string(bytes.size()));
            }
            std::copy(bytes.begin(), bytes.end(), data.begin() + properties.offset / 8);
            continue;
        }
        std::uint64_t value = static_cast<std::uint64_t>(properties.init_value.scalar);
        if (given[i] != nullptr) {
            const auto* scalar = std::get_if<std::uint64_t>(given[i]);
            if (scalar == nullptr) {
                throw CodecError("The " + where + " is a scalar: give an int, not bytes");
            }
            if (*scalar >= (std::uint64_t{1} << properties.size)) {
                throw CodecError("The value " + std::to_string(*scalar) + " of the " + where +
                                 " does not fit " + std::to_string(properties.size) + " bits");
            }
            value = *scalar;
        }
        put_scalar(data, properties, value);
    }
    return data;
}

std::vector<NamedRawValue> FrameLayout::unpack(std::span<const std::uint8_t> data) const {
    if (data.size() != length_) {
        throw CodecError(frame_name(frame_) + " has " + std::to_string(length_) + " data bytes, not " +
                         std::to_string(data.size()));
    }
    const std::vector<std::uint8_t> bytes(data.begin(), data.end());
    std::vector<NamedRawValue> values;
    values.reserve(frame_.signals.size());
    for (const NcfSignalDef& signal : frame_.signals) {
        const NcfSignalProperties& properties = signal.properties;
        if (is_byte_array(signal)) {
            const auto first = bytes.begin() + properties.offset / 8;
            values.push_back({signal.name, std::vector<std::uint8_t>(first, first + properties.size / 8)});
        } else {
            values.push_back({signal.name, scalar_of(bytes, properties)});
        }
    }
    return values;
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
