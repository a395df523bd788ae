// Reads a file given on the command line, or a small text, and prints what a
// C++ caller of tolvane sees: the nodes with their positions, the position of
// one value, the diagnostics, what the LIN rules find and what the codec
// refuses. Exits 1 when what it sees is not what the text says.
#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <tolvane/tolvane.hpp>

namespace {

constexpr std::string_view text =
    "node_capability_file;\n"
    "LIN_language_version = \"2.1\";\n"
    "node door {\n"
    "  general { LIN_protocol_version = \"2.1\"; supplier = 0x1E; function = 1; variant = 0;\n"
    "            bitrate = 19.2 kbps; }\n"
    "  diagnostic { NAD = 0x10; }\n"
    "  frames { publish status { length = 9; } }\n"
    "  status_management { response_error = x; }\n"
    "}\n"
    "stray\n";

int check(bool holds, const char* what) {
    if (!holds) {
        std::printf("unexpected: %s\n", what);
    }
    return holds ? 0 : 1;
}

// The code of the first diagnostic when `ncf`, with the older spelling
// error_response, is read leniently.
std::string lenient_warning_code(std::string_view ncf) {
    std::string old(ncf);
    old.replace(old.find("response_error"), 14, "error_response");
    tolvane::NcfParser parser("old.ncf", old, tolvane::ParseOptions{.lenient = true});
    static_cast<void>(parser.parse());
    return parser.get_diagnostics().empty() ? std::string() : parser.get_diagnostics()[0].code;
}

}  // namespace

int main(int argc, char** argv) {
    tolvane::NcfParser parser = argc > 1 ? tolvane::NcfParser::from_file(argv[1])
                                         : tolvane::NcfParser::from_text("door.ncf", std::string(text));
    int trace_lines = 0;
    parser.set_trace(true);
    parser.set_trace_sink([&trace_lines](std::string_view) { ++trace_lines; });
    const tolvane::NcfFile file = parser.parse();

    int records = 0;
    tolvane::for_each_record(file, [&records](const auto&) { ++records; });
    std::printf("%s: %zu node(s), %d records, %d trace lines\n", file.filename.c_str(), file.nodes.size(),
                records, trace_lines);
    for (const tolvane::NcfNodeDef& node : file.nodes) {
        std::printf("node %s at %u:%u\n", node.name.c_str(), node.positions.start.line,
                    node.positions.start.column);
    }
    for (const tolvane::Diagnostic& d : parser.get_diagnostics()) {
        std::printf("%s:%llu:%llu: %s [%s]\n", d.file.c_str(), static_cast<unsigned long long>(d.line),
                    static_cast<unsigned long long>(d.column), d.message.c_str(), d.code.c_str());
    }
    for (const tolvane::Diagnostic& d : tolvane::validate(file, parser.get_diagnostics())) {
        std::printf("%s:%llu:%llu: %s [%s]\n", d.file.c_str(), static_cast<unsigned long long>(d.line),
                    static_cast<unsigned long long>(d.column), d.message.c_str(), d.code.c_str());
    }
    if (argc > 1) {
        return 0;
    }
    // Without the stray token after it, the node is checked: its frame is 9 bytes long.
    const tolvane::CheckResult checked =
        tolvane::check_text("door.ncf", std::string(text.substr(0, text.find("stray"))));
    const auto length = tolvane::position_of(file.nodes.at(0).frames.at(0).properties, "length");
    std::string codec_refusal;
    try {
        const tolvane::NcfNodeDef& door = checked.file.nodes.at(0);
        const tolvane::EncodedFrame status(door, tolvane::frame_named(door, "status"));
    } catch (const tolvane::CodecError& error) {
        codec_refusal = error.what();
    }
    return check(file.nodes.size() == 1 && file.nodes[0].positions.start == tolvane::SourcePosition{3, 1},
                 "node door at 3:1") +
           check(length == tolvane::SourcePosition{7, 38}, "the frame's length at 7:38") +
           check(parser.get_diagnostics().size() == 1 && parser.get_diagnostics()[0].line == 10,
                 "one diagnostic, on line 10") +
           check(trace_lines > 0, "trace lines in the sink") +
           check(tolvane::validate(file, parser.get_diagnostics()).at(0).code == "not-checked",
                 "the node with a syntax error after it is not checked") +
           check(std::any_of(
                     checked.diagnostics.begin(), checked.diagnostics.end(),
                     [](const tolvane::Diagnostic& d) { return d.code == "frame-length" && d.line == 7; }),
                 "the 9-byte frame reported on line 7") +
           check(codec_refusal == "Frame 'status' cannot be packed: it has 9 data bytes, not 1..8",
                 "the codec refuses the 9-byte frame") +
           check(tolvane::protected_id(0x3D) == 0x7D, "the protected identifier of 0x3D") +
           check(lenient_warning_code(text) == "dialect-error-response", "the lenient reading's warning");
}
