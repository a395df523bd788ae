// The 51 keywords of the language and their exact, case-sensitive lookup.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "lexer/token.hpp"

namespace tolvane {

// Spellings in token-kind order: entry i has kind first_keyword_kind + i.
inline constexpr std::array<std::string_view, 51> keyword_spellings = {
    "node_capability_file",
    "LIN_language_version",
    "node",
    "general",
    "LIN_protocol_version",
    "supplier",
    "function",
    "variant",
    "bitrate",
    "automatic",
    "min",
    "max",
    "select",
    "kbps",
    "sends_wake_up_signal",
    "yes",
    "no",
    "volt_range",
    "temp_range",
    "conformance",
    "diagnostic",
    "NAD",
    "to",
    "diagnostic_class",
    "P2_min",
    "ST_min",
    "N_As_timeout",
    "N_Cr_timeout",
    "support_sid",
    "max_message_length",
    "ms",
    "frames",
    "publish",
    "subscribe",
    "length",
    "min_period",
    "max_period",
    "event_triggered_frame",
    "signals",
    "size",
    "init_value",
    "offset",
    "encoding",
    "logical_value",
    "physical_value",
    "bcd_value",
    "ascii_value",
    "status_management",
    "response_error",
    "fault_state_signals",
    "free_text",
};
static_assert(keyword_spellings.size() == last_keyword_kind - first_keyword_kind + 1);

constexpr TokenKind keyword_kind_at(std::size_t index) {
    return static_cast<TokenKind>(first_keyword_kind + static_cast<int>(index));
}

constexpr std::string_view keyword_spelling(TokenKind kind) {
    return keyword_spellings[static_cast<std::size_t>(static_cast<int>(kind) - first_keyword_kind)];
}

// Keywords grouped by length, so a lookup compares the identifier with the
// few keywords of its own length only: whole-length, exact comparison.
class KeywordTable {
public:
    constexpr KeywordTable() {
        std::size_t next = 0;
        for (std::size_t length = 0; length <= max_length; ++length) {
            first_of_length_[length] = next;
            for (std::size_t i = 0; i < keyword_spellings.size(); ++i) {
                if (keyword_spellings[i].size() == length) {
                    by_length_[next++] = static_cast<unsigned char>(i);
                }
            }
        }
        first_of_length_[max_length + 1] = next;
    }

    constexpr std::optional<TokenKind> find(std::string_view word) const {
        if (word.size() > max_length) {
            return std::nullopt;
        }
        for (std::size_t k = first_of_length_[word.size()]; k < first_of_length_[word.size() + 1]; ++k) {
            if (keyword_spellings[by_length_[k]] == word) {
                return keyword_kind_at(by_length_[k]);
            }
        }
        return std::nullopt;
    }

private:
    static constexpr std::size_t max_length = 21;  // "event_triggered_frame"
    std::array<unsigned char, keyword_spellings.size()> by_length_{};
    std::array<std::size_t, max_length + 2> first_of_length_{};
};

inline constexpr KeywordTable keyword_table{};

}  // namespace tolvane
