#include "picture/frame_picture.hpp"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "writer/spellings.hpp"

namespace tolvane {

namespace {

constexpr std::size_t most_bytes = 8;
constexpr std::string_view mark_letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

std::string mark_of(std::size_t signal) {
    const std::size_t base = mark_letters.size();
    if (signal < base) {
        return std::string(1, mark_letters[signal]);
    }
    const std::size_t first = std::min(signal / base - 1, base - 1);
    return {mark_letters[first], mark_letters[signal % base]};
}

// A text of the file as the drawing shows it: control characters (a line
// feed in a string, an escape sequence a terminal would obey) as \xNN.
std::string shown(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            constexpr std::string_view digits = "0123456789ABCDEF";
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

// The characters of a drawing: its lines, and what marks a bit no signal
// takes.
struct Strokes {
    std::string_view across, down, top_left, top, top_right, left, middle, right, bottom_left, bottom, bottom_right,
        unused, arrow, times;
};

constexpr Strokes box{"───", "│", "┌", "┬", "┐", "├", "┼", "┤", "└", "┴", "┘", "·", "→", "×"};
constexpr Strokes plain{"---", "|", "+", "+", "+", "+", "+", "+", "+", "+", "+", ".", "->", "*"};

// The bits a signal takes, as the codec counts them: offset to offset +
// size - 1, in 64 bits so that no value of the file overflows.
struct BitSpan {
    std::int64_t first;
    std::int64_t last;
};

BitSpan bits_of(const NcfSignalDef& signal) {
    const std::int64_t first = signal.properties.offset;
    return {first, first + static_cast<std::int64_t>(signal.properties.size) - 1};
}

class FrameDrawing {
public:
    FrameDrawing(const NcfNodeDef& node, const NcfSingleFrame& frame, DrawOptions options)
        : node_(node), frame_(frame), picture_(picture_of(frame)), strokes_(options.ascii ? plain : box) {}

    std::string draw() {
        heading();
        if (picture_.bytes > 0) {
            grid();
            legend();
        }
        signal_lines();
        encodings();
        return std::move(out_);
    }

private:
    void heading() {
        out_ += shown(frame_.kind);
        out_ += ' ';
        out_ += shown(frame_.name);
        out_ += ": ";
        detail::append_integer(out_, frame_.properties.length);
        out_ += frame_.properties.length == 1 ? " byte" : " bytes";
        if (frame_.properties.length > static_cast<std::int32_t>(most_bytes)) {
            out_ += " (more than 8: the first 8 are drawn)";
        }
        out_ += '\n';
    }

    void rule(std::string_view left, std::string_view middle, std::string_view right) {
        out_ += "       ";
        out_ += left;
        for (int bit = 0; bit < 8; ++bit) {
            out_ += strokes_.across;
            out_ += bit < 7 ? middle : right;
        }
        out_ += '\n';
    }

    // Whether a bit is taken twice: by two signals, or by a signal and the
    // identifier of the event-triggered frame (byte 0).
    bool marked_twice(std::size_t bit) const {
        const bool identifier = picture_.identifier_byte && bit < 8;
        return picture_.takers[bit].size() + (identifier ? 1 : 0) > 1;
    }

    std::string cell(std::size_t bit) const {
        const std::vector<std::size_t>& takers = picture_.takers[bit];
        const bool identifier = picture_.identifier_byte && bit < 8;
        if (takers.empty()) {
            if (identifier) {
                return " # ";
            }
            std::string unused(" ");  // built by appending: GCC 12 at -O3 warns of "x" + std::string
            unused += strokes_.unused;
            unused += ' ';
            return unused;
        }
        if (marked_twice(bit)) {
            return " ! ";
        }
        const std::size_t signal = takers.front();
        const bool first = bits_of(frame_.signals[signal]).first == static_cast<std::int64_t>(bit);
        std::string text(first ? ">" : " ");
        text += picture_.marks[signal];
        text.resize(3, ' ');
        return text;
    }

    void grid() {
        out_ += "       ";
        for (int bit = 7; bit >= 0; --bit) {
            out_ += "  ";
            out_ += static_cast<char>('0' + bit);
            out_ += bit > 0 ? " " : "";
        }
        out_ += '\n';
        rule(strokes_.top_left, strokes_.top, strokes_.top_right);
        for (std::size_t byte = 0; byte < picture_.bytes; ++byte) {
            out_ += "byte ";
            out_ += static_cast<char>('0' + byte);
            out_ += ' ';
            for (std::size_t bit = 8; bit-- > 0;) {
                out_ += strokes_.down;
                out_ += cell(byte * 8 + bit);
            }
            out_ += strokes_.down;
            out_ += '\n';
            if (byte + 1 < picture_.bytes) {
                rule(strokes_.left, strokes_.middle, strokes_.right);
            }
        }
        rule(strokes_.bottom_left, strokes_.bottom, strokes_.bottom_right);
    }

    void legend() {
        out_ += "  bit 7 at the left, bit 0 at the right; LIN sends byte 0 first, each byte from bit 0\n";
        out_ += "  >: a signal's first bit (its least significant); ";
        out_ += strokes_.unused;
        out_ += ": unused";
        bool overlaps = false;
        for (std::size_t bit = 0; bit < picture_.takers.size(); ++bit) {
            overlaps = overlaps || marked_twice(bit);
        }
        if (overlaps) {
            out_ += "; !: more than one signal";
        }
        out_ += '\n';
        if (picture_.identifier_byte) {
            out_ += "  #: byte 0 holds the protected identifier of event-triggered frame ";
            out_ += shown(*frame_.properties.event_triggered_frame);
            out_ += '\n';
        }
        for (std::size_t bit = 0; bit < picture_.takers.size(); ++bit) {
            if (marked_twice(bit)) {
                overlap_line(bit, picture_.takers[bit]);
            }
        }
    }

    void overlap_line(std::size_t bit, const std::vector<std::size_t>& takers) {
        out_ += "  ! byte ";
        out_ += static_cast<char>('0' + bit / 8);
        out_ += " bit ";
        out_ += static_cast<char>('0' + bit % 8);
        out_ += ':';
        for (std::size_t i = 0; i < takers.size(); ++i) {
            out_ += i == 0 ? " " : ", ";
            out_ += shown(frame_.signals[takers[i]].name);
        }
        if (picture_.identifier_byte && bit < 8) {
            out_ += takers.empty() ? " " : ", ";
            out_ += "the protected identifier";
        }
        out_ += '\n';
    }

    static std::string initial_value(const NcfInitValue& value) {
        std::string text;
        if (!value.is_array) {
            detail::append_integer(text, value.scalar);
            return text;
        }
        text += '{';
        for (std::size_t i = 0; i < value.array_values.size(); ++i) {
            text += i == 0 ? "" : ", ";
            detail::append_hex(text, value.array_values[i], 2);
        }
        text += '}';
        return text;
    }

    static void pad(std::string& out, std::size_t width, std::size_t used) {
        out.append(width > used ? width - used : 0, ' ');
    }

    void signal_lines() {
        std::size_t name_width = 0;
        std::size_t init_width = 0;
        std::vector<std::string> inits;
        for (const NcfSignalDef& signal : frame_.signals) {
            name_width = std::max(name_width, shown(signal.name).size());
            inits.push_back(initial_value(signal.properties.init_value));
            init_width = std::max(init_width, inits.back().size());
        }
        const auto drawn_bits = static_cast<std::int64_t>(picture_.bytes * 8);
        for (std::size_t i = 0; i < frame_.signals.size(); ++i) {
            const NcfSignalDef& signal = frame_.signals[i];
            std::string line = "  " + picture_.marks[i];
            pad(line, 5, line.size());
            line += shown(signal.name);
            pad(line, 5 + name_width + 2, line.size());
            std::string numbers = "offset ";
            detail::append_integer(numbers, signal.properties.offset);
            pad(numbers, 11, numbers.size());
            numbers += "size ";
            detail::append_integer(numbers, signal.properties.size);
            pad(numbers, 20, numbers.size());
            numbers += "init " + inits[i];
            line += numbers;
            if (signal.properties.encoding_name) {
                pad(line, 5 + name_width + 2 + 20 + 5 + init_width + 2, line.size());
                line += "encoding " + shown(*signal.properties.encoding_name);
            }
            const BitSpan bits = bits_of(signal);
            if (bits.first < 0 || bits.last >= drawn_bits || bits.last < bits.first) {
                line += "  (not inside the bits drawn)";
            }
            out_ += line;
            out_ += '\n';
        }
    }

    const NcfEncodingEntry* encoding_named(std::string_view name) const {
        for (const NcfEncodingEntry& entry : node_.encodings) {
            if (entry.name == name) {
                return &entry;
            }
        }
        return nullptr;
    }

    void value_line(const NcfEncodingValue& value) {
        out_ += "      ";
        if (value.logical_value) {
            detail::append_integer(out_, value.logical_value->signal_value);
            if (value.logical_value->text_info) {
                out_ += " = \"" + shown(*value.logical_value->text_info) + "\"";
            }
        } else if (value.physical_range) {
            const NcfPhysicalRange& range = *value.physical_range;
            detail::append_integer(out_, range.min_value);
            out_ += "..";
            detail::append_integer(out_, range.max_value);
            out_ += ' ';
            out_ += strokes_.arrow;
            out_ += " value = raw ";
            out_ += strokes_.times;
            out_ += ' ';
            detail::append_number(out_, range.scale);
            out_ += " + ";
            detail::append_number(out_, range.offset_val);
            if (range.text_info) {
                out_ += " \"" + shown(*range.text_info) + "\"";
            }
        } else {
            out_ += value.type == "bcd" ? "BCD" : value.type == "ascii" ? "ASCII" : shown(value.type);
        }
        out_ += '\n';
    }

    void encodings() {
        std::vector<std::string_view> listed;
        for (const NcfSignalDef& signal : frame_.signals) {
            if (!signal.properties.encoding_name ||
                std::ranges::find(listed, *signal.properties.encoding_name) != listed.end()) {
                continue;
            }
            const std::string& name = *signal.properties.encoding_name;
            listed.push_back(name);
            out_ += "  encoding " + shown(name);
            const NcfEncodingEntry* entry = encoding_named(name);
            if (entry == nullptr) {
                out_ += ": not defined in the node\n";
                continue;
            }
            out_ += '\n';
            for (const NcfEncodingValue& value : entry->values) {
                value_line(value);
            }
        }
    }

    const NcfNodeDef& node_;
    const NcfSingleFrame& frame_;
    FramePicture picture_;
    const Strokes& strokes_;
    std::string out_;
};

}  // namespace

FramePicture picture_of(const NcfSingleFrame& frame) {
    FramePicture picture;
    picture.bytes = static_cast<std::size_t>(std::clamp<std::int32_t>(frame.properties.length, 0, static_cast<std::int32_t>(most_bytes)));
    picture.takers.resize(picture.bytes * 8);
    picture.identifier_byte = frame.properties.event_triggered_frame.has_value() && picture.bytes > 0;
    const auto drawn_bits = static_cast<std::int64_t>(picture.takers.size());
    for (std::size_t i = 0; i < frame.signals.size(); ++i) {
        picture.marks.push_back(mark_of(i));
        const BitSpan bits = bits_of(frame.signals[i]);
        for (std::int64_t bit = std::max<std::int64_t>(bits.first, 0); bit <= bits.last && bit < drawn_bits; ++bit) {
            picture.takers[static_cast<std::size_t>(bit)].push_back(i);
        }
    }
    return picture;
}

std::string draw_frame(const NcfNodeDef& node, const NcfSingleFrame& frame, DrawOptions options) {
    return FrameDrawing(node, frame, options).draw();
}

}  // namespace tolvane
