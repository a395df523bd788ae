// The generator writes each frame's functions byte by byte from the layout
// the codec checked: a data byte is the OR of the pieces of the signals in
// it, each piece shifted and masked in uint32_t and cast once, so that the
// code compiles without a conversion warning in C and in C++.
#include "cgen/c_code.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <string_view>
#include <vector>

#include "codec/frame_codec.hpp"
#include "lexer/char_class.hpp"
#include "writer/spellings.hpp"

namespace tolvane {

namespace {

// C99, C11 and C++ keywords, and the names the generated code itself uses:
// a name of the file that is one of them gets a "_" after it.
constexpr std::array<std::string_view, 104> reserved_words{
    "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor", "bool", "break", "case", "catch",
    "char", "char8_t", "char16_t", "char32_t", "class", "co_await", "co_return", "co_yield", "compl", "concept",
    "const", "consteval", "constexpr", "constinit", "const_cast", "continue", "decltype", "default", "delete", "do",
    "double", "dynamic_cast", "else", "enum", "explicit", "export", "extern", "false", "float", "for", "friend",
    "goto", "if", "inline", "int", "long", "mutable", "namespace", "new", "noexcept", "not", "not_eq", "nullptr",
    "operator", "or", "or_eq", "private", "protected", "public", "register", "reinterpret_cast", "requires",
    "restrict", "return", "short", "signed", "sizeof", "static", "static_assert", "static_cast", "struct",
    "switch", "template", "this", "thread_local", "throw", "true", "try", "typedef", "typeid", "typename", "union",
    "unsigned", "using", "virtual", "void", "volatile", "wchar_t", "while", "xor", "xor_eq", "_Alignas",
    "_Alignof", "_Atomic", "_Bool", "_Complex", "_Generic", "_Imaginary", "_Noreturn", "_Static_assert",
    "_Thread_local"};

// A name of the file as a C identifier (the rule the header documents).
std::string c_name(std::string_view name) {
    std::string out;
    for (const char c : name) {
        out += continues_identifier(c) ? c : '_';
    }
    if (out.empty() || is_digit(out.front())) {
        out.insert(out.begin(), '_');
    }
    if (std::ranges::find(reserved_words, out) != reserved_words.end()) {
        out += '_';
    }
    return out;
}

// A logical value's text as the CHOICE part of a name: letters and digits
// in capitals, runs of anything else one "_".
std::string choice_name(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (continues_identifier(c) && c != '_') {
            out += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        } else if (!out.empty() && out.back() != '_') {
            out += '_';
        }
    }
    while (!out.empty() && out.back() == '_') {
        out.pop_back();
    }
    return out;
}

std::string hex(std::uint64_t value) {
    constexpr std::string_view digits = "0123456789ABCDEF";
    std::string out;
    do {
        out.insert(out.begin(), digits[value & 0xFU]);
        value >>= 4;
    } while (value != 0);
    return "0x" + out + "u";
}

std::string decimal(std::int64_t value) {
    std::string out;
    detail::append_integer(out, value);
    return out;
}

// A double as a C literal that reads back as the same double.
std::string real(double value) {
    std::string out;
    detail::append_number(out, value);
    if (out.find_first_of(".eE") == std::string::npos) {
        out += ".0";
    }
    return out;
}

bool is_array(const NcfSignalDef& signal) {
    return signal.properties.init_value.is_array;
}

std::string raw_type(const NcfSignalDef& signal) {
    return signal.properties.size <= 8 ? "uint8_t" : "uint16_t";
}

std::uint64_t highest_raw(const NcfSignalDef& signal) {
    return (std::uint64_t{1} << signal.properties.size) - 1;
}

std::uint64_t type_maximum(const NcfSignalDef& signal) {
    return signal.properties.size <= 8 ? 0xFFU : 0xFFFFU;
}

// One signal's piece of one data byte: its bits `value_shift` up, `width`
// of them, at bit `byte_shift` of the byte.
struct Piece {
    std::size_t signal;
    int value_shift;
    int byte_shift;
    int width;
};

class FrameCode {
public:
    FrameCode(const NcfNodeDef& node, const NcfSingleFrame& frame, const CCodeOptions& options,
              std::string node_prefix)
        : node_(node),
          frame_(frame),
          options_(options),
          node_prefix_(std::move(node_prefix)),
          name_(node_prefix_ + "_" + c_name(frame.name)) {
        const FrameLayout layout(frame);  // CodecError for what the codec refuses
        length_ = layout.length();
        pieces_.resize(length_);
        used_.assign(length_, 0);
        for (std::size_t i = 0; i < frame.signals.size(); ++i) {
            members_.push_back(c_name(frame.signals[i].name));
            check_conversion(frame.signals[i]);
            if (!is_array(frame.signals[i])) {
                cut_into_pieces(i);
            } else {
                const auto first = static_cast<std::size_t>(frame.signals[i].properties.offset / 8);
                for (std::size_t j = 0; j < byte_count(frame.signals[i]); ++j) {
                    used_[first + j] = 0xFF;
                }
            }
        }
    }

