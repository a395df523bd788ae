// The canonical text of a tree. Each section is written by a member named
// after the grammar rule that reads it back; the spellings of values (names,
// string literals, numbers) each have one function that refuses what would
// read back differently.
#include "writer/ncf_writer.hpp"

#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <optional>
#include <random>
#include <string_view>
#include <system_error>
#include <vector>

#include "lexer/char_class.hpp"
#include "lexer/keywords.hpp"
#include "writer/spellings.hpp"

namespace tolvane {

namespace {

// ---------------------------------------------------------------------------
// Spellings of values
// ---------------------------------------------------------------------------

// An identifier the lexer reads as one Identifier token: a letter or an
// underscore, then letters, digits and underscores, and no keyword.
bool is_plain_identifier(std::string_view text) {
    if (text.empty() || !starts_identifier(text.front())) {
        return false;
    }
    for (const char c : text) {
        if (!continues_identifier(c)) {
            return false;
        }
    }
    return !keyword_table.find(text).has_value();
}

// A path step: a field's name, and the index within it for a list item.
struct Step {
    std::string_view field;
    std::optional<std::size_t> index;
};

// ---------------------------------------------------------------------------
// The writer
// ---------------------------------------------------------------------------

class Writer {
public:
    // With `track_origins`, notes where each line comes from.
    explicit Writer(bool track_origins = false) : track_origins_(track_origins) {}
    std::string take() { return std::move(out_); }
    std::vector<LineOrigin> take_origins() { return std::move(origins_); }
    std::vector<std::size_t> take_line_starts() { return std::move(line_starts_); }
    void expect_lines(std::size_t lines) {
        origins_.reserve(lines);
        line_starts_.reserve(lines);
    }

    void ncf_file(const NcfFile& file);

private:
    // Enters a field of the record being written, for the path of an error,
    // until the object goes out of scope.
    class Entered {
    public:
        Entered(Writer& writer, std::string_view field, std::optional<std::size_t> index = std::nullopt)
            : writer_(writer) {
            writer_.path_.push_back({field, index});
        }
        ~Entered() { writer_.path_.pop_back(); }
        Entered(const Entered&) = delete;
        Entered& operator=(const Entered&) = delete;

    private:
        Writer& writer_;
    };

    [[noreturn]] void refuse(std::string_view reason) const {
        std::string path;
        for (const Step& step : path_) {
            if (!path.empty()) {
                path += '.';
            }
            path += step.field;
            if (step.index) {
                path += '[' + std::to_string(*step.index) + ']';
            }
        }
        throw CannotWrite(path, std::string(reason));
    }

    // Lines and blocks. Each line begins with begin_line(), which is told
    // where the line comes from.
    static LineOrigin inside(SourcePosition at) {
        return {at, at.known() ? LineOrigin::Kind::Inside : LineOrigin::Kind::None};
    }
    static LineOrigin block_around(SourcePosition at) {
        return {at, at.known() ? LineOrigin::Kind::BlockAround : LineOrigin::Kind::None};
    }
    void begin_line(LineOrigin origin) {
        if (track_origins_) {
            origins_.push_back(origin);
            line_starts_.push_back(out_.size());
        }
        out_.append(static_cast<std::size_t>(4 * depth_), ' ');
    }
    void blank_line() {
        if (track_origins_) {
            origins_.emplace_back();
            line_starts_.push_back(out_.size());
        }
        out_ += '\n';
    }
    // Ends the line begun as the head of a block, and enters the block.
    void enter_block() {
        out_ += " {\n";
        ++depth_;
        if (track_origins_) {
            open_blocks_.push_back(origins_.back());
        }
    }
    void open_block(std::string_view head, LineOrigin origin) {
        begin_line(origin);
        out_ += head;
        enter_block();
    }
    void close_block() {
        --depth_;
        LineOrigin origin;
        if (track_origins_) {
            origin = open_blocks_.back();
            origin.closes = true;
            open_blocks_.pop_back();
        }
        begin_line(origin);
        out_ += "}\n";
    }

