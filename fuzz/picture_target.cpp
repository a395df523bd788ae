// The picture target: every frame of every tree read from the input (strict
// and lenient, recovering) and of the tree with values taken from the
// input's bytes (any length, offset or size) is drawn both ways without a
// failure; each bit drawn is marked for exactly the signals whose bits
// offset to offset + size - 1 cover it, as the codec counts them; the text
// has one row per byte drawn, and with `ascii` its grid is ASCII.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/checks.hpp"
#include "fuzz/fail.hpp"
#include "fuzz/targets.hpp"
#include "fuzz/tree_mangler.hpp"
#include "picture/frame_picture.hpp"

namespace tolvane::fuzz {

namespace {

std::vector<std::size_t> covering(const NcfSingleFrame& frame, std::size_t bit) {
    std::vector<std::size_t> signals;
    for (std::size_t i = 0; i < frame.signals.size(); ++i) {
        const std::int64_t first = frame.signals[i].properties.offset;
        const std::int64_t last = first + static_cast<std::int64_t>(frame.signals[i].properties.size) - 1;
        if (first <= static_cast<std::int64_t>(bit) && static_cast<std::int64_t>(bit) <= last) {
            signals.push_back(i);
        }
    }
    return signals;
}

void check_picture(const NcfSingleFrame& frame) {
    const FramePicture picture = picture_of(frame);
    require(picture.bytes <= 8 && picture.takers.size() == picture.bytes * 8, "a picture has more than 8 bytes");
    require(picture.marks.size() == frame.signals.size(), "a signal of a picture has no mark");
    for (std::size_t bit = 0; bit < picture.takers.size(); ++bit) {
        require(picture.takers[bit] == covering(frame, bit), "a bit drawn is not marked for the signals on it");
    }
}

void check_drawing(const NcfNodeDef& node, const NcfSingleFrame& frame, bool ascii) {
    const std::string text = draw_frame(node, frame, DrawOptions{.ascii = ascii});
    std::size_t rows = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line(text.data() + start, end - start);
        if (line.starts_with("byte ") && (line.ends_with("|") || line.ends_with("│"))) {
            ++rows;
            require(!ascii || std::ranges::all_of(line, [](char c) { return static_cast<unsigned char>(c) < 0x80; }),
                    "an ASCII drawing's row is not ASCII");
        }
        start = end + 1;
    }
    require(rows == picture_of(frame).bytes, "a drawing does not have one row per byte");
}

void check_tree(const NcfFile& file) {
    for (const NcfNodeDef& node : file.nodes) {
        for (const NcfSingleFrame& frame : node.frames) {
            check_picture(frame);
            check_drawing(node, frame, false);
            check_drawing(node, frame, true);
        }
    }
}

}  // namespace

void picture_target(std::string_view bytes) {
    const FuzzInput input(bytes);
    for (const bool lenient : {false, true}) {
        const Reading reading = read(input, ParseOptions{.lenient = lenient, .recover = true});
        check_tree(reading.file);
        check_tree(mangled(reading.file, bytes));
    }
}

}  // namespace tolvane::fuzz