    const std::vector<std::string>& members() const { return members_; }
    const std::string& name() const { return name_; }
    const NcfSingleFrame& frame() const { return frame_; }
    void declare(std::string& h) const;
    void define(std::string& c) const;
    bool needs_rounding() const;

private:
    static std::size_t byte_count(const NcfSignalDef& signal) {
        return static_cast<std::size_t>(signal.properties.size / 8);
    }

    // A physical line whose numbers are not finite has no C literal.
    void check_conversion(const NcfSignalDef& signal) const {
        if (!converts(signal)) {
            return;
        }
        for (const NcfEncodingValue& line : encoding_of(signal)->values) {
            if (line.physical_range &&
                (!std::isfinite(line.physical_range->scale) || !std::isfinite(line.physical_range->offset_val))) {
                throw CannotGenerate("the encoding of signal '" + signal.name +
                                     "' has a physical line whose scale or offset is not a finite number");
            }
        }
    }

    void cut_into_pieces(std::size_t index) {
        const NcfSignalDef& signal = frame_.signals[index];
        const int first = signal.properties.offset;
        const int last = first + signal.properties.size - 1;
        for (int bit = first; bit <= last;) {
            const int byte = bit / 8;
            const int top = std::min(last, byte * 8 + 7);
            const int width = top - bit + 1;
            pieces_[static_cast<std::size_t>(byte)].push_back({index, bit - first, bit - byte * 8, width});
            used_[static_cast<std::size_t>(byte)] |= static_cast<std::uint8_t>(((1U << width) - 1U) << (bit % 8));
            bit = top + 1;
        }
    }

    std::string function(std::string_view what) const { return name_ + "_" + std::string(what); }
    std::string signal_function(std::size_t index, std::string_view what) const {
        return name_ + "_" + members_[index] + "_" + std::string(what);
    }
    const NcfEncodingEntry* encoding_of(const NcfSignalDef& signal) const {
        if (!signal.properties.encoding_name) {
            return nullptr;
        }
        for (const NcfEncodingEntry& entry : node_.encodings) {
            if (entry.name == *signal.properties.encoding_name) {
                return &entry;
            }
        }
        return nullptr;
    }
    bool has_physical_line(const NcfSignalDef& signal) const {
        const NcfEncodingEntry* entry = encoding_of(signal);
        return entry != nullptr &&
               std::ranges::any_of(entry->values, [](const NcfEncodingValue& v) { return v.physical_range.has_value(); });
    }
    bool converts(const NcfSignalDef& signal) const {
        return options_.floating_point && !is_array(signal) && has_physical_line(signal);
    }

    void define_pack(std::string& c) const;
    void define_unpack(std::string& c) const;
    void define_init(std::string& c) const;
    void define_is_in_range(std::string& c, std::size_t index) const;
    void define_decode(std::string& c, std::size_t index) const;
    void define_encode(std::string& c, std::size_t index) const;
    std::string covers(const NcfSignalDef& signal, const NcfEncodingValue& line, std::string_view raw) const;

