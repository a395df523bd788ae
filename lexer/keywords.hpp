// The 51 keywords of the language and their exact, case-sensitive lookup.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string_view>

#include "lexer/token.hpp"

namespace tolvane {

// The spellings of the keywords: entry i has kind first_keyword_kind + i.
inline constexpr std::span<const std::string_view> keyword_spellings =
    std::span(token_spellings).subspan(static_cast<std::size_t>(first_keyword_kind));
static_assert(keyword_spellings.size() == 51);
static_assert(keyword_spellings.front() == "node_capability_file" && keyword_spellings.back() == "free_text");

constexpr TokenKind keyword_kind_at(std::size_t index) {
    return static_cast<TokenKind>(first_keyword_kind + static_cast<int>(index));
}

// An exact, whole-length lookup in one probe: a hash of the length and four
// of the bytes picks the one keyword the identifier can be, and a single
// comparison decides. The constructor proves at compile time that no two
// keywords share a slot.
class KeywordTable {
public:
    constexpr KeywordTable() {
        for (std::size_t i = 0; i < keyword_spellings.size(); ++i) {
            auto& slot = slots_[slot_of(keyword_spellings[i])];
            if (slot != empty_slot) {
                throw "two keywords share a slot: change the hash";  // fails the constant evaluation
            }
            slot = static_cast<unsigned char>(i);
        }
    }

    constexpr std::optional<TokenKind> find(std::string_view word) const {
        const unsigned char index = slots_[slot_of(word)];
        if (index == empty_slot || keyword_spellings[index] != word) {
            return std::nullopt;
        }
        return keyword_kind_at(index);
    }

private:
    static constexpr std::size_t slot_count = 128;
    static constexpr unsigned char empty_slot = 0xFF;

    // Any word, keyword or not, maps to a slot.
    static constexpr std::size_t slot_of(std::string_view word) {
        const std::size_t n = word.size();
        if (n == 0) {
            return 0;
        }
        const auto byte = [&](std::size_t i) {
            return static_cast<std::size_t>(static_cast<unsigned char>(word[i]));
        };
        const std::size_t third = n > 2 ? 2 : n - 1;
        return (15 * n + 13 * byte(0) + 29 * byte(third) + 2 * byte(n / 2) + 15 * byte(n - 1)) % slot_count;
    }

    std::array<unsigned char, slot_count> slots_ = [] {
        std::array<unsigned char, slot_count> slots{};
        slots.fill(empty_slot);
        return slots;
    }();
};

inline constexpr KeywordTable keyword_table{};

}  // namespace tolvane
