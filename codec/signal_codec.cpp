// Decoding raw signal values through a node's encodings, and encoding values
// back to raw ones.
#include "codec/signal_codec.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "codec/codec_text.hpp"

namespace tolvane {

using codec_text::bits;
using codec_text::number;
using codec_text::quoted;
using codec_text::same_name;
using codec_text::signal_place;

namespace {

constexpr std::string_view physical_kind = "physical";
constexpr std::string_view logical_kind = "logical";
constexpr std::string_view bcd_kind = "bcd";
constexpr std::string_view ascii_kind = "ascii";

// The number the four-bit digits of `raw` spell, most significant first, or
// nothing when one of them is not 0..9. `digits` counts them.
std::optional<std::uint64_t> bcd_number(std::uint64_t raw, int digits) {
    std::uint64_t value = 0;
    for (int digit = digits - 1; digit >= 0; --digit) {
        const std::uint64_t nibble = (raw >> (4 * digit)) & 0xFU;
        if (nibble > 9) {
            return std::nullopt;
        }
        value = value * 10 + nibble;
    }
    return value;
}

// `value` written in `digits` four-bit digits, or nothing when it has more.
std::optional<std::uint64_t> bcd_digits(std::uint64_t value, int digits) {
    std::uint64_t raw = 0;
    for (int digit = 0; digit < digits; ++digit) {
        raw |= (value % 10) << (4 * digit);
        value /= 10;
    }
    if (value != 0) {
        return std::nullopt;
    }
    return raw;
}

// A byte array's bytes as one number of two digits per byte, the first
// byte's high four bits the most significant.
std::uint64_t bytes_as_digits(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t raw = 0;
    for (const std::uint8_t byte : bytes) {
        raw = (raw << 8) | byte;
    }
    return raw;
}

std::vector<std::uint8_t> digits_as_bytes(std::uint64_t raw, std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = count; i-- > 0;) {
        bytes[i] = static_cast<std::uint8_t>(raw & 0xFFU);
        raw >>= 8;
    }
    return bytes;
}

int scalar_digits(const NcfSignalDef& signal) {
    return (signal.properties.size + 3) / 4;
}

bool is_ascii(const std::vector<std::uint8_t>& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t byte) { return byte <= 0x7F; });
}

// The lowest and highest raw value of a physical line that the signal can
// carry: the line's range cut to 0 .. 2^size - 1 (empty when lo > hi).
std::pair<std::int64_t, std::int64_t> carried_range(const NcfPhysicalRange& range,
                                                    const NcfSignalDef& signal) {
    const std::int64_t highest = (std::int64_t{1} << signal.properties.size) - 1;
    return {std::max<std::int64_t>(range.min_value, 0), std::min<std::int64_t>(range.max_value, highest)};
}

// The raw value a physical line gives `value`: round((value - offset) /
// scale), half away from zero, when that lies in the line's carried range;
// with scale 0 only the offset itself is taken, as the lowest raw value.
std::optional<std::uint64_t> physical_raw(const NcfPhysicalRange& range, const NcfSignalDef& signal,
                                          double value) {
    const auto [lowest, highest] = carried_range(range, signal);
    if (lowest > highest) {
        return std::nullopt;
    }
    if (range.scale == 0.0) {
        return value == range.offset_val ? std::optional<std::uint64_t>(static_cast<std::uint64_t>(lowest))
                                         : std::nullopt;
    }
    const double raw = std::round((value - range.offset_val) / range.scale);
    // Comparing as doubles first keeps a huge or non-finite quotient from
    // being converted to an integer.
    if (!(raw >= static_cast<double>(lowest) && raw <= static_cast<double>(highest))) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(raw);
}

// "0..100 percent; -40..87.5": the physical values each physical line takes.
std::string physical_ranges_text(const NcfEncodingEntry& encoding) {
    std::string text;
    for (const NcfEncodingValue& line : encoding.values) {
        if (!line.physical_range) {
            continue;
        }
        const NcfPhysicalRange& range = *line.physical_range;
        double first = range.min_value * range.scale + range.offset_val;
        double last = range.max_value * range.scale + range.offset_val;
        if (first > last) {
            std::swap(first, last);
        }
        text += (text.empty() ? "" : "; ") + number(first) + ".." + number(last);
        if (range.text_info) {
            text += " " + *range.text_info;
        }
    }
    return text;
}