    const NcfNodeDef& node_;
    const NcfSingleFrame& frame_;
    const CCodeOptions& options_;
    std::string node_prefix_;
    std::string name_;
    std::size_t length_ = 0;
    std::vector<std::string> members_;
    std::vector<std::vector<Piece>> pieces_;  // by data byte
    std::vector<std::uint8_t> used_;          // by data byte: the bits a signal takes
};

void FrameCode::declare(std::string& h) const {
    h += "\n/* " + c_name(frame_.kind) + " " + c_name(frame_.name) + " */\n";
    h += "#define " + function("LENGTH") + " " + decimal(static_cast<std::int64_t>(length_)) + "\n";
    for (std::size_t i = 0; i < frame_.signals.size(); ++i) {
        const NcfEncodingEntry* entry = encoding_of(frame_.signals[i]);
        if (entry == nullptr) {
            continue;
        }
        std::map<std::string, int> seen;
        for (const NcfEncodingValue& value : entry->values) {
            if (!value.logical_value || !value.logical_value->text_info) {
                continue;
            }
            const std::int32_t raw = value.logical_value->signal_value;
            std::string choice = choice_name(*value.logical_value->text_info);
            if (choice.empty() || is_digit(choice.front()) || seen[choice]++ > 0) {
                choice = (choice.empty() ? "VALUE" : choice) + "_" + decimal(raw);
            }
            h += "#define " + signal_function(i, choice + "_CHOICE") + " " + decimal(raw) + "\n";
        }
    }
    h += "struct " + function("t") + " {\n";
    for (std::size_t i = 0; i < frame_.signals.size(); ++i) {
        const NcfSignalDef& signal = frame_.signals[i];
        h += is_array(signal) ? "    uint8_t " + members_[i] + "[" + decimal(static_cast<std::int64_t>(byte_count(signal))) + "];\n"
                              : "    " + raw_type(signal) + " " + members_[i] + ";\n";
    }
    if (frame_.signals.empty()) {
        h += "    uint8_t no_signals_; /* C has no empty struct */\n";
    }
    h += "};\n";
    h += "int " + function("pack") + "(uint8_t *dst, const struct " + function("t") + " *src, size_t size);\n";
    h += "int " + function("unpack") + "(struct " + function("t") + " *dst, const uint8_t *src, size_t size);\n";
    h += "int " + function("init") + "(struct " + function("t") + " *msg);\n";
    for (std::size_t i = 0; i < frame_.signals.size(); ++i) {
        const NcfSignalDef& signal = frame_.signals[i];
        if (is_array(signal)) {
            continue;
        }
        const std::string type = raw_type(signal);
        h += "bool " + signal_function(i, "is_in_range") + "(" + type + " raw);\n";
        if (converts(signal)) {
            h += "double " + signal_function(i, "decode") + "(" + type + " raw);\n";
            h += type + " " + signal_function(i, "encode") + "(double value);\n";
        }
    }
}

void FrameCode::define(std::string& c) const {
    define_pack(c);
    define_unpack(c);
    define_init(c);
    for (std::size_t i = 0; i < frame_.signals.size(); ++i) {
        if (is_array(frame_.signals[i])) {
            continue;
        }
        define_is_in_range(c, i);
        if (converts(frame_.signals[i])) {
            define_decode(c, i);
            define_encode(c, i);
        }
    }
}

bool FrameCode::needs_rounding() const {
    return std::ranges::any_of(frame_.signals, [this](const NcfSignalDef& signal) { return converts(signal); });
}

void FrameCode::define_pack(std::string& c) const {
    c += "\nint " + function("pack") + "(uint8_t *dst, const struct " + function("t") + " *src, size_t size)\n{\n";
    c += "    if (size < " + function("LENGTH") + ") {\n        return -EINVAL;\n    }\n";
    if (frame_.signals.empty()) {
        c += "    (void)src;\n";
    }
    std::vector<std::string> array_bytes(length_);
    for (std::size_t i = 0; i < frame_.signals.size(); ++i) {
        if (is_array(frame_.signals[i])) {
            const auto first = static_cast<std::size_t>(frame_.signals[i].properties.offset / 8);
            for (std::size_t j = 0; j < byte_count(frame_.signals[i]); ++j) {
                array_bytes[first + j] = "src->" + members_[i] + "[" + decimal(static_cast<std::int64_t>(j)) + "]";
            }
        }
    }
    for (std::size_t byte = 0; byte < length_; ++byte) {
        c += "    dst[" + decimal(static_cast<std::int64_t>(byte)) + "] = ";
        if (!array_bytes[byte].empty()) {
            c += array_bytes[byte] + ";\n";
            continue;
        }
        const std::uint32_t unused = options_.unused_bits_set ? (~std::uint32_t{used_[byte]} & 0xFFU) : 0U;
        std::string expression = hex(unused);
        for (const Piece& piece : pieces_[byte]) {
            expression += "\n        | ((((uint32_t)src->" + members_[piece.signal] + " >> " +
                          decimal(piece.value_shift) + ") & " + hex((1U << piece.width) - 1U) + ") << " +
                          decimal(piece.byte_shift) + ")";
        }
        c += "(uint8_t)(" + expression + ");\n";
    }
    c += "    return " + function("LENGTH") + ";\n}\n";
}

void FrameCode::define_unpack(std::string& c) const {
    c += "\nint " + function("unpack") + "(struct " + function("t") + " *dst, const uint8_t *src, size_t size)\n{\n";
    c += "    if (size < " + function("LENGTH") + ") {\n        return -EINVAL;\n    }\n";
    if (frame_.signals.empty()) {
        c += "    (void)src;\n    dst->no_signals_ = 0u;\n";
    }
    for (std::size_t i = 0; i < frame_.signals.size(); ++i) {
        const NcfSignalDef& signal = frame_.signals[i];
        if (is_array(signal)) {
            const auto first = static_cast<std::size_t>(signal.properties.offset / 8);
            for (std::size_t j = 0; j < byte_count(signal); ++j) {
                c += "    dst->" + members_[i] + "[" + decimal(static_cast<std::int64_t>(j)) + "] = src[" +
                     decimal(static_cast<std::int64_t>(first + j)) + "];\n";
            }
            continue;
        }
        std::string expression;
        for (std::size_t byte = 0; byte < length_; ++byte) {
            for (const Piece& piece : pieces_[byte]) {
                if (piece.signal != i) {
                    continue;
                }
                expression += expression.empty() ? "" : "\n        | ";
                expression += "((((uint32_t)src[" + decimal(static_cast<std::int64_t>(byte)) + "] >> " +
                              decimal(piece.byte_shift) + ") & " + hex((1U << piece.width) - 1U) + ") << " +
                              decimal(piece.value_shift) + ")";
            }
        }
        c += "    dst->" + members_[i] + " = (" + raw_type(signal) + ")(" + expression + ");\n";
    }
    c += "    return 0;\n}\n";
}

void FrameCode::define_init(std::string& c) const {
    c += "\nint " + function("init") + "(struct " + function("t") + " *msg)\n{\n";
    if (frame_.signals.empty()) {
        c += "    msg->no_signals_ = 0u;\n";
    }
    for (std::size_t i = 0; i < frame_.signals.size(); ++i) {
        const NcfInitValue& init = frame_.signals[i].properties.init_value;
        if (init.is_array) {
            for (std::size_t j = 0; j < init.array_values.size(); ++j) {
                c += "    msg->" + members_[i] + "[" + decimal(static_cast<std::int64_t>(j)) + "] = " +
                     hex(static_cast<std::uint64_t>(init.array_values[j])) + ";\n";
            }
        } else {
            c += "    msg->" + members_[i] + " = " + hex(static_cast<std::uint64_t>(init.scalar)) + ";\n";
        }
    }
    c += "    return 0;\n}\n";
}

// The C condition under which `line` covers the raw value `raw`, as the
// codec decodes: a physical line its range cut to what the signal carries,
// a logical line its one value, a BCD line a value of decimal digits, an
// ASCII line never a scalar.
std::string FrameCode::covers(const NcfSignalDef& signal, const NcfEncodingValue& line, std::string_view raw) const {
    const std::string r(raw);
    if (line.logical_value) {
        const std::int64_t value = line.logical_value->signal_value;
        if (value < 0 || static_cast<std::uint64_t>(value) > highest_raw(signal)) {
            return "0";
        }
        return r + " == " + hex(static_cast<std::uint64_t>(value));
    }
    if (line.physical_range) {
        const std::int64_t low = std::max<std::int64_t>(line.physical_range->min_value, 0);
        const std::int64_t high =
            std::min<std::int64_t>(line.physical_range->max_value, static_cast<std::int64_t>(highest_raw(signal)));
        if (low > high) {
            return "0";
        }
        std::string condition;
        if (low > 0) {
            condition = r + " >= " + hex(static_cast<std::uint64_t>(low));
        }
        if (static_cast<std::uint64_t>(high) < type_maximum(signal)) {
            condition += (condition.empty() ? "" : " && ") + r + " <= " + hex(static_cast<std::uint64_t>(high));
        }
        return condition.empty() ? "1" : condition;
    }
    if (line.type == "bcd") {
        return node_prefix_ + "_is_bcd_((uint32_t)" + r + ")";
    }
    return "0";
}

void FrameCode::define_is_in_range(std::string& c, std::size_t index) const {
    const NcfSignalDef& signal = frame_.signals[index];
    c += "\nbool " + signal_function(index, "is_in_range") + "(" + raw_type(signal) + " raw)\n{\n";
    std::string fits = highest_raw(signal) < type_maximum(signal) ? "raw <= " + hex(highest_raw(signal)) : "";
    // The encoding's lines, when it has any that may cover a scalar: one of
    // them must cover the value, unless one covers every value.
    std::string lines;
    bool restricted = false;
    if (const NcfEncodingEntry* entry = encoding_of(signal)) {
        for (const NcfEncodingValue& line : entry->values) {
            if (!line.logical_value && !line.physical_range && line.type != "bcd") {
                continue;
            }
            const std::string condition = covers(signal, line, "raw");
            if (condition == "1") {
                restricted = false;
                lines.clear();
                break;
            }
            restricted = true;
            if (condition != "0") {
                lines += (lines.empty() ? "" : " || ") + ("(" + condition + ")");
            }
        }
    }
    if (restricted && lines.empty()) {
        c += "    (void)raw;\n    return false; /* no line of the encoding covers a value the signal carries */\n}\n";
        return;
    }
    if (fits.empty() && lines.empty()) {
        c += "    (void)raw;\n    return true;\n}\n";
        return;
    }
    const std::string condition = fits.empty() ? lines : lines.empty() ? fits : fits + " && (" + lines + ")";
    c += "    return " + condition + ";\n}\n";
}

void FrameCode::define_decode(std::string& c, std::size_t index) const {
    const NcfSignalDef& signal = frame_.signals[index];
    c += "\ndouble " + signal_function(index, "decode") + "(" + raw_type(signal) + " raw)\n{\n";
    for (const NcfEncodingValue& line : encoding_of(signal)->values) {
        if (!line.logical_value && !line.physical_range && line.type != "bcd") {
            continue;
        }
        const std::string condition = covers(signal, line, "raw");
        if (condition == "0") {
            continue;
        }
        const std::string value =
            line.physical_range
                ? "(double)raw * " + real(line.physical_range->scale) + " + " + real(line.physical_range->offset_val)
                : "(double)raw";
        if (condition == "1") {
            c += "    return " + value + ";\n}\n";
            return;
        }
        c += "    if (" + condition + ") {\n        return " + value + ";\n    }\n";
    }
    c += "    return (double)raw;\n}\n";
}

void FrameCode::define_encode(std::string& c, std::size_t index) const {
    const NcfSignalDef& signal = frame_.signals[index];
    const std::string type = raw_type(signal);
    c += "\n" + type + " " + signal_function(index, "encode") + "(double value)\n{\n    double raw;\n";
    for (const NcfEncodingValue& line : encoding_of(signal)->values) {
        if (!line.physical_range) {
            continue;
        }
        const NcfPhysicalRange& range = *line.physical_range;
        const std::int64_t low = std::max<std::int64_t>(range.min_value, 0);
        const std::int64_t high = std::min<std::int64_t>(range.max_value, static_cast<std::int64_t>(highest_raw(signal)));
        if (low > high) {
            continue;
        }
        if (range.scale == 0.0) {
            c += "    if (value == " + real(range.offset_val) + ") {\n        return (" + type + ")" + hex(static_cast<std::uint64_t>(low)) + ";\n    }\n";
            continue;
        }
        c += "    raw = round((value - " + real(range.offset_val) + ") / " + real(range.scale) + ");\n";
        c += "    if (raw >= " + real(static_cast<double>(low)) + " && raw <= " + real(static_cast<double>(high)) +
             ") {\n        return (" + type + ")raw;\n    }\n";
    }
    c += "    (void)raw;\n    return " + hex(static_cast<std::uint64_t>(signal.properties.init_value.scalar)) +
         "; /* no physical line takes the value */\n}\n";
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return out;
}

// Every global name the code defines, once: two that are one are an error.
void check_unique(const std::vector<FrameCode>& frames) {
    std::map<std::string, std::string> owners;
    const auto claim = [&](const std::string& name, const std::string& owner) {
        const auto [place, fresh] = owners.emplace(name, owner);
        if (!fresh && place->second != owner) {
            throw CannotGenerate("the C name " + name + " stands for both " + place->second + " and " + owner);
        }
    };
    for (const FrameCode& frame : frames) {
        const std::string frame_name = "frame '" + frame.frame().name + "'";
        claim(frame.name() + "_t", frame_name);
        std::map<std::string, int> members;
        for (std::size_t i = 0; i < frame.members().size(); ++i) {
            const std::string& member = frame.members()[i];
            if (members[member]++ > 0) {
                throw CannotGenerate("two signals of " + frame_name + " become the C name " + member);
            }
            claim(frame.name() + "_" + member + "_is_in_range",
                  "signal '" + frame.frame().signals[i].name + "' of " + frame_name);
        }
    }
}

std::string first_comment(const NcfNodeDef& node, const CCodeOptions& options) {
    std::string comment = "/* Generated by tolvane " + options.version + " from ";
    const std::string_view source =
        options.source.empty() ? std::string_view("an NCF text") : std::string_view(options.source);
    for (std::size_t i = 0; i < source.size(); ++i) {
        comment += source[i];
        if (source[i] == '*' && i + 1 < source.size() && source[i + 1] == '/') {
            comment += ' ';  // a name may not end the comment
        }
    }
    comment += ", node " + c_name(node.name) + ". Do not edit: generate it again. */\n";
    return comment;
}

}  // namespace

