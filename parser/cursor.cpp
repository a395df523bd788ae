// The grammar's cursor, its one way of reporting, and the trace.
#include <cstdio>
#include <string>
#include <utility>

#include "parser/grammar.hpp"
#include "parser/numbers.hpp"

namespace tolvane::detail {

namespace {

std::string quoted_found(std::string_view prefix, std::string_view text) {
    std::string message;
    message.reserve(prefix.size() + text.size() + 10);
    message.append(prefix).append(", found '").append(text).append("'");
    return message;
}

}  // namespace

Grammar::Grammar(std::string filename, SourceText content, ParseOptions options)
    : content_(std::move(content)),
      lenient_(options.lenient),
      recover_(options.recover),
      lexer_(content_.view(), filename, start_after_byte_order_mark(content_.view()), options.lenient),
      current_{TokenKind::Unknown, {}, 1, 1},
      filename_(std::move(filename)) {
    advance();
}

const std::vector<Comment>& Grammar::comments() const {
    if (!comments_) {
        const std::string_view text = content_.view();
        Lexer again(text, std::string(), start_after_byte_order_mark(text), lenient_);
        while (again.next_token_keeping_comments().kind != TokenKind::EndOfInput) {
        }
        comments_ = again.take_comments();
    }
    return *comments_;
}

void Grammar::report_expected(std::string_view spelling) {
    std::string prefix = "Expected ";
    prefix.append(spelling);
    report_error(quoted_found(prefix, current_.text));
}

// A name or a value: never a token that ends a statement, where the
// recovering reading takes one (the strict reading notes nothing).
std::string Grammar::take_text() {
    std::string text(current_.text);
    advance_within_statement();
    return text;
}

std::string Grammar::expect_string() {
    if (!at(TokenKind::String)) {
        if (recover_ && kind_after_a_stray() == TokenKind::String) {
            report_value_error(quoted_found("Expected string literal", current_.text));
            advance();  // the stray token; the string is read below
            return take_text();
        }
        if (recover_ && (at(TokenKind::Integer) || at(TokenKind::Real) || at(TokenKind::Identifier))) {
            report_value_error("Expected string literal");
            return take_text();  // a value all the same: its text is kept, as the strict reading keeps it
        }
        report_error("Expected string literal");
        if (recover_) {
            return {};  // the token is left to what follows
        }
    }
    return take_text();
}

// Values that cannot be represented read as 0, and are reported at the
// number's own position before it is consumed.
std::int32_t Grammar::expect_integer() {
    if (!at(TokenKind::Integer)) {
        if (recover_ && kind_after_a_stray() == TokenKind::Integer) {
            report_value_error(quoted_found("Expected integer", current_.text));
            advance();  // the stray token; the integer is read below
        } else {
            report_error(quoted_found("Expected integer", current_.text));
            if (!recover_) {
                advance();
            }
            return 0;
        }
    }
    const IntegerValue reading = integer_value(current_.text);
    if (reading.problem == NumberProblem::NoDigits) {
        report_value_error("Invalid integer: '" + std::string(current_.text) + "'");
    } else if (reading.problem == NumberProblem::OutOfRange) {
        report_value_error("Integer out of range: '" + std::string(current_.text) + "'");
    }
    advance_within_statement();
    return reading.value;
}

double Grammar::expect_number() {
    if (!at(TokenKind::Integer) && !at(TokenKind::Real)) {
        const TokenKind after = recover_ ? kind_after_a_stray() : TokenKind::Unknown;
        if (after == TokenKind::Integer || after == TokenKind::Real) {
            report_value_error(quoted_found("Expected number", current_.text));
            advance();  // the stray token; the number is read below
        } else {
            report_error(quoted_found("Expected number", current_.text));
            if (!recover_) {
                advance();
            }
            return 0.0;
        }
    }
    const RealValue reading = number_value(current_.text);
    if (reading.problem == NumberProblem::OutOfRange) {
        report_value_error("Number out of range: '" + std::string(current_.text) + "'");
    }
    advance_within_statement();
    return reading.value;
}

void Grammar::report_error(std::string message) {
    if (recover_) {
        if (!panic_) {  // else a consequence of the fault already reported
            panic_ = true;
            push_error(current_.line, current_.column, std::move(message));
        }
        return;
    }
    diagnostics_.push_back(Diagnostic{Diagnostic::Severity::Error, filename_, current_.line, current_.column,
                                      std::move(message), std::string(syntax_code)});
}

void Grammar::report_value_error(std::string message) {
    if (recover_) {
        report_at(current_, std::move(message));
        return;
    }
    diagnostics_.push_back(Diagnostic{Diagnostic::Severity::Error, filename_, current_.line, current_.column,
                                      std::move(message), std::string(syntax_code)});
}

void Grammar::report_warning(std::string_view code, Place where, std::string message) {
    diagnostics_.push_back(Diagnostic{Diagnostic::Severity::Warning, filename_, where.line, where.column,
                                      std::move(message), std::string(code)});
}

Grammar::TraceScope::TraceScope(Grammar& grammar, std::string_view label) : grammar_(grammar) {
    if (grammar_.trace_) {
        std::string event = "ENTER ";
        event.append(label);
        grammar_.write_trace_line(event);
    }
    ++grammar_.trace_depth_;
}

Grammar::TraceScope::~TraceScope() {
    --grammar_.trace_depth_;
    if (grammar_.trace_) {
        grammar_.write_trace_line("EXIT");
    }
}

// One line, to the sink or else to the process's standard output without a
// flush:
//   <two spaces per depth>[TRACE] <event> at <line>:<column> ('<token text>')
void Grammar::write_trace_line(std::string_view event) {
    std::string line;
    line.reserve(64 + current_.text.size());
    for (std::int32_t i = 0; i < trace_depth_; ++i) {
        line.append("  ");
    }
    line.append("[TRACE] ").append(event).append(" at ");
    line.append(std::to_string(current_.line)).append(":").append(std::to_string(current_.column));
    line.append(" ('").append(current_.text).append("')\n");
    if (trace_sink_) {
        trace_sink_(line);
    } else {
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
}

}  // namespace tolvane::detail
