// The C code target: for every node of every tree read from the input
// (strict and lenient) and of the tree with values taken from the input's
// bytes, the generator either refuses (the codec's reason, or two names that
// become one) or writes code: ASCII, a header that declares each frame's
// length and functions, and a source whose braces balance.
#include <algorithm>
#include <string>
#include <string_view>

#include "cgen/c_code.hpp"
#include "codec/frame_codec.hpp"
#include "fuzz/checks.hpp"
#include "fuzz/fail.hpp"
#include "fuzz/targets.hpp"
#include "fuzz/tree_mangler.hpp"

namespace tolvane::fuzz {

namespace {

bool is_ascii(std::string_view text) {
    return std::ranges::all_of(text, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

void check_node(const NcfNodeDef& node) {
    CCode code;
    try {
        code = generate_c(node, CCodeOptions{.prefix = {}, .source = "f.ncf", .version = "0"});
    } catch (const CodecError&) {
        return;
    } catch (const CannotGenerate&) {
        return;
    }
    require(is_ascii(code.header) && is_ascii(code.source), "generated C is not ASCII");
    require(std::ranges::count(code.source, '{') == std::ranges::count(code.source, '}'),
            "the braces of the generated C do not balance");
    // One "#define NAME_LENGTH n" a frame; the other defines are choices.
    std::size_t lengths = 0;
    std::size_t start = 0;
    while (start < code.header.size()) {
        const std::size_t end = std::min(code.header.find('\n', start), code.header.size());
        const std::string_view line(code.header.data() + start, end - start);
        if (line.starts_with("#define ")) {
            const std::string_view name = line.substr(8, line.find(' ', 8) - 8);
            lengths += name.ends_with("_LENGTH") ? 1U : 0U;
            require(name.ends_with("_LENGTH") || name.ends_with("_CHOICE") || name.ends_with("_H"),
                    "the generated header defines a name that is neither a length nor a choice");
        }
        start = end + 1;
    }
    require(lengths == node.frames.size(), "a frame's length is not defined once");
}

void check_tree(const NcfFile& file) {
    for (const NcfNodeDef& node : file.nodes) {
        check_node(node);
    }
}

}  // namespace

void cgen_target(std::string_view bytes) {
    const FuzzInput input(bytes);
    for (const bool lenient : {false, true}) {
        const Reading reading = read(input, ParseOptions{.lenient = lenient});
        check_tree(reading.file);
        check_tree(mangled(reading.file, bytes));
    }
}

}  // namespace tolvane::fuzz
