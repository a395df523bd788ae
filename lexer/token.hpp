// Token kinds and the token itself.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tolvane {

// The numbering is part of the file format's contract: 0-17 are the generic
// and punctuation kinds, 18-68 the keywords in the order of the keyword table.
enum class TokenKind : std::int32_t {
    Identifier = 0,
    Integer,
    Real,
    String,
    Colon,
    Semicolon,
    Comma,
    LeftBrace,
    RightBrace,
    LeftParen,
    RightParen,
    LeftBracket,
    RightBracket,
    Equals,
    Plus,
    Minus,
    EndOfInput,
    Unknown,
    // Keywords, in the order of their spellings in token_spellings.
    KwNodeCapabilityFile,  // 18
    KwLinLanguageVersion,
    KwNode,  // 20
    KwGeneral,
    KwLinProtocolVersion,  // 22
    KwSupplier,
    KwFunction,
    KwVariant,
    KwBitrate,
    KwAutomatic,
    KwMin,
    KwMax,
    KwSelect,
    KwKbps,  // 31
    KwSendsWakeUpSignal,
    KwYes,
    KwNo,
    KwVoltRange,
    KwTempRange,
    KwConformance,  // 37
    KwDiagnostic,   // 38
    KwNad,
    KwTo,
    KwDiagnosticClass,
    KwP2Min,
    KwStMin,
    KwNAsTimeout,
    KwNCrTimeout,
    KwSupportSid,
    KwMaxMessageLength,
    KwMs,      // 48
    KwFrames,  // 49
    KwPublish,
    KwSubscribe,
    KwLength,
    KwMinPeriod,
    KwMaxPeriod,
    KwEventTriggeredFrame,
    KwSignals,
    KwSize,
    KwInitValue,
    KwOffset,    // 59
    KwEncoding,  // 60
    KwLogicalValue,
    KwPhysicalValue,
    KwBcdValue,
    KwAsciiValue,        // 64
    KwStatusManagement,  // 65
    KwResponseError,
    KwFaultStateSignals,
    KwFreeText,  // 68
};

inline constexpr int first_keyword_kind = static_cast<int>(TokenKind::KwNodeCapabilityFile);
inline constexpr int last_keyword_kind = static_cast<int>(TokenKind::KwFreeText);
static_assert(first_keyword_kind == 18 && last_keyword_kind == 68);

// How each kind is named in messages ("Expected <spelling>, found ..."):
// a punctuation kind by its character, a keyword by its spelling, which is
// also what the lexer matches. Indexed by kind.
inline constexpr std::array<std::string_view, last_keyword_kind + 1> token_spellings = {
    "identifier",
    "integer",
    "real number",
    "string literal",
    ":",
    ";",
    ",",
    "{",
    "}",
    "(",
    ")",
    "[",
    "]",
    "=",
    "+",
    "-",
    "<EOF>",
    "unknown byte",
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

static_assert(token_spellings[static_cast<std::size_t>(TokenKind::Unknown)] == "unknown byte" &&
              token_spellings[static_cast<std::size_t>(TokenKind::KwConformance)] == "conformance" &&
              token_spellings.back() == "free_text");

constexpr std::string_view spelling_of(TokenKind kind) {
    return token_spellings[static_cast<std::size_t>(kind)];
}

// One token: a kind, a slice of text and the position of its first byte.
// The text is a view: into the input for every kind except a string literal
// that had to be re-encoded, whose text lives in the lexer until the next
// string literal is scanned.
struct Token {
    TokenKind kind = TokenKind::Unknown;
    std::string_view text;
    std::uint64_t line = 1;
    std::uint64_t column = 1;
};

}  // namespace tolvane