    // Values.
    void integer(std::int32_t value) { detail::append_integer(out_, value); }
    void hex(std::int32_t value, int digits) { detail::append_hex(out_, value, digits); }
    void number(double value) {
        if (const std::string_view problem = detail::number_problem(value); !problem.empty()) {
            refuse(problem);
        }
        detail::append_number(out_, value);
    }
    void string_literal(std::string_view text) {
        const std::optional<std::string> bytes = detail::latin1_bytes(text);
        if (!bytes) {
            refuse("a string literal can only hold characters up to U+00FF (ISO 8859-1)");
        }
        if (const std::string_view problem = detail::literal_problem(*bytes); !problem.empty()) {
            refuse(problem);
        }
        out_ += '"';
        out_ += *bytes;
        out_ += '"';
    }
    // Where the grammar reads a name from any single token: bare when it is
    // an identifier, else a string literal with that text.
    void any_token_name(std::string_view text) {
        if (is_plain_identifier(text)) {
            out_ += text;
        } else {
            string_literal(text);
        }
    }
    // Where the grammar reads only an identifier.
    void identifier(std::string_view text) {
        if (!is_plain_identifier(text)) {
            refuse("'" + std::string(text) +
                   "' is not an identifier (a letter or '_', then letters, digits "
                   "and '_', and no keyword), the only name the grammar reads here");
        }
        out_ += text;
    }

    // Sections, in the order node_definition reads them.
    void node_definition(const NcfNodeDef& node);
    void general_definition(const NcfGeneralDef& general);
    void bitrate_definition(const NcfBitrateDefinition& bitrate);
    void diagnostic_definition(const NcfDiagnosticDef& diagnostic);
    void nad_statement(const NcfDiagnosticDef& diagnostic);
    void frame_definition(const std::vector<NcfSingleFrame>& frames);
    void single_frame(const NcfSingleFrame& frame);
    void signal_entry(const NcfSignalDef& signal);
    void init_value(const NcfInitValue& value);
    void encoding_definition(const std::vector<NcfEncodingEntry>& encodings);
    void encoding_value(const NcfEncodingValue& value);
    void status_management(const NcfStatusManagement& status);

    void optional_time(std::string_view keyword, const std::optional<double>& time, SourcePosition at);
    void integer_list(std::string_view field, const std::vector<std::int32_t>& values, int hex_digits);

