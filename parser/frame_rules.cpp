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
    expect(TokenKind::KwLength);
    expect(TokenKind::Equals);
    positions.length = here();
    properties.length = expect_integer();
    expect(TokenKind::Semicolon);
    read_period_statement(TokenKind::KwMinPeriod, properties.min_period, positions.min_period);
    read_period_statement(TokenKind::KwMaxPeriod, properties.max_period, positions.max_period);
    if (accept(TokenKind::KwEventTriggeredFrame)) {
        expect(TokenKind::Equals);
        properties.event_triggered_frame = take_text(positions.event_triggered_frame);
        expect(TokenKind::Semicolon);
    }
    return properties;
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
