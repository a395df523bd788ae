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
    rest_of_block(Block::Frames, [&] { frames_buffer_.push_back(single_frame()); });
    expect(TokenKind::RightBrace);
    return take_list(frames_buffer_);
}

// single_frame: ("publish" | "subscribe") name "{" frame_properties [signal_definition] "}"
NcfSingleFrame Grammar::single_frame() {
    TraceScope trace(*this, "single_frame");
    NcfSingleFrame frame;
    frame.positions.start = here();
    frame.kind = at(TokenKind::KwPublish) ? "publish" : "subscribe";
    advance_within_statement();  // the frame's keyword
    frame.name = take_name(frame.positions.name);
    expect(TokenKind::LeftBrace);
    frame.properties = frame_properties();
    if (at(TokenKind::KwSignals)) {
        frame.signals = signal_definition();
    }
    rest_of_block(Block::Frame, [&] { read_frame_statement(frame); });
    expect(TokenKind::RightBrace);
    return frame;
}

// A statement or the signals of a frame where the grammar did not look for
// them; a second signals block adds its signals to the first one's.
void Grammar::read_frame_statement(NcfSingleFrame& frame) {
    NcfFrameProperties& properties = frame.properties;
    switch (current_.kind) {
        case TokenKind::KwLength:
            read_length_statement(properties);
            break;
        case TokenKind::KwMinPeriod:
        case TokenKind::KwMaxPeriod: {
            const bool min = at(TokenKind::KwMinPeriod);
            read_period_statement(current_.kind, min ? properties.min_period : properties.max_period,
                                  min ? properties.positions.min_period : properties.positions.max_period);
            break;
        }
        case TokenKind::KwEventTriggeredFrame:
            read_event_triggered_frame_statement(properties);
            break;
        default: {
            std::vector<NcfSignalDef> signals = signal_definition();
            frame.signals.insert(frame.signals.end(), std::make_move_iterator(signals.begin()),
                                 std::make_move_iterator(signals.end()));
            break;
        }
    }
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
    if (statement_missing(TokenKind::KwLength)) {
        properties.positions.length = here();
        return;
    }
    expect(TokenKind::KwLength);
    expect(TokenKind::Equals);
    properties.positions.length = here();
    properties.length = expect_integer();
    expect(TokenKind::Semicolon);
    end_statement();
}

// "event_triggered_frame" "=" name ";", read only when its keyword is current.
void Grammar::read_event_triggered_frame_statement(NcfFrameProperties& properties) {
    if (accept(TokenKind::KwEventTriggeredFrame)) {
        expect(TokenKind::Equals);
        properties.event_triggered_frame = take_name(properties.positions.event_triggered_frame);
        expect(TokenKind::Semicolon);
        end_statement();
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
    bool stray_reported = false;
    do {
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
    } while (skip_stray_in(Block::Frame, stray_reported));
    if (!stray_reported) {
        report_missing_statements(section);
    }
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
    end_statement();
}

}  // namespace tolvane::detail
