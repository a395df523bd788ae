// Values taken from the fuzzer's bytes, for the targets that need more than
// the text: the values a mangled tree holds, the data of a frame, the values
// to pack. The bytes are read from a starting offset on and around again, so
// every byte of the input steers some choice and a short input still gives
// values; an empty input gives zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

namespace tolvane::fuzz {

class ByteSource {
public:
    explicit ByteSource(std::string_view bytes, std::size_t start = 0)
        : bytes_(bytes), next_(bytes.empty() ? 0 : start % bytes.size()) {}

    std::uint8_t byte() {
        if (bytes_.empty()) {
            return 0;
        }
        const auto value = static_cast<std::uint8_t>(bytes_[next_]);
        next_ = (next_ + 1) % bytes_.size();
        return value;
    }

    // True about once in `times` (times >= 1).
    bool one_in(unsigned times) { return byte() % times == 0; }

    template <class Integer>
        requires std::is_integral_v<Integer>
    Integer integer() {
        std::make_unsigned_t<Integer> value = 0;
        for (std::size_t i = 0; i < sizeof(Integer); ++i) {
            value = static_cast<decltype(value)>((value << 8U) | byte());
        }
        return static_cast<Integer>(value);
    }

    // Any double, NaN, infinities and subnormals included.
    double real() {
        const auto bits = integer<std::uint64_t>();
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    // Up to `most` bytes, any values.
    std::string text(std::size_t most) {
        std::string value(byte() % (most + 1), '\0');
        for (char& c : value) {
            c = static_cast<char>(byte());
        }
        return value;
    }

private:
    std::string_view bytes_;
    std::size_t next_;
};

}  // namespace tolvane::fuzz
