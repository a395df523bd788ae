// The frames section: frames and their properties.
#include "parser/ncf_parser.hpp"

namespace tolvane {

// frame_definition: "frames" "{" { single_frame } "}"
std::vector<NcfSingleFrame> NcfParser::frame_definition() {
    TraceScope trace(*this, "frame_definition");
    std::vector<NcfSingleFrame> frames;
    expect(TokenKind::KwFrames, "frames");
    expect(TokenKind::LeftBrace, "{");
    while (at(TokenKind::KwPublish) || at(TokenKind::KwSubscribe)) {
        frames.push_back(single_frame());
    }
    expect(TokenKind::RightBrace, "}");
    // The tree outlives the parse: give back what the list grew beyond its size.
    frames.shrink_to_fit();
    return frames;
}

// single_frame: ("publish" | "subscribe") name "{" frame_properties [signal_definition] "}"
NcfSingleFrame NcfParser::single_frame() {
    TraceScope trace(*this, "single_frame");
    NcfSingleFrame frame;
    frame.kind = at(TokenKind::KwPublish) ? "publish" : "subscribe";
    advance();
    frame.name = take_text();
    expect(TokenKind::LeftBrace, "{");
    frame.properties = frame_properties();
    if (at(TokenKind::KwSignals)) {
        frame.signals = signal_definition();
    }
    expect(TokenKind::RightBrace, "}");
    return frame;
}

// frame_properties: "length" "=" integer ";"
//     ["min_period" "=" integer "ms" ";"] ["max_period" "=" integer "ms" ";"]
//     ["event_triggered_frame" "=" name ";"]
NcfFrameProperties NcfParser::frame_properties() {
    TraceScope trace(*this, "frame_properties");
    NcfFrameProperties properties;
    expect(TokenKind::KwLength, "length");
    expect(TokenKind::Equals, "=");
    properties.length = expect_integer();
    expect(TokenKind::Semicolon, ";");

    const auto period_statement = [this](TokenKind keyword, std::optional<std::int32_t>& period) {
        if (!at(keyword)) {
            return;
        }
        advance();
        expect(TokenKind::Equals, "=");
        period = expect_integer();
        expect(TokenKind::KwMs, "ms");
        expect(TokenKind::Semicolon, ";");
    };
    period_statement(TokenKind::KwMinPeriod, properties.min_period);
    period_statement(TokenKind::KwMaxPeriod, properties.max_period);
    if (at(TokenKind::KwEventTriggeredFrame)) {
        advance();
        expect(TokenKind::Equals, "=");
        properties.event_triggered_frame = take_text();
        expect(TokenKind::Semicolon, ";");
    }
    return properties;
}

}  // namespace tolvane