    std::string out_;
    int depth_ = 0;
    std::vector<Step> path_;
    bool track_origins_;
    std::vector<LineOrigin> origins_;
    std::vector<std::size_t> line_starts_;
    std::vector<LineOrigin> open_blocks_;
};

void Writer::ncf_file(const NcfFile& file) {
    begin_line(inside(file.positions.start));
    out_ += "node_capability_file;\n";
    begin_line(inside(file.positions.language_version));
    out_ += "LIN_language_version = ";
    {
        const Entered entered(*this, "language_version");
        string_literal(file.language_version);
    }
    out_ += ";\n";
    for (std::size_t i = 0; i < file.nodes.size(); ++i) {
        const Entered entered(*this, "nodes", i);
        blank_line();
        node_definition(file.nodes[i]);
    }
}

void Writer::node_definition(const NcfNodeDef& node) {
    begin_line(inside(node.positions.start));
    out_ += "node ";
    {
        const Entered entered(*this, "name");
        any_token_name(node.name);
    }
    enter_block();
    general_definition(node.general);
    diagnostic_definition(node.diagnostic);
    frame_definition(node.frames);
    encoding_definition(node.encodings);
    status_management(node.status);
    if (node.free_text) {
        const Entered entered(*this, "free_text");
        open_block("free_text", block_around(node.positions.free_text));
        begin_line(inside(node.positions.free_text));
        string_literal(*node.free_text);
        out_ += '\n';
        close_block();
    }
    close_block();
}

void Writer::general_definition(const NcfGeneralDef& general) {
    const Entered entered(*this, "general");
    const NcfGeneralDef::Positions& at = general.positions;
    open_block("general", inside(at.start));
    begin_line(inside(at.protocol_version));
    out_ += "LIN_protocol_version = ";
    {
        const Entered value(*this, "protocol_version");
        string_literal(general.protocol_version);
    }
    out_ += ";\n";
    begin_line(inside(at.supplier_id));
    out_ += "supplier = ";
    hex(general.supplier_id, 4);
    out_ += ";\n";
    begin_line(inside(at.function_id));
    out_ += "function = ";
    hex(general.function_id, 4);
    out_ += ";\n";
    begin_line(inside(at.variant_id));
    out_ += "variant = ";
    integer(general.variant_id);
    out_ += ";\n";
    bitrate_definition(general.bitrate);
    if (general.sends_wake_up_signal) {
        begin_line(inside(at.sends_wake_up_signal));
        out_ += *general.sends_wake_up_signal ? "sends_wake_up_signal = \"yes\";\n"
                                              : "sends_wake_up_signal = \"no\";\n";
    }
    const auto range = [&](std::string_view keyword, SourcePosition keyword_at, std::string_view from_field,
                           const std::optional<double>& from, std::string_view to_field,
                           const std::optional<double>& to) {
        if (!from && !to) {
            return;
        }
        if (!from || !to) {
            const Entered value(*this, from ? to_field : from_field);
            refuse("a range needs both of its values, or neither");
        }
        begin_line(inside(keyword_at));
        out_ += keyword;
        out_ += " = ";
        {
            const Entered value(*this, from_field);
            number(*from);
        }
        out_ += ", ";
        {
            const Entered value(*this, to_field);
            number(*to);
        }
        out_ += ";\n";
    };
    range("volt_range", at.volt_range, "volt_from", general.volt_from, "volt_to", general.volt_to);
    range("temp_range", at.temp_range, "temp_from", general.temp_from, "temp_to", general.temp_to);
    if (general.conformance) {
        const Entered value(*this, "conformance");
        begin_line(inside(at.conformance));
        out_ += "conformance = ";
        string_literal(*general.conformance);
        out_ += ";\n";
    }
    close_block();
}

void Writer::bitrate_definition(const NcfBitrateDefinition& bitrate) {
    const Entered entered(*this, "bitrate");
    const auto rate = [&](double kbps) {
        number(kbps);
        out_ += " kbps";
    };
    const bool automatic = bitrate.type == "automatic";
    const bool select = bitrate.type == "select";
    const bool fixed = bitrate.type == "fixed";
    if (!automatic && !select && !fixed) {
        const Entered field(*this, "type");
        refuse("the type of a bit rate is \"automatic\", \"select\" or \"fixed\"");
    }
    if ((bitrate.min_br || bitrate.max_br) && !automatic) {
        const Entered field(*this, bitrate.min_br ? "min_br" : "max_br");
        refuse("only an automatic bit rate has a minimum and a maximum");
    }
    if (!bitrate.rates.empty() != select) {
        const Entered field(*this, "rates");
        refuse(select ? "a select bit rate lists at least one rate" : "only a select bit rate lists rates");
    }
    if (bitrate.fixed_rate.has_value() != fixed) {
        const Entered field(*this, "fixed_rate");
        refuse(fixed ? "a fixed bit rate has its rate" : "only a fixed bit rate has a fixed rate");
    }
    begin_line(inside(bitrate.positions.start));
    out_ += "bitrate = ";
    if (automatic) {
        out_ += "automatic";
        if (bitrate.min_br) {
            const Entered field(*this, "min_br");
            out_ += " min ";
            rate(*bitrate.min_br);
        }
        if (bitrate.max_br) {
            const Entered field(*this, "max_br");
            out_ += " max ";
            rate(*bitrate.max_br);
        }
    } else if (select) {
        out_ += "select { ";
        for (std::size_t i = 0; i < bitrate.rates.size(); ++i) {
            const Entered field(*this, "rates", i);
            out_ += i == 0 ? "" : ", ";
            rate(bitrate.rates[i]);
        }
        out_ += " }";
    } else {
        const Entered field(*this, "fixed_rate");
        rate(*bitrate.fixed_rate);
    }
    out_ += ";\n";
}

void Writer::diagnostic_definition(const NcfDiagnosticDef& diagnostic) {
    const Entered entered(*this, "diagnostic");
    const NcfDiagnosticDef::Positions& at = diagnostic.positions;
    open_block("diagnostic", inside(at.start));
    nad_statement(diagnostic);
    if (diagnostic.diagnostic_class) {
        begin_line(inside(at.diagnostic_class));
        out_ += "diagnostic_class = ";
        integer(*diagnostic.diagnostic_class);
        out_ += ";\n";
    }
    {
        const Entered field(*this, "p2_min");
        optional_time("P2_min", diagnostic.p2_min, at.p2_min);
    }
    {
        const Entered field(*this, "st_min");
        optional_time("ST_min", diagnostic.st_min, at.st_min);
    }
    {
        const Entered field(*this, "n_as_timeout");
        optional_time("N_As_timeout", diagnostic.n_as_timeout, at.n_as_timeout);
    }
    {
        const Entered field(*this, "n_cr_timeout");
        optional_time("N_Cr_timeout", diagnostic.n_cr_timeout, at.n_cr_timeout);
    }
    if (!diagnostic.support_sids.empty()) {
        begin_line(inside(at.support_sid));
        out_ += "support_sid { ";
        integer_list("support_sids", diagnostic.support_sids, 2);
        out_ += " };\n";
    }
    if (diagnostic.max_message_length) {
        begin_line(inside(at.max_message_length));
        out_ += "max_message_length = ";
        integer(*diagnostic.max_message_length);
        out_ += ";\n";
    }
    close_block();
}

// NAD = a;  NAD = a to b;  NAD = a, b, c;
void Writer::nad_statement(const NcfDiagnosticDef& diagnostic) {
    if (diagnostic.nad_rhs && !diagnostic.nad_list.empty()) {
        const Entered field(*this, "nad_list");
        refuse("a NAD statement is a range or a list, not both");
    }
    begin_line(inside(diagnostic.positions.nad));
    out_ += "NAD = ";
    hex(diagnostic.nad_lhs, 2);
    if (diagnostic.nad_rhs) {
        out_ += " to ";
        hex(*diagnostic.nad_rhs, 2);
    }
    for (const std::int32_t nad : diagnostic.nad_list) {
        out_ += ", ";
        hex(nad, 2);
    }
    out_ += ";\n";
}

void Writer::optional_time(std::string_view keyword, const std::optional<double>& time, SourcePosition at) {
    if (!time) {
        return;
    }
    begin_line(inside(at));
    out_ += keyword;
    out_ += " = ";
    number(*time);
    out_ += " ms;\n";
}

void Writer::integer_list(std::string_view field, const std::vector<std::int32_t>& values, int hex_digits) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        const Entered entered(*this, field, i);
        out_ += i == 0 ? "" : ", ";
        hex(values[i], hex_digits);
    }
}

