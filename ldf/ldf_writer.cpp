// The LDF text, one member per section of the language.
#include "ldf/ldf_writer.hpp"

#include <string_view>

#include "ldf/ldf_syntax.hpp"
#include "writer/spellings.hpp"

namespace tolvane::detail {

namespace {

class LdfWriter {
public:
    std::string write(const LdfDescription& description) {
        header(description);
        nodes(description);
        signals(description);
        diagnostic_signals(description);
        frames(description);
        event_triggered_frames(description);
        diagnostic_frames(description);
        node_attributes(description);
        schedule_tables(description);
        encodings(description);
        representations(description);
        return std::move(out_);
    }

private:
    // Layout.
    void word(LdfWord w) { out_ += spelling(w); }
    void indent(int level) { out_.append(static_cast<std::size_t>(level) * 2, ' '); }
    void open_section(LdfWord w) {
        out_ += '\n';
        word(w);
        out_ += " {\n";
    }
    void close(int level) {
        indent(level);
        out_ += "}\n";
    }
    void text(std::string_view t) { out_ += t; }
    void number(double value) { append_number(out_, value); }
    void hex(std::int64_t value, int digits) { append_hex(out_, value, digits); }
    void integer(std::int64_t value) { append_integer(out_, value); }
    void string_literal(std::string_view value) {
        out_ += '"';
        out_ += latin1_bytes(value).value_or(std::string());
        out_ += '"';
    }
    // `name = "value";` on its own line.
    void quoted_statement(LdfWord w, std::string_view value) {
        word(w);
        out_ += " = ";
        string_literal(value);
        out_ += ";\n";
    }
    void list(const std::vector<std::string>& names) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (i > 0) {
                out_ += ", ";
            }
            out_ += names[i];
        }
    }
    void milliseconds(double value) {
        number(value);
        out_ += ' ';
        word(LdfWord::Ms);
    }

    // LIN_description_file; LIN_protocol_version = "2.2"; ... LIN_speed = 19.2 kbps;
    void header(const LdfDescription& d) {
        word(LdfWord::DescriptionFile);
        out_ += ";\n";
        quoted_statement(LdfWord::ProtocolVersion, d.protocol_version);
        quoted_statement(LdfWord::LanguageVersion, d.language_version);
        word(LdfWord::Speed);
        out_ += " = ";
        number(d.speed_kbps);
        out_ += ' ';
        word(LdfWord::Kbps);
        out_ += ";\n";
        if (d.channel) {
            quoted_statement(LdfWord::ChannelName, *d.channel);
        }
    }

    // Nodes { Master: name, time base ms, jitter ms; Slaves: a, b; }
    void nodes(const LdfDescription& d) {
        open_section(LdfWord::Nodes);
        indent(1);
        word(LdfWord::Master);
        text(": ");
        text(d.master);
        text(", ");
        milliseconds(d.time_base_ms);
        text(", ");
        milliseconds(d.jitter_ms);
        text(";\n");
        if (!d.slaves.empty()) {
            indent(1);
            word(LdfWord::Slaves);
            text(": ");
            list(d.slaves);
            text(";\n");
        }
        close(0);
    }

    void init_value(const NcfInitValue& value) {
        if (!value.is_array) {
            integer(value.scalar);
            return;
        }
        text("{");
        for (std::size_t i = 0; i < value.array_values.size(); ++i) {
            text(i > 0 ? ", " : "");
            hex(value.array_values[i], 2);
        }
        text("}");
    }

    // Signals { name: size, initial value, publisher, subscriber...; }
    void signals(const LdfDescription& d) {
        open_section(LdfWord::Signals);
        for (const LdfSignal& signal : d.signals) {
            indent(1);
            text(signal.name);
            text(": ");
            integer(signal.size);
            text(", ");
            init_value(signal.init_value);
            text(", ");
            text(signal.publisher);
            for (const std::string& subscriber : signal.subscribers) {
                text(", ");
                text(subscriber);
            }
            text(";\n");
        }
        close(0);
    }

    void diagnostic_signals(const LdfDescription& d) {
        if (!d.diagnostic_frames) {
            return;
        }
        open_section(LdfWord::DiagnosticSignals);
        for (const auto& names : {master_request_signals, slave_response_signals}) {
            for (const std::string_view name : names) {
                indent(1);
                text(name);
                text(": 8, 0;\n");
            }
        }
        close(0);
    }

    // Frames { name: id, publisher, length { signal, offset; } }
    void frames(const LdfDescription& d) {
        open_section(LdfWord::Frames);
        for (const LdfFrame& frame : d.frames) {
            indent(1);
            text(frame.name);
            text(": ");
            hex(frame.id, 2);
            text(", ");
            text(frame.publisher);
            text(", ");
            integer(frame.length);
            text(" {\n");
            for (const LdfFrameSignal& signal : frame.signals) {
                indent(2);
                text(signal.name);
                text(", ");
                integer(signal.offset);
                text(";\n");
            }
            close(1);
        }
        close(0);
    }

    // Event_triggered_frames { name: collision table, id, frame, frame; }
    void event_triggered_frames(const LdfDescription& d) {
        if (d.event_triggered_frames.empty()) {
            return;
        }
        open_section(LdfWord::EventTriggeredFrames);
        for (const LdfEventTriggeredFrame& frame : d.event_triggered_frames) {
            indent(1);
            text(frame.name);
            text(": ");
            text(frame.collision_table);
            text(", ");
            hex(frame.id, 2);
            for (const std::string& member : frame.frames) {
                text(", ");
                text(member);
            }
            text(";\n");
        }
        close(0);
    }