std::string logical_texts(const NcfEncodingEntry& encoding) {
    std::string text;
    for (const NcfEncodingValue& line : encoding.values) {
        if (line.logical_value && line.logical_value->text_info) {
            text += (text.empty() ? "" : ", ") + quoted(*line.logical_value->text_info);
        }
    }
    return text;
}

// What one value line makes of a raw value it covers.
struct Meaning {
    SignalValue value;
    std::optional<std::string> unit;
    ValueKind kind;
};

std::optional<Meaning> scalar_meaning(const NcfSignalDef& signal, const NcfEncodingValue& line,
                                      std::uint64_t raw) {
    const auto value = static_cast<std::int64_t>(raw);
    if (line.physical_range) {
        const NcfPhysicalRange& range = *line.physical_range;
        if (value >= range.min_value && value <= range.max_value) {
            return Meaning{static_cast<double>(value) * range.scale + range.offset_val, range.text_info,
                           ValueKind::physical};
        }
    } else if (line.logical_value) {
        if (value == line.logical_value->signal_value) {
            const auto& text = line.logical_value->text_info;
            return Meaning{text ? SignalValue(*text) : SignalValue(raw), std::nullopt, ValueKind::logical};
        }
    } else if (line.type == bcd_kind) {
        if (const auto number = bcd_number(raw, scalar_digits(signal))) {
            return Meaning{*number, std::nullopt, ValueKind::bcd};
        }
    }
    return std::nullopt;
}

std::optional<Meaning> bytes_meaning(const NcfEncodingValue& line, const std::vector<std::uint8_t>& bytes) {
    if (line.type == bcd_kind) {
        const auto digits = static_cast<int>(2 * bytes.size());
        if (const auto number = bcd_number(bytes_as_digits(bytes), digits)) {
            return Meaning{*number, std::nullopt, ValueKind::bcd};
        }
    } else if (line.type == ascii_kind && is_ascii(bytes)) {
        return Meaning{std::string(bytes.begin(), bytes.end()), std::nullopt, ValueKind::ascii};
    }
    return std::nullopt;
}

}  // namespace

std::string_view kind_name(ValueKind kind) {
    switch (kind) {
        case ValueKind::physical:
            return physical_kind;
        case ValueKind::logical:
            return logical_kind;
        case ValueKind::bcd:
            return bcd_kind;
        case ValueKind::ascii:
            return ascii_kind;
        case ValueKind::raw:
            break;
    }
    return "raw";
}

DecodedSignal decode_signal(const NcfSignalDef& signal, const NcfEncodingEntry* encoding, RawValue raw) {
    if (encoding != nullptr) {
        for (const NcfEncodingValue& line : encoding->values) {
            std::optional<Meaning> meaning =
                std::holds_alternative<std::uint64_t>(raw)
                    ? scalar_meaning(signal, line, std::get<std::uint64_t>(raw))
                    : bytes_meaning(line, std::get<std::vector<std::uint8_t>>(raw));
            if (meaning) {
                return {signal.name, std::move(raw), std::move(meaning->value), std::move(meaning->unit),
                        meaning->kind};
            }
        }
    }
    SignalValue value = std::visit([](const auto& same) { return SignalValue(same); }, raw);
    return {signal.name, std::move(raw), std::move(value), std::nullopt, ValueKind::raw};
}

const NcfSingleFrame& frame_named(const NcfNodeDef& node, std::string_view name) {
    const auto found = std::find_if(node.frames.begin(), node.frames.end(),
                                    [&](const NcfSingleFrame& frame) { return same_name(frame.name, name); });
    if (found == node.frames.end()) {
        throw CodecError("Node " + quoted(node.name) + " has no frame " + quoted(name));
    }
    return *found;
}

