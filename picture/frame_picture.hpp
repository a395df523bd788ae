// Frames drawn: which bits of which data byte each signal takes, as a model
// (FramePicture) and as text for a terminal (draw_frame).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "../model/ncf_records.hpp"

namespace tolvane {

// The bits of a frame's data bytes and the signals that take them. Frame
// bit k is bit k mod 8 of data byte k div 8, as the codec counts: a
// signal takes the bits offset to offset + size - 1.
struct FramePicture {
    // The data bytes drawn: the frame's length, from 0 to 8.
    std::size_t bytes = 0;
    // For each bit drawn (bytes × 8 of them), the indices of the signals
    // that take it: none (unused), one, or more (an overlap).
    std::vector<std::vector<std::size_t>> takers;
    // For each signal, its mark: "A" to "Z", "a" to "z", "0" to "9", then
    // two characters.
    std::vector<std::string> marks;
    // Whether byte 0 holds the protected identifier of an event-triggered
    // frame (the frame names one).
    bool identifier_byte = false;
};

FramePicture picture_of(const NcfSingleFrame& frame);

struct DrawOptions {
    bool ascii = false;  // "+", "-" and "|" rather than box-drawing characters
};

// One frame as text: its kind, name and length; one row per data byte, bit
// 7 at the left and bit 0 at the right, each bit marked with the mark of
// the signal that takes it (">" before a signal's first bit, "!" where
// signals overlap, "#" for the event-triggered frame's identifier byte, a
// dot where no signal is); a legend; one line per signal (mark, name,
// offset, size, initial value, encoding); then the value lines of each
// encoding its signals use, from `node`. The texts of the file show their
// control characters as \xNN, so that none moves a line or drives a
// terminal. UTF-8 text; with `ascii`, the drawing's own characters are
// ASCII.
std::string draw_frame(const NcfNodeDef& node, const NcfSingleFrame& frame, DrawOptions options = {});

}  // namespace tolvane