    // Diagnostic_frames { MasterReq: 0x3C { MasterReqB0, 0; ... } SlaveResp: 0x3D { ... } }
    void diagnostic_frames(const LdfDescription& d) {
        if (!d.diagnostic_frames) {
            return;
        }
        open_section(LdfWord::DiagnosticFrames);
        const auto frame = [&](LdfWord name, std::int32_t id,
                               const std::array<std::string_view, 8>& signal_names) {
            indent(1);
            word(name);
            text(": ");
            hex(id, 2);
            text(" {\n");
            for (std::size_t i = 0; i < signal_names.size(); ++i) {
                indent(2);
                text(signal_names[i]);
                text(", ");
                integer(static_cast<std::int64_t>(8 * i));
                text(";\n");
            }
            close(1);
        };
        frame(LdfWord::MasterReq, master_request_id, master_request_signals);
        frame(LdfWord::SlaveResp, slave_response_id, slave_response_signals);
        close(0);
    }

    void attribute_time(LdfWord w, const std::optional<double>& value) {
        if (value) {
            indent(2);
            word(w);
            text(" = ");
            milliseconds(*value);
            text(";\n");
        }
    }

    void node_attributes(const LdfDescription& d) {
        if (d.node_attributes.empty()) {
            return;
        }
        open_section(LdfWord::NodeAttributes);
        for (const LdfNodeAttributes& node : d.node_attributes) {
            indent(1);
            text(node.node);
            text(" {\n");
            indent(2);
            quoted_statement(LdfWord::LinProtocol, node.protocol);
            indent(2);
            word(LdfWord::ConfiguredNad);
            text(" = ");
            hex(node.configured_nad, 2);
            text(";\n");
            if (node.initial_nad) {
                indent(2);
                word(LdfWord::InitialNad);
                text(" = ");
                hex(*node.initial_nad, 2);
                text(";\n");
            }
            indent(2);
            word(LdfWord::ProductId);
            text(" = ");
            hex(node.supplier_id, 4);
            text(", ");
            hex(node.function_id, 4);
            text(", ");
            integer(node.variant_id);
            text(";\n");
            if (node.response_error) {
                indent(2);
                word(LdfWord::ResponseError);
                text(" = ");
                text(*node.response_error);
                text(";\n");
            }
            if (!node.fault_state_signals.empty()) {
                indent(2);
                word(LdfWord::FaultStateSignals);
                text(" = ");
                list(node.fault_state_signals);
                text(";\n");
            }
            attribute_time(LdfWord::P2Min, node.p2_min);
            attribute_time(LdfWord::StMin, node.st_min);
            attribute_time(LdfWord::NAsTimeout, node.n_as_timeout);
            attribute_time(LdfWord::NCrTimeout, node.n_cr_timeout);
            if (!node.configurable_frames.empty()) {
                indent(2);
                word(LdfWord::ConfigurableFrames);
                text(" {\n");
                for (const std::string& frame : node.configurable_frames) {
                    indent(3);
                    text(frame);
                    text(";\n");
                }
                close(2);
            }
            close(1);
        }
        close(0);
    }

    // Schedule_tables { name { frame delay 10 ms; } }
    void schedule_tables(const LdfDescription& d) {
        if (d.schedule_tables.empty()) {
            return;
        }
        open_section(LdfWord::ScheduleTables);
        for (const LdfScheduleTable& table : d.schedule_tables) {
            indent(1);
            text(table.name);
            text(" {\n");
            for (const LdfScheduleSlot& slot : table.slots) {
                indent(2);
                text(slot.frame);
                text(" ");
                word(LdfWord::Delay);
                text(" ");
                milliseconds(slot.delay_ms);
                text(";\n");
            }
            close(1);
        }
        close(0);
    }

    void encoding_value(const NcfEncodingValue& value) {
        indent(2);
        if (value.logical_value) {
            word(LdfWord::LogicalValue);
            text(", ");
            integer(value.logical_value->signal_value);
            if (value.logical_value->text_info) {
                text(", ");
                string_literal(*value.logical_value->text_info);
            }
        } else if (value.physical_range) {
            const NcfPhysicalRange& range = *value.physical_range;
            word(LdfWord::PhysicalValue);
            text(", ");
            integer(range.min_value);
            text(", ");
            integer(range.max_value);
            text(", ");
            number(range.scale);
            text(", ");
            number(range.offset_val);
            if (range.text_info) {
                text(", ");
                string_literal(*range.text_info);
            }
        } else {
            word(value.type == "bcd" ? LdfWord::BcdValue : LdfWord::AsciiValue);
        }
        text(";\n");
    }

    void encodings(const LdfDescription& d) {
        if (d.encodings.empty()) {
            return;
        }
        open_section(LdfWord::SignalEncodingTypes);
        for (const NcfEncodingEntry& entry : d.encodings) {
            indent(1);
            text(entry.name);
            text(" {\n");
            for (const NcfEncodingValue& value : entry.values) {
                encoding_value(value);
            }
            close(1);
        }
        close(0);
    }

    // Signal_representation { encoding: signal, signal; }
    void representations(const LdfDescription& d) {
        if (d.representations.empty()) {
            return;
        }
        open_section(LdfWord::SignalRepresentation);
        for (const LdfRepresentation& representation : d.representations) {
            indent(1);
            text(representation.encoding);
            text(": ");
            list(representation.signals);
            text(";\n");
        }
        close(0);
    }

    std::string out_;
};

}  // namespace

std::string write_ldf(const LdfDescription& description) {
    return LdfWriter().write(description);
}

}  // namespace tolvane::detail