EncodedFrame::EncodedFrame(const NcfNodeDef& node, const NcfSingleFrame& frame) : layout_(frame) {
    encodings_.reserve(frame.signals.size());
    for (const NcfSignalDef& signal : frame.signals) {
        const auto& name = signal.properties.encoding_name;
        if (!name) {
            encodings_.push_back(nullptr);
            continue;
        }
        const auto found =
            std::find_if(node.encodings.begin(), node.encodings.end(),
                         [&](const NcfEncodingEntry& encoding) { return same_name(encoding.name, *name); });
        if (found == node.encodings.end()) {
            throw CodecError("The " + signal_place(signal, frame) + " uses encoding " + quoted(*name) +
                             ", which node " + quoted(node.name) + " does not define");
        }
        encodings_.push_back(&*found);
    }
}

std::vector<DecodedSignal> EncodedFrame::decode(std::span<const std::uint8_t> data) const {
    layout_.check_length(data);
    const auto& signals = layout_.frame().signals;
    std::vector<DecodedSignal> decoded;
    decoded.reserve(signals.size());
    for (std::size_t i = 0; i < signals.size(); ++i) {
        decoded.push_back(decode_signal(signals[i], encodings_[i], layout_.raw_value(i, data)));
    }
    return decoded;
}

std::vector<std::uint8_t> EncodedFrame::encode(std::span<const NamedInput> values,
                                               bool unused_bits_set) const {
    std::vector<NamedRawValue> raw;
    raw.reserve(values.size());
    for (const NamedInput& input : values) {
        raw.push_back({input.name, raw_value_of(layout_.signal_index(input.name), input.value)});
    }
    return layout_.pack(raw, unused_bits_set);
}

namespace {

// Turns one signal's input into its raw value, with messages that name the
// signal, its frame and its encoding.
class SignalEncoder {
public:
    SignalEncoder(const NcfSignalDef& signal, const NcfSingleFrame& frame, const NcfEncodingEntry* encoding)
        : signal_(signal), frame_(frame), encoding_(encoding) {}

    RawValue operator()(const std::vector<std::uint8_t>& bytes) const { return bytes; }

    RawValue operator()(const std::string& text) const {
        if (encoding_ != nullptr && !is_byte_array()) {
            for (const NcfEncodingValue& line : encoding_->values) {
                if (line.logical_value && line.logical_value->text_info == text) {
                    return logical_raw(line.logical_value->signal_value, text);
                }
            }
        }
        if (is_byte_array() && has_line(ascii_kind)) {
            return ascii_bytes(text);
        }
        const std::string texts = encoding_ != nullptr && !is_byte_array() ? logical_texts(*encoding_) : "";
        throw CodecError("The text " + quoted(text) + " is not a logical value of the " + place() +
                         (texts.empty() ? ", which takes no text" : "; it takes " + texts));
    }

    RawValue operator()(double value) const {
        if (!std::isfinite(value)) {
            throw CodecError("The " + place() + " takes a finite number, not " + number(value));
        }
        if (is_byte_array()) {
            throw not_bytes();
        }
        if (const auto raw = physical(value)) {
            return *raw;
        }
        if (has_line(physical_kind)) {
            throw outside_physical(number(value));
        }
        throw CodecError("The value " + number(value) + " of the " + place() +
                         " is not an int, and no physical value line takes it");
    }

    RawValue operator()(std::int64_t value) const {
        if (is_byte_array()) {
            if (has_line(bcd_kind)) {
                return bcd(value);
            }
            throw not_bytes();
        }
        if (const auto raw = physical(static_cast<double>(value))) {
            return *raw;
        }
        if (const auto raw = logical_of_raw(value)) {
            return *raw;
        }
        if (has_line(physical_kind)) {
            throw outside_physical(std::to_string(value));
        }
        if (has_line(bcd_kind)) {
            return bcd(value);
        }
        if (value < 0) {
            throw CodecError("The value " + std::to_string(value) + " of the " + place() + " is negative");
        }
        return static_cast<std::uint64_t>(value);
    }

private:
    bool is_byte_array() const { return signal_.properties.init_value.is_array; }

