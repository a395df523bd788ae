// Token kinds and the token itself.
#pragma once

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
    // Keywords; their spellings are in keywords.hpp, in this same order.
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
