// The fuzz targets: each takes any bytes as the text of an NCF file and
// checks the promises of one layer on it, aborting through fail() when one
// is broken. libFuzzer builds one executable per target (libfuzzer_entry.cpp);
// the replay runs them all, or one, over stored inputs.
#pragma once

#include <array>
#include <string_view>

namespace tolvane::fuzz {

// The lexer and the parser: tokens, values, diagnostics, positions, and a
// second parse that carries on where the first stopped.
void parse_target(std::string_view bytes);
// The writer's round trip on every tree read from the input, and on trees
// whose values were replaced by ones taken from the input's bytes.
void writer_target(std::string_view bytes);
// The validator on the strict and the lenient trees.
void validator_target(std::string_view bytes);
// Packing, unpacking, decoding and encoding every frame the codec can use.
void codec_target(std::string_view bytes);
// The lenient reading against the strict one.
void lenient_target(std::string_view bytes);
// The trace: balanced, the same on every run, and without effect on the
// reading.
void trace_target(std::string_view bytes);
// check_files: a file written with the input gives what check_text gives.
void batch_target(std::string_view bytes);
// The LDF of a cluster of the files the input holds, against the files.
void cluster_target(std::string_view bytes);
// The recovering reading against the reading without recovery.
void recover_target(std::string_view bytes);
// The formatter: the same tree, every comment kept, a fixed point.
void format_target(std::string_view bytes);
// Frames drawn: each bit marked for the signals on it, whatever the values.
void picture_target(std::string_view bytes);
// The C code of a node: refused, or ASCII with each frame's length defined.
void cgen_target(std::string_view bytes);

struct Target {
    std::string_view name;
    void (*run)(std::string_view bytes);
};

inline constexpr std::array<Target, 12> targets{{
    {"parse", parse_target},
    {"writer", writer_target},
    {"validator", validator_target},
    {"codec", codec_target},
    {"lenient", lenient_target},
    {"trace", trace_target},
    {"batch", batch_target},
    {"cluster", cluster_target},
    {"recover", recover_target},
    {"format", format_target},
    {"picture", picture_target},
    {"cgen", cgen_target},
}};

}  // namespace tolvane::fuzz
