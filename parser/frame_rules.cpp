// The frames section: frames and their properties.
#include "parser/grammar.hpp"

namespace tolvane::detail {

// frame_definition: "frames" "{" { single_frame } "}"
std::vector<NcfSingleFrame> Grammar::frame_definition() {
    TraceScope trace(*this, "frame_definition");
    expect(TokenKind::KwFrames);
    expect(TokenKind::LeftBrace);
    while (at(TokenKind::KwPublish) || at(TokenKind::KwSubscribe)) {
        frames_buffer_.push_back(single_frame());
    }
    expect(TokenKind::RightBrace);
    return take_list(frames_buffer_);
}

// single_frame: ("publish" | "subscribe") name "{" frame_properties [signal_definition] "}"
NcfSingleFrame Grammar::single_frame() {
    TraceScope trace(*this, "single_frame");
    NcfSingleFrame frame;
    frame.positions.start = here();
    frame.kind = at(TokenKind::KwPublish) ? "publish" : "subscribe";
    advance();
    frame.name = take_text(frame.positions.name);
    expect(TokenKind::LeftBrace);
    frame.properties = frame_properties();
    if (at(TokenKind::KwSignals)) {
        frame.signals = signal_definition();
    }
    expect(TokenKind::RightBrace);
    return frame;
}

// frame_properties: "length" "=" integer ";"
//     ["min_period" "=" integer "ms" ";"] ["max_period" "=" integer "ms" ";"]
//     ["event_triggered_frame" "=" name ";"]
NcfFrameProperties Grammar::frame_properties() {
    TraceScope trace(*this, "frame_properties");
    NcfFrameProperties properties;
    NcfFrameProperties::Positions& positions = properties.positions;
    positions.start = here();
    if (lenient_) {
        read_frame_statements_in_any_order(properties);
        return properties;
    }
    read_length_statement(properties);
    read_period_statement(TokenKind::KwMinPeriod, properties.min_period, positions.min_period);
    read_period_statement(TokenKind::KwMaxPeriod, properties.max_period, positions.max_period);
    read_event_triggered_frame_statement(properties);
    return properties;
}

// "length" "=" integer ";", read whatever the current token is.
void Grammar::read_length_statement(NcfFrameProperties& properties) {
    expect(TokenKind::KwLength);
    expect(TokenKind::Equals);
    properties.positions.length = here();
    properties.length = expect_integer();
    expect(TokenKind::Semicolon);
}

// "event_triggered_frame" "=" name ";", read only when its keyword is current.
void Grammar::read_event_triggered_frame_statement(NcfFrameProperties& properties) {
    if (accept(TokenKind::KwEventTriggeredFrame)) {
        expect(TokenKind::Equals);
        properties.event_triggered_frame = take_text(properties.positions.event_triggered_frame);
        expect(TokenKind::Semicolon);
    }
}

// Older and vendor files write a frame's properties in any order, and add
// identifiers that a node capability file does not hold.
void Grammar::read_frame_statements_in_any_order(NcfFrameProperties& properties) {
    static constexpr TokenKind order[] = {
        TokenKind::KwLength,
        TokenKind::KwMinPeriod,
        TokenKind::KwMaxPeriod,
        TokenKind::KwEventTriggeredFrame,
    };
    static constexpr ForeignStatement foreign[] = {
        {"message_ID", "dialect-message-id", "LIN 2.0 message identifier; in J2602, the frame's identifier"},
        {"event_triggered_message_ID", "dialect-event-triggered-message-id",
         "LIN 2.0 message identifier of the event-triggered frame"},
        {"frame_id", "dialect-frame-id", "frame identifier, which the cluster's description assigns"},
    };
    StatementsInAnyOrder section("frame", "a frame", order, 1, foreign);
    NcfFrameProperties::Positions& positions = properties.positions;
    while (const std::optional<TokenKind> statement = next_statement(section)) {
        switch (*statement) {
            case TokenKind::KwLength:
                read_length_statement(properties);
                break;
            case TokenKind::KwMinPeriod:
                read_period_statement(*statement, properties.min_period, positions.min_period);
                break;
            case TokenKind::KwMaxPeriod:
                read_period_statement(*statement, properties.max_period, positions.max_period);
                break;
            default:
                read_event_triggered_frame_statement(properties);
                break;
        }
    }
    report_missing_statements(section);
    if (section.missing(TokenKind::KwLength)) {
        positions.length = here();  // where the strict reading would have looked for it
    }
}

// keyword "=" integer "ms" ";", read only when `keyword` is current.
void Grammar::read_period_statement(TokenKind keyword, std::optional<std::int32_t>& period,
                                    SourcePosition& position) {
    if (!accept(keyword)) {
        return;
    }
    expect(TokenKind::Equals);
    position = here();
    period = expect_integer();
    expect(TokenKind::KwMs);
    expect(TokenKind::Semicolon);
}

}  // namespace tolvane::detail
