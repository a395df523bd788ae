// Lexer: the 51 keywords with their fixed numbers, identifiers, and the
// class of every byte value.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "lexer/lexer.hpp"

namespace {

using tolvane::TokenKind;

// The keyword table written out independently of keywords.hpp, in kind
// order from 18.
const std::vector<std::string> keywords = [] {
    std::istringstream words(
        "node_capability_file LIN_language_version node general LIN_protocol_version supplier function "
        "variant bitrate automatic min max select kbps sends_wake_up_signal yes no volt_range temp_range "
        "conformance diagnostic NAD to diagnostic_class P2_min ST_min N_As_timeout N_Cr_timeout support_sid "
        "max_message_length ms frames publish subscribe length min_period max_period event_triggered_frame "
        "signals size init_value offset encoding logical_value physical_value bcd_value ascii_value "
        "status_management response_error fault_state_signals free_text");
    return std::vector<std::string>(std::istream_iterator<std::string>(words), {});
}();

tolvane::Token first_token(std::string_view input) {
    tolvane::Lexer lexer(input, "t.ncf");
    return lexer.next_token();
}

// A keyword lexes to its number; one byte more or fewer, or another case, is
// an identifier unless it happens to spell another keyword.
TEST(LexerKeywords, EachHasItsNumberAndItsNeighboursAreIdentifiers) {
    ASSERT_EQ(keywords.size(), 51u);
    const auto expected_kind = [](const std::string& word) {
        const auto at = std::ranges::find(keywords, word);
        return at == keywords.end() ? 0 : 18 + static_cast<int>(at - keywords.begin());
    };
    for (const std::string& word : keywords) {
        std::string upper = word, lower = word, flipped = word;
        std::ranges::transform(word, upper.begin(),
                               [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        std::ranges::transform(word, lower.begin(),
                               [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        flipped[0] = word[0] == upper[0] ? lower[0] : upper[0];
        for (const std::string& variant :
             {word, word + "s", word + "_", word + "1", "_" + word, word.substr(1),
              word.substr(0, word.size() - 1), upper, lower, flipped}) {
            if (variant.empty() || std::isdigit(static_cast<unsigned char>(variant[0]))) {
                continue;
            }
            const tolvane::Token token = first_token(variant);
            EXPECT_EQ(static_cast<int>(token.kind), expected_kind(variant)) << variant;
            EXPECT_EQ(token.text, variant);
        }
    }
}

// Every byte value alone, after "a" and after "0x": which token it starts,
// and whether it continues an identifier or a hexadecimal number. Classes are
// ASCII only; bytes above 0x7F belong to none.
TEST(LexerBytes, EveryByteValue) {
    constexpr std::string_view punctuation = ":;,{}()[]=+-";
    for (int value = 0; value < 256; ++value) {
        const char c = static_cast<char>(value);
        const bool digit = c >= '0' && c <= '9';
        const bool word = digit || c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool hex = digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        TokenKind alone = TokenKind::Unknown;
        if (digit) {
            alone = TokenKind::Integer;
        } else if (word) {
            alone = TokenKind::Identifier;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            alone = TokenKind::EndOfInput;
        } else if (c == '"') {
            alone = TokenKind::String;
        } else if (const auto at = punctuation.find(c); at != std::string_view::npos) {
            alone = static_cast<TokenKind>(4 + static_cast<int>(at));  // Colon 4 ... Equals 13, Plus, Minus
        }
        const std::string byte(1, c);
        const tolvane::Token token = first_token(byte);
        EXPECT_EQ(token.kind, alone) << value;
        if (alone == TokenKind::Unknown || word) {
            EXPECT_EQ(token.text, byte) << value;
        }
        EXPECT_EQ(first_token("a" + byte).text.size(), word ? 2u : 1u) << value;
        EXPECT_EQ(first_token("0x" + byte).text.size(), hex ? 3u : 2u) << value;
    }
}

}  // namespace

namespace {

// The spelling that "Expected <spelling>" messages give a kind is what the
// lexer reads back as that kind, for every punctuation and keyword kind.
TEST(LexerKeywords, EverySpellingLexesToItsOwnKind) {
    for (int k = static_cast<int>(TokenKind::Colon); k <= tolvane::last_keyword_kind; ++k) {
        const auto kind = static_cast<TokenKind>(k);
        if (kind == TokenKind::EndOfInput || kind == TokenKind::Unknown) {
            continue;
        }
        const std::string_view spelling = tolvane::spelling_of(kind);
        const tolvane::Token token = first_token(spelling);
        EXPECT_EQ(token.kind, kind) << spelling;
        EXPECT_EQ(token.text, spelling);
    }
    EXPECT_EQ(tolvane::spelling_of(TokenKind::EndOfInput), "<EOF>");
}

}  // namespace