void Writer::frame_definition(const std::vector<NcfSingleFrame>& frames) {
    open_block("frames", frames.empty() ? LineOrigin{} : block_around(frames.front().positions.start));
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Entered entered(*this, "frames", i);
        single_frame(frames[i]);
    }
    close_block();
}

void Writer::single_frame(const NcfSingleFrame& frame) {
    if (frame.kind != "publish" && frame.kind != "subscribe") {
        const Entered field(*this, "kind");
        refuse("the kind of a frame is \"publish\" or \"subscribe\"");
    }
    begin_line(inside(frame.positions.start));
    out_ += frame.kind;
    out_ += ' ';
    {
        const Entered field(*this, "name");
        any_token_name(frame.name);
    }
    enter_block();
    const NcfFrameProperties& properties = frame.properties;
    begin_line(inside(properties.positions.length));
    out_ += "length = ";
    integer(properties.length);
    out_ += ";\n";
    const auto period = [&](std::string_view keyword, const std::optional<std::int32_t>& value, SourcePosition at) {
        if (value) {
            begin_line(inside(at));
            out_ += keyword;
            out_ += " = ";
            integer(*value);
            out_ += " ms;\n";
        }
    };
    period("min_period", properties.min_period, properties.positions.min_period);
    period("max_period", properties.max_period, properties.positions.max_period);
    if (properties.event_triggered_frame) {
        const Entered field(*this, "properties");
        const Entered value(*this, "event_triggered_frame");
        begin_line(inside(properties.positions.event_triggered_frame));
        out_ += "event_triggered_frame = ";
        any_token_name(*properties.event_triggered_frame);
        out_ += ";\n";
    }
    if (!frame.signals.empty()) {
        open_block("signals", block_around(frame.signals.front().positions.start));
        for (std::size_t i = 0; i < frame.signals.size(); ++i) {
            const Entered entered(*this, "signals", i);
            signal_entry(frame.signals[i]);
        }
        close_block();
    }
    close_block();
}

