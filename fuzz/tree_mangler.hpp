// Changes values of a parsed tree to ones taken from the fuzzer's bytes: any
// text (bytes that are not UTF-8, quotes, backslashes, keywords), any integer,
// any double (NaN and infinities too), flipped flags, optional values dropped
// or added, list items dropped or repeated. The structure of the tree stays
// one the parser built, so the mangled trees are the ones a caller gets by
// editing a parsed file's dict before writing it, which the parser itself
// never returns.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "fuzz/byte_source.hpp"
#include "model/ncf_records.hpp"

namespace tolvane::fuzz {

class TreeMangler {
public:
    // About one value in `rate` changes.
    TreeMangler(ByteSource& source, unsigned rate) : source_(source), rate_(rate) {}

    template <described_record Record>
    void mangle(Record& record) {
        for_each_field<Record>([&](const auto& described) { mangle_value(record.*described.member); });
    }

private:
    bool now() { return source_.one_in(rate_); }

    std::string any_text() {
        std::string text = source_.text(12);
        if (source_.one_in(2)) {
            for (char& c : text) {  // printable ASCII, which has the quote and the backslash
                c = static_cast<char>(' ' + static_cast<unsigned char>(c) % 95);
            }
        }
        return text;
    }

    template <class Value>
    void mangle_value(Value& value) {
        if constexpr (described_record<Value>) {
            mangle(value);
        } else if constexpr (is_optional<Value>::value) {
            if (value && now()) {
                value.reset();
            } else if (!value && now()) {
                value.emplace();
            }
            if (value) {
                mangle_value(*value);
            }
        } else if constexpr (is_list<Value>::value) {
            if (!value.empty() && now()) {
                value.pop_back();
            } else if (!value.empty() && now()) {
                value.push_back(value.front());
            }
            for (auto& item : value) {
                mangle_value(item);
            }
        } else if constexpr (std::is_same_v<Value, std::string>) {
            if (now()) {
                value = any_text();
            }
        } else if constexpr (std::is_same_v<Value, bool>) {
            if (now()) {
                value = !value;
            }
        } else if constexpr (std::is_integral_v<Value>) {
            if (now()) {
                value = source_.integer<Value>();
            }
        } else if constexpr (std::is_floating_point_v<Value>) {
            if (now()) {
                value = source_.real();
            }
        } else {
            static_assert(!sizeof(Value), "a field of a kind the mangler does not know");
        }
    }

    ByteSource& source_;
    unsigned rate_;
};

// A copy of `file` with some values changed, steered by `bytes`.
inline NcfFile mangled(const NcfFile& file, std::string_view bytes) {
    ByteSource source(bytes, bytes.size() / 2);
    NcfFile copy = file;
    TreeMangler mangler(source, 4U << (source.byte() % 4U));
    mangler.mangle(copy);
    return copy;
}

}  // namespace tolvane::fuzz
