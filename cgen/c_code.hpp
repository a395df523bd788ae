// C code for a node's firmware: the node's frames packed, unpacked and set
// to their initial values, by the same layout rules as the codec.
#pragma once

#include <stdexcept>
#include <string>

#include "../model/ncf_records.hpp"

namespace tolvane {

// What cannot be generated: two names that become one C identifier. (A
// frame the codec refuses is a CodecError, with the codec's reason.)
class CannotGenerate : public std::invalid_argument {
public:
    explicit CannotGenerate(const std::string& message) : std::invalid_argument(message) {}
};

struct CCodeOptions {
    std::string prefix;           // every name begins with it; empty: the node's name
    std::string source;           // the file the node came from, for the first comment
    std::string version;          // tolvane's version, for the first comment
    bool floating_point = true;   // the physical conversions (double) too
    bool unused_bits_set = false; // bits no signal uses are 1 rather than 0
};

struct CCode {
    std::string header_name;  // PREFIX.h
    std::string header;
    std::string source_name;  // PREFIX.c
    std::string source;
};

// The C99 code of `node`'s frames: for each frame F, PREFIX_F_LENGTH,
// struct PREFIX_F_t (a member per signal, named as the signal), and
// PREFIX_F_pack, _unpack and _init; for each scalar signal S,
// PREFIX_F_S_is_in_range, and with a physical encoding PREFIX_F_S_decode and
// _encode; for each logical value, PREFIX_F_S_TEXT_CHOICE. Names become C
// identifiers: every character other than a letter, a digit or "_" becomes
// "_", a name that begins with a digit gets a "_" before it, and a C or C++
// keyword a "_" after it. Throws CodecError for a frame the codec refuses,
// CannotGenerate for two names that become one.
CCode generate_c(const NcfNodeDef& node, const CCodeOptions& options);

}  // namespace tolvane