// Each property on its own line: init_value, size, offset, then the
// encoding's name.
void Writer::signal_entry(const NcfSignalDef& signal) {
    begin_line(inside(signal.positions.start));
    {
        const Entered field(*this, "name");
        identifier(signal.name);
    }
    enter_block();
    const Entered entered(*this, "properties");
    const NcfSignalProperties& properties = signal.properties;
    init_value(properties.init_value);
    begin_line(inside(properties.positions.size));
    out_ += "size = ";
    integer(properties.size);
    out_ += ";\n";
    begin_line(inside(properties.positions.offset));
    out_ += "offset = ";
    integer(properties.offset);
    out_ += ";\n";
    if (properties.encoding_name) {
        const Entered field(*this, "encoding_name");
        begin_line(inside(properties.positions.encoding_name));
        identifier(*properties.encoding_name);
        out_ += ";\n";
    }
    close_block();
}

void Writer::init_value(const NcfInitValue& value) {
    const Entered entered(*this, "init_value");
    begin_line(inside(value.positions.start));
    out_ += "init_value = ";
    if (!value.is_array) {
        if (!value.array_values.empty()) {
            const Entered field(*this, "array_values");
            refuse("a scalar initial value has no bytes");
        }
        integer(value.scalar);
    } else {
        if (value.array_values.empty()) {
            const Entered field(*this, "array_values");
            refuse("a byte-array initial value has at least one byte");
        }
        if (value.scalar != 0) {
            const Entered field(*this, "scalar");
            refuse("a byte-array initial value has no scalar (it reads back as 0)");
        }
        out_ += "{ ";
        integer_list("array_values", value.array_values, 2);
        out_ += " }";
    }
    out_ += ";\n";
}

void Writer::encoding_definition(const std::vector<NcfEncodingEntry>& encodings) {
    if (encodings.empty()) {
        return;  // reads back as no encoding section, which is the same
    }
    open_block("encoding", block_around(encodings.front().positions.start));
    for (std::size_t i = 0; i < encodings.size(); ++i) {
        const Entered entered(*this, "encodings", i);
        const NcfEncodingEntry& entry = encodings[i];
        begin_line(inside(entry.positions.start));
        {
            const Entered field(*this, "name");
            identifier(entry.name);
        }
        enter_block();
        for (std::size_t j = 0; j < entry.values.size(); ++j) {
            const Entered value(*this, "values", j);
            encoding_value(entry.values[j]);
        }
        close_block();
    }
    close_block();
}

void Writer::encoding_value(const NcfEncodingValue& value) {
    const bool logical = value.type == "logical";
    const bool physical = value.type == "physical";
    if (!logical && !physical && value.type != "bcd" && value.type != "ascii") {
        const Entered field(*this, "type");
        refuse("the type of a value line is \"logical\", \"physical\", \"bcd\" or \"ascii\"");
    }
    if (value.logical_value.has_value() != logical) {
        const Entered field(*this, "logical_value");
        refuse(logical ? "a logical value line has its logical value" : "only a logical value line has one");
    }
    if (value.physical_range.has_value() != physical) {
        const Entered field(*this, "physical_range");
        refuse(physical ? "a physical value line has its range" : "only a physical value line has one");
    }
    begin_line(inside(value.positions.start));
    const auto text_info = [&](const std::optional<std::string>& text) {
        if (text) {
            const Entered field(*this, "text_info");
            out_ += ", ";
            string_literal(*text);
        }
    };
    if (logical) {
        const Entered field(*this, "logical_value");
        out_ += "logical_value, ";
        integer(value.logical_value->signal_value);
        text_info(value.logical_value->text_info);
    } else if (physical) {
        const Entered field(*this, "physical_range");
        const NcfPhysicalRange& range = *value.physical_range;
        out_ += "physical_value, ";
        integer(range.min_value);
        out_ += ", ";
        integer(range.max_value);
        out_ += ", ";
        {
            const Entered number_field(*this, "scale");
            number(range.scale);
        }
        out_ += ", ";
        {
            const Entered number_field(*this, "offset_val");
            number(range.offset_val);
        }
        text_info(range.text_info);
    } else {
        out_ += value.type == "bcd" ? "bcd_value" : "ascii_value";
    }
    out_ += ";\n";
}