    bool has_line(std::string_view type) const {
        return encoding_ != nullptr &&
               std::any_of(encoding_->values.begin(), encoding_->values.end(),
                           [&](const NcfEncodingValue& line) { return line.type == type; });
    }

    CodecError not_bytes() const {
        return CodecError("The " + place() + " is a byte array: give its " +
                          std::to_string(signal_.properties.size / 8) + " bytes, not a number");
    }

    std::string place() const {
        std::string text = signal_place(signal_, frame_);
        if (encoding_ != nullptr) {
            text += " (encoding " + quoted(encoding_->name) + ")";
        }
        return text;
    }

    CodecError outside_physical(const std::string& value) const {
        return CodecError("The value " + value + " of the " + place() +
                          " lies outside every physical range: " + physical_ranges_text(*encoding_));
    }

    std::optional<std::uint64_t> physical(double value) const {
        if (encoding_ == nullptr) {
            return std::nullopt;
        }
        for (const NcfEncodingValue& line : encoding_->values) {
            if (line.physical_range) {
                if (const auto raw = physical_raw(*line.physical_range, signal_, value)) {
                    return raw;
                }
            }
        }
        return std::nullopt;
    }

    // The raw value itself, when a logical line has it.
    std::optional<std::uint64_t> logical_of_raw(std::int64_t value) const {
        if (encoding_ == nullptr) {
            return std::nullopt;
        }
        for (const NcfEncodingValue& line : encoding_->values) {
            if (line.logical_value && line.logical_value->signal_value == value) {
                return logical_raw(line.logical_value->signal_value, std::to_string(value));
            }
        }
        return std::nullopt;
    }

    std::uint64_t logical_raw(std::int64_t raw, const std::string& what) const {
        const std::int32_t size = signal_.properties.size;
        if (raw < 0 || raw >= (std::int64_t{1} << size)) {
            throw CodecError("The logical value " + quoted(what) + " of the " + place() +
                             " has the raw value " + std::to_string(raw) + ", which does not fit " +
                             bits(size));
        }
        return static_cast<std::uint64_t>(raw);
    }

    RawValue ascii_bytes(const std::string& text) const {
        std::vector<std::uint8_t> bytes(text.begin(), text.end());
        if (!is_ascii(bytes)) {
            throw CodecError("The text " + quoted(text) + " of the " + place() + " is not 7-bit ASCII");
        }
        const auto count = static_cast<std::size_t>(signal_.properties.size / 8);
        if (bytes.size() != count) {
            throw CodecError("The text " + quoted(text) + " of the " + place() + " has " +
                             std::to_string(bytes.size()) + " characters, not " + std::to_string(count));
        }
        return bytes;
    }

    RawValue bcd(std::int64_t value) const {
        const int digits = is_byte_array() ? signal_.properties.size / 4 : scalar_digits(signal_);
        const std::optional<std::uint64_t> raw =
            value < 0 ? std::nullopt : bcd_digits(static_cast<std::uint64_t>(value), digits);
        const bool fits = raw && (is_byte_array() || *raw < (std::uint64_t{1} << signal_.properties.size));
        if (!fits) {
            throw CodecError("The value " + std::to_string(value) + " of the " + place() + " does not fit " +
                             std::to_string(digits) + " BCD digits of " + bits(signal_.properties.size));
        }
        if (is_byte_array()) {
            return digits_as_bytes(*raw, static_cast<std::size_t>(signal_.properties.size / 8));
        }
        return *raw;
    }

    const NcfSignalDef& signal_;
    const NcfSingleFrame& frame_;
    const NcfEncodingEntry* encoding_;
};

}  // namespace

RawValue EncodedFrame::raw_value_of(std::size_t signal, const EncodingInput& value) const {
    const NcfSingleFrame& frame = layout_.frame();
    return std::visit(SignalEncoder(frame.signals[signal], frame, encodings_[signal]), value);
}

}  // namespace tolvane