CCode generate_c(const NcfNodeDef& node, const CCodeOptions& options) {
    const std::string prefix = c_name(options.prefix.empty() ? node.name : options.prefix);
    std::vector<FrameCode> frames;
    frames.reserve(node.frames.size());
    for (const NcfSingleFrame& frame : node.frames) {
        frames.emplace_back(node, frame, options, prefix);
    }
    check_unique(frames);
    const std::string guard = upper(prefix) + "_H";
    CCode code;
    code.header_name = prefix + ".h";
    code.source_name = prefix + ".c";
    std::string& h = code.header;
    h = first_comment(node, options);
    h += "#ifndef " + guard + "\n#define " + guard + "\n\n";
    h += "#include <stdbool.h>\n#include <stddef.h>\n#include <stdint.h>\n\n";
    h += "#ifdef __cplusplus\nextern \"C\" {\n#endif\n";
    for (const FrameCode& frame : frames) {
        frame.declare(h);
    }
    h += "\n#ifdef __cplusplus\n}\n#endif\n\n#endif\n";
    std::string& c = code.source;
    c = first_comment(node, options);
    c += "#include \"" + code.header_name + "\"\n\n#include <errno.h>\n";
    if (std::ranges::any_of(frames, [](const FrameCode& frame) { return frame.needs_rounding(); })) {
        c += "#include <math.h>\n";
    }
    std::string functions;
    for (const FrameCode& frame : frames) {
        frame.define(functions);
    }
    // The BCD test, where a condition uses it (a static function no one
    // calls is a warning).
    if (functions.find(prefix + "_is_bcd_(") != std::string::npos) {
        // A BCD line covers a raw value whose every four bits hold 0 to 9.
        c += "\nstatic bool " + prefix + "_is_bcd_(uint32_t raw)\n{\n    for (; raw != 0u; raw >>= 4) {\n"
             "        if ((raw & 0xFu) > 9u) {\n            return false;\n        }\n    }\n    return true;\n}\n";
    }
    c += functions;
    return code;
}

}  // namespace tolvane