void Writer::status_management(const NcfStatusManagement& status) {
    const Entered entered(*this, "status");
    open_block("status_management", inside(status.positions.start));
    begin_line(inside(status.positions.response_error));
    out_ += "response_error = ";
    {
        const Entered field(*this, "response_error");
        any_token_name(status.response_error);
    }
    out_ += ";\n";
    if (!status.fault_state_signals.empty()) {
        const std::vector<SourcePosition>& names = status.positions.fault_state_signals;
        begin_line(inside(names.empty() ? SourcePosition{} : names.front()));
        out_ += "fault_state_signals = ";
        for (std::size_t i = 0; i < status.fault_state_signals.size(); ++i) {
            const Entered field(*this, "fault_state_signals", i);
            out_ += i == 0 ? "" : ", ";
            any_token_name(status.fault_state_signals[i]);
        }
        out_ += ";\n";
    }
    close_block();
}

// At least as many lines as the canonical text of `file` has, counted from
// its lists: what the writer's line list reserves, so that it never grows.
std::size_t most_lines(const NcfFile& file) {
    std::size_t lines = 2;
    for (const NcfNodeDef& node : file.nodes) {
        lines += 40;  // the sections' fixed lines, and every optional statement
        for (const NcfSingleFrame& frame : node.frames) {
            lines += 8 + 6 * frame.signals.size();
        }
        for (const NcfEncodingEntry& entry : node.encodings) {
            lines += 2 + entry.values.size();
        }
    }
    return lines;
}

}  // namespace

std::string write_ncf(const NcfFile& file) {
    Writer writer;
    writer.ncf_file(file);
    return writer.take();
}

CanonicalLines write_ncf_lines(const NcfFile& file) {
    Writer writer(true);
    writer.expect_lines(most_lines(file));
    writer.ncf_file(file);
    return {writer.take(), writer.take_line_starts(), writer.take_origins()};
}

namespace {

// A name beside `path` that no file has yet.
std::filesystem::path temporary_beside(const std::filesystem::path& path) {
    std::random_device entropy;
    for (int attempt = 0;; ++attempt) {
        std::filesystem::path candidate = path;
        candidate += ".tolvane-" + std::to_string(entropy() % 1000000000u) + ".tmp";
        if (!std::filesystem::exists(candidate) || attempt == 100) {
            return candidate;
        }
    }
}

// Reports a failure on `path`, the file the caller named (not the temporary
// one beside it), with the system's reason when there is one.
[[noreturn]] void fail_on(const std::filesystem::path& path, const char* what, int system_error) {
    const std::error_code reason = system_error != 0 ? std::error_code(system_error, std::generic_category())
                                                     : std::make_error_code(std::errc::io_error);
    throw std::filesystem::filesystem_error(what, path, reason);
}

}  // namespace

void write_ncf_file(const NcfFile& file, const std::filesystem::path& path) {
    // The system reads a name up to its first NUL, which would write another file.
    if (path.native().find(std::filesystem::path::value_type{}) != std::filesystem::path::string_type::npos) {
        throw std::filesystem::filesystem_error("a file name holds a NUL", path,
                                                std::make_error_code(std::errc::invalid_argument));
    }
    const std::string text = write_ncf(file);
    const std::filesystem::path temporary = temporary_beside(path);
    try {
        {
            errno = 0;
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            if (!out) {
                fail_on(path, "cannot create a file beside", errno);
            }
            out.write(text.data(), static_cast<std::streamsize>(text.size()));
            out.close();
            if (!out) {
                fail_on(path, "cannot write a file beside", errno);
            }
        }
        std::error_code missing;
        const std::filesystem::file_status existing = std::filesystem::status(path, missing);
        if (!missing && std::filesystem::exists(existing)) {
            std::filesystem::permissions(temporary, existing.permissions());
        }
        std::error_code not_renamed;
        std::filesystem::rename(temporary, path, not_renamed);
        if (not_renamed) {
            throw std::filesystem::filesystem_error("cannot replace", path, not_renamed);
        }
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw;
    }
}

}  // namespace tolvane
